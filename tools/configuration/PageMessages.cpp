#include "PageMessages.h"

#include <QStringList>

#include "Dialogs.h"

namespace configpages {

void showError(const QString& text) {
    vxgui::critical(nullptr, QStringLiteral("Error"), text, {QStringLiteral("Ok")});
}

void showError(const QString& text, uint32_t status) { showError(text.arg(status)); }

QString tabTitle(const QString& title, bool modified) {
    return modified ? title + QLatin1Char('*') : title;
}

}  // namespace configpages
