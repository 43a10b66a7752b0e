#pragma once

#include <QWidget>

class QMXHConfiguration;

// An editor page of one configuration type: shows one slot of the image at a
// time and writes every change the user makes straight into its bytes.
class QMXHEditor : public QWidget {
    Q_OBJECT

public:
    explicit QMXHEditor(QWidget* parent = nullptr);

    // The image edited; not owned. Set once by the window that owns both.
    void setConfiguration(QMXHConfiguration* configuration);

    // The configuration type this editor edits.
    virtual int editedType() = 0;
    // Loads the form from the current slot of the image, writing nothing.
    virtual void fillForm() = 0;

    // No smaller than the form needs at the font in use, so that the window
    // showing the editor grows with the font rather than cut its texts off.
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    // What changed while the page was hidden reaches the window's layout now.
    void showEvent(QShowEvent* event) override;

    QMXHConfiguration* configuration() const { return configuration_; }

private:
    QMXHConfiguration* configuration_ = nullptr;
};
