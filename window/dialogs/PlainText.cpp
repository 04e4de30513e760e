#include "window/dialogs/PlainText.h"

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

std::unique_ptr<QMessageBox> plainMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(icon, title, QString(), buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    return box;
}
