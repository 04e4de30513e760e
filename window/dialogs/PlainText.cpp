#include "window/dialogs/PlainText.h"

#include <QLabel>

QString shownText(const QString &text)
{
    if (text.size() <= SHOWN_TEXT_LIMIT)
        return text;
    qsizetype length = SHOWN_TEXT_LIMIT;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length) + QChar(0x2026);
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    makePlain(label);
    setShownText(label, text);
    return label;
}

void setShownText(QLabel *label, const QString &text)
{
    label->setText(shownText(text));
}

void makePlain(QLabel *label)
{
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
}

std::unique_ptr<QMessageBox> plainMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(icon, shownText(title), QString(), buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(shownText(text));
    return box;
}
