#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

class MpvEngine;
class QOpenGLWidget;
class QTimer;

// The picture of one media engine on black. With a display the frames are
// drawn with OpenGL through the engine's render API into a child
// QOpenGLWidget; without one (the offscreen and minimal platforms, or the
// environment variable QUORVANTEL_MPV_VO=null) the engine decodes without
// showing and the widget stays black. A short text (a failure) can be shown
// over the black area.
//
// The widget may be moved to another window (full screen) while it plays:
// the picture follows it.
class MpvWidget : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { Auto, Render, Headless };

    explicit MpvWidget(QWidget *parent = nullptr, Mode mode = Mode::Auto);
    ~MpvWidget() override;

    // The mode Auto stands for on this platform.
    static Mode defaultMode();
    // Call before the QApplication is created: lets every OpenGL widget
    // share its resources, so that moving the picture to the full-screen
    // window and back keeps the renderer (without it the renderer is made
    // again on every move, which works but is slower).
    static void prepareApplication();

    // Starts the engine; false with errorString() when it cannot.
    bool start();
    QString errorString() const;
    MpvEngine *engine() const { return m_engine.get(); }

    bool isRendering() const { return m_mode == Mode::Render; }
    // True while the render API has a context to draw with.
    bool hasRenderContext() const;
    // The OpenGL child (null without a display).
    QOpenGLWidget *videoView() const;
    // The picture as it is shown now.
    QImage grabFrame();

    // A text over the black area; empty for none. Failures of the engine
    // set it, a new start clears it.
    void setMessage(const QString &text);
    QString message() const { return m_message; }

signals:
    void doubleClicked();
    void messageChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    friend class MpvVideoView;
    void renderContextCreated();
    void renderContextLost();
    void viewShown(bool shown);

    Mode m_mode;
    std::unique_ptr<MpvEngine> m_engine;
    class MpvVideoView *m_view = nullptr;
    QTimer *m_holdTimer = nullptr;
    QString m_message;
};

// Paints a short text centred on a black area (shared by the widgets that
// show a failure).
void paintVideoMessage(class QPainter &painter, const QRect &area, const QString &text);
