#include "platform/FullScreenHost.h"

#include <QBoxLayout>
#include <QEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QStackedLayout>
#include <QWidget>

FullScreenHost::FullScreenHost(QWidget *content, QObject *parent) : QObject(parent), m_content(content)
{
}

FullScreenHost::~FullScreenHost()
{
    leave();
}

void FullScreenHost::setFullScreen(bool on)
{
    if (on)
        enter();
    else
        leave();
}

void FullScreenHost::enter()
{
    if (m_window || !m_content)
        return;
    QWidget *content = m_content;
    m_home = content->parentWidget();
    m_homeGeometry = content->geometry();
    m_layoutIndex = -1;
    m_stretch = 0;
    if (m_home && m_home->layout()) {
        QLayout *layout = m_home->layout();
        m_layoutIndex = layout->indexOf(content);
        if (auto *box = qobject_cast<QBoxLayout *>(layout); box && m_layoutIndex >= 0)
            m_stretch = box->stretch(m_layoutIndex);
    }
    QScreen *screen = content->screen();

    m_window = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->setWindowTitle(content->window() ? content->window()->windowTitle() : QString());
    QPalette black = m_window->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_window->setPalette(black);
    m_window->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    content->show();
    m_window->installEventFilter(this);
    content->installEventFilter(this);
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::ALT | Qt::Key_Return),
                                     QKeySequence(Qt::ALT | Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(keys, m_window);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &FullScreenHost::leave);
    }
    if (screen)
        m_window->setGeometry(screen->geometry());
    // Without a window manager the full-screen state alone does not resize.
    m_window->showFullScreen();
    if (screen)
        m_window->setGeometry(screen->geometry());
    m_window->raise();
    m_window->activateWindow();
    emit fullScreenChanged(true);
}

void FullScreenHost::leave()
{
    if (!m_window)
        return;
    QWidget *window = m_window;
    m_window = nullptr;
    window->removeEventFilter(this);
    if (m_content) {
        m_content->removeEventFilter(this);
        if (m_home) {
            if (QLayout *layout = m_home->layout()) {
                if (auto *box = qobject_cast<QBoxLayout *>(layout)) {
                    const int index = m_layoutIndex >= 0 && m_layoutIndex <= box->count() ? m_layoutIndex : box->count();
                    box->insertWidget(index, m_content, m_stretch);
                } else if (auto *stack = qobject_cast<QStackedLayout *>(layout)) {
                    stack->insertWidget(m_layoutIndex >= 0 ? m_layoutIndex : stack->count(), m_content);
                    stack->setCurrentWidget(m_content);
                } else {
                    layout->addWidget(m_content);
                }
            } else {
                m_content->setParent(m_home);
                m_content->setGeometry(m_homeGeometry);
            }
            m_content->show();
        } else {
            // The home went away meanwhile: the widget goes with the window.
            m_content->setParent(nullptr);
            m_content->deleteLater();
        }
    }
    window->hide();
    // This may run inside one of the window's own events.
    window->deleteLater();
    emit fullScreenChanged(false);
}

bool FullScreenHost::eventFilter(QObject *watched, QEvent *event)
{
    if (m_window && (watched == m_window || watched == m_content)) {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            leave();
            return true;
        case QEvent::KeyPress: {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (key->key() == Qt::Key_Escape || (enter && (key->modifiers() & Qt::AltModifier))) {
                leave();
                return true;
            }
            break;
        }
        case QEvent::Close:
            if (watched == m_window) {
                event->ignore();
                leave();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
