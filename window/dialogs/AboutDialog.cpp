#include "window/dialogs/AboutDialog.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

const char *const AboutDialog::LOGO_RESOURCE = ":/images/logotv_vsmall.png";

AboutLogo::AboutLogo(const QImage &image, QWidget *parent) : QWidget(parent), m_image(image)
{
    setFixedSize(250, 250);
}

QPoint AboutLogo::imagePosition(const QSize &canvasSize, const QSize &imageSize)
{
    return QPoint(canvasSize.width() / 2 - imageSize.width() / 2, canvasSize.height() / 2 - imageSize.height() / 2);
}

void AboutLogo::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(imagePosition(size(), m_image.size()), m_image);
}

AboutDialog::AboutDialog(QWidget *parent) : ModalDialog(parent)
{
    setWindowTitle(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_ABOUT_TITLE")));
    placeDialog(OFFSET_X, OFFSET_Y, WIDTH, HEIGHT);

    // The box's own background is black; the text lines keep the widget
    // background of the toolkit behind their white text.
    QPalette black = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        black.setColor(group, QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    const QColor widgetBackground = QApplication::palette().color(QPalette::Active, QPalette::Window);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(5, 5, 5, 5);
    grid->setSpacing(5);

    QImage image(QString::fromLatin1(LOGO_RESOURCE));
    if (image.isNull())
        std::fprintf(stderr, "The logo %s could not be read\n", LOGO_RESOURCE);
    m_logo = new AboutLogo(image, this);
    grid->addWidget(m_logo, 0, 0, 2, 1);

    // Read-only text lines in the manner of a styled text: white text on the
    // widget background, tab stops four blanks apart.
    auto textLine = [&](const QString &text, const QFont &font) {
        auto *line = new QPlainTextEdit(this);
        line->setFont(font);
        line->setPlainText(text);
        line->setReadOnly(true);
        line->setEnabled(false);
        line->setFrameShape(QFrame::NoFrame);
        line->setLineWrapMode(QPlainTextEdit::NoWrap);
        line->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        line->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        line->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) * 4);
        line->setFocusPolicy(Qt::NoFocus);
        QPalette palette = line->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Text, Qt::white);
            palette.setColor(group, QPalette::Base, widgetBackground);
        }
        line->setPalette(palette);
        const int height = QFontMetrics(font).lineSpacing() + 2 * int(line->document()->documentMargin()) + 2;
        line->setMinimumHeight(height);
        return line;
    };

    m_name = textLine(QStringLiteral("Quorvantel"), QFont(QStringLiteral("Arial"), 18, QFont::Bold));
    // At the bottom of its cell, as high as its text.
    m_name->setMaximumHeight(m_name->minimumHeight());
    grid->addWidget(m_name, 0, 1, 1, 4, Qt::AlignBottom);

    m_version = textLine(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_ABOUT_VERSION")) + QStringLiteral(":\t\t\t")
                             + Options::getVersion(),
                         QApplication::font());
    grid->addWidget(m_version, 1, 1, 1, 5);
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 1);
    for (int column = 1; column < 5; ++column)
        grid->setColumnStretch(column, 1);

    grid->addWidget(new QLabel(this), 2, 0, 1, 4);
    m_ok = makeButton(QStringLiteral("OK"), this);
    m_ok->setMinimumWidth(75);
    grid->addWidget(m_ok, 2, 4);
    setDefaultButton(m_ok);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    m_ok->setFocus();
}
