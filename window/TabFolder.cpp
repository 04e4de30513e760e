#include "window/TabFolder.h"

#include <QStyleOptionTab>
#include <QStylePainter>
#include <QToolButton>

TabFolderBar::TabFolderBar(QWidget *parent) : QTabBar(parent)
{
}

void TabFolderBar::setTabBold(int index, bool bold)
{
    if (index < 0 || index >= count() || isTabBold(index) == bold)
        return;
    setTabData(index, bold);
    // Setting the text lays the tabs out again: the tab's width follows its
    // title's weight.
    setTabText(index, tabText(index));
    update();
}

bool TabFolderBar::isTabBold(int index) const
{
    return index >= 0 && index < count() && tabData(index).toBool();
}

QSize TabFolderBar::tabSizeHint(int index) const
{
    QSize size = QTabBar::tabSizeHint(index);
    if (isTabBold(index)) {
        QFont bold = font();
        bold.setBold(true);
        const QString text = tabText(index);
        const int extra = QFontMetrics(bold).horizontalAdvance(text) - fontMetrics().horizontalAdvance(text);
        if (extra > 0)
            size.rwidth() += extra;
    }
    return size;
}

void TabFolderBar::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    const int current = currentIndex();
    auto drawTab = [&](int i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        painter.drawControl(QStyle::CE_TabBarTabShape, option);
        QFont titleFont = font();
        titleFont.setBold(isTabBold(i));
        painter.setFont(titleFont);
        option.fontMetrics = QFontMetrics(titleFont);
        painter.drawControl(QStyle::CE_TabBarTabLabel, option);
    };
    for (int i = 0; i < count(); ++i) {
        if (i != current)
            drawTab(i);
    }
    // The current tab last, so that it lies over its neighbours.
    if (current >= 0)
        drawTab(current);
}

TabFolder::TabFolder(QWidget *parent) : QTabWidget(parent), m_bar(new TabFolderBar(this))
{
    setTabBar(m_bar);
    setDocumentMode(false);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (!isQuiet())
            emit selectedByUser(index);
    });
}

void TabFolder::setTabBold(QWidget *page, bool bold)
{
    m_bar->setTabBold(indexOf(page), bold);
}

bool TabFolder::isTabBold(QWidget *page) const
{
    return m_bar->isTabBold(indexOf(page));
}

void TabFolder::setTabClosable(QWidget *page)
{
    const int index = indexOf(page);
    if (index < 0)
        return;
    auto *button = new QToolButton(m_bar);
    button->setAutoRaise(true);
    button->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    button->setIconSize(QSize(10, 10));
    button->setFixedSize(16, 16);
    button->setToolTip(tr("Close"));
    connect(button, &QToolButton::clicked, page, [page] { page->deleteLater(); });
    m_bar->setTabButton(index, QTabBar::RightSide, button);
}

QWidget *TabFolder::closeButton(QWidget *page) const
{
    const int index = indexOf(page);
    return index < 0 ? nullptr : m_bar->tabButton(index, QTabBar::RightSide);
}
