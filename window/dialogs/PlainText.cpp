#include "PlainText.h"

#include <QLabel>

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    makePlain(label);
    label->setText(text);
    return label;
}

void makePlain(QLabel *label)
{
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
}

PlainMessageBox::PlainMessageBox(Icon icon, const QString &title, const QString &text, StandardButtons buttons,
                                 QWidget *parent)
    : QMessageBox(icon, title, QString(), buttons, parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
}
