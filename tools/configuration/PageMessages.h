#pragma once

#include <QString>

#include <cstdint>

class QStatusBar;

// How the configuration pages report: failed operations in a critical box
// without a parent, titled "Error", with the one button "Ok"; notices in the
// window's status bar.
namespace configpages {

// Status-bar time-outs of the pages' notices, in milliseconds.
constexpr int kNoticeMs = 2000;
constexpr int kRangeHintMs = 4000;

void showError(const QString& text);
// `text` with its "%1" replaced by the status in decimal.
void showError(const QString& text, uint32_t status);
// The title of a page's tab, followed by "*" while the page holds changes.
QString tabTitle(const QString& title, bool modified);

}  // namespace configpages
