#pragma once

#include "window/dialogs/ModalDialog.h"

#include <QImage>

class QPlainTextEdit;
class QPushButton;

// The logo, centred in its canvas.
class AboutLogo : public QWidget
{
    Q_OBJECT
public:
    AboutLogo(const QImage &image, QWidget *parent);
    QSize sizeHint() const override { return QSize(250, 250); }
    const QImage &image() const { return m_image; }

    // Top-left corner of an image of imageSize centred in a canvas of
    // canvasSize (halves truncated toward zero).
    static QPoint imagePosition(const QSize &canvasSize, const QSize &imageSize);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

// The About box: logo, name and version on black.
class AboutDialog : public ModalDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent);

    static constexpr int WIDTH = 450;
    static constexpr int HEIGHT = 340;
    static constexpr int OFFSET_X = 225;
    static constexpr int OFFSET_Y = 170;
    static const char *const LOGO_RESOURCE; // ":/images/logotv_vsmall.png"

    AboutLogo *logo() const { return m_logo; }
    QPlainTextEdit *nameLine() const { return m_name; }
    QPlainTextEdit *versionLine() const { return m_version; }
    QPushButton *okButton() const { return m_ok; }

private:
    AboutLogo *m_logo = nullptr;
    QPlainTextEdit *m_name = nullptr;
    QPlainTextEdit *m_version = nullptr;
    QPushButton *m_ok = nullptr;
};
