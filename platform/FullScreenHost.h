#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;

// Shows one widget alone, full screen, in a window of its own, and puts it
// back where it was (same parent, same place in the parent's layout) on
// leaving. Escape, Alt+Enter, a double click and closing the window leave
// full screen. The widget stays owned by its home parent: the host never
// deletes it, unless the home has gone meanwhile.
class FullScreenHost : public QObject
{
    Q_OBJECT

public:
    explicit FullScreenHost(QWidget *content, QObject *parent = nullptr);
    ~FullScreenHost() override;

    bool isFullScreen() const { return m_window != nullptr; }
    void setFullScreen(bool on);
    void enter();
    void leave();
    // The full-screen window while there is one.
    QWidget *window() const { return m_window; }

signals:
    void fullScreenChanged(bool fullScreen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_home;
    int m_layoutIndex = -1;
    int m_stretch = 0;
    QRect m_homeGeometry;
    QWidget *m_window = nullptr;
};
