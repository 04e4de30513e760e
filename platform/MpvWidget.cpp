#include "platform/MpvWidget.h"

#include "platform/MpvEngine.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <mpv/client.h>
#include <mpv/render_gl.h>

namespace {

// How long loads wait for a shown widget's renderer before they start
// without a picture (which comes as soon as the renderer does).
constexpr int kRendererWaitMs = 2000;

void *procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(name)) : nullptr;
}

} // namespace

void paintVideoMessage(QPainter &painter, const QRect &area, const QString &text)
{
    if (text.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(qMax(9.0, font.pointSizeF()));
    painter.setFont(font);
    painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    painter.drawText(area.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}

// The OpenGL child: owns the engine's render context.
class MpvVideoView : public QOpenGLWidget, protected QOpenGLFunctions
{
public:
    explicit MpvVideoView(MpvWidget *owner) : QOpenGLWidget(owner), m_owner(owner)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
            if (m_render)
                mpv_render_context_report_swap(m_render);
        });
    }

    ~MpvVideoView() override
    {
        if (context())
            disconnect(context(), nullptr, this, nullptr);
        if (m_render) {
            makeCurrent();
            freeRender();
            doneCurrent();
        }
    }

    bool hasRender() const { return m_render != nullptr; }

    // Frees the render context while the current OpenGL context is current.
    void freeRender()
    {
        if (!m_render)
            return;
        m_owner->renderContextLost();
        mpv_render_context_set_update_callback(m_render, nullptr, nullptr);
        mpv_render_context_free(m_render);
        m_render = nullptr;
    }

protected:
    void initializeGL() override
    {
        initializeOpenGLFunctions();
        // A move to another window replaces the OpenGL context: the render
        // context goes with the old one and is made again for the new.
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
            makeCurrent();
            freeRender();
            doneCurrent();
        }, Qt::DirectConnection);
        createRender();
    }

public:
    // Makes the render context once both the engine and the OpenGL
    // context exist (with the OpenGL context current).
    void createRender()
    {
        mpv_handle *mpv = m_owner->engine()->handle();
        if (!mpv || m_render)
            return;
        mpv_opengl_init_params glInit{&procAddress, nullptr};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (mpv_render_context_create(&m_render, mpv, params) < 0) {
            m_render = nullptr;
            return;
        }
        mpv_render_context_set_update_callback(m_render, &MpvVideoView::onUpdate, this);
        m_owner->renderContextCreated();
    }

protected:

    void paintGL() override
    {
        const qreal ratio = devicePixelRatioF();
        const int w = int(width() * ratio);
        const int h = int(height() * ratio);
        const bool active = m_owner->engine()->state() != MpvEngine::State::Stopped;
        if (m_render && active) {
            mpv_opengl_fbo fbo{int(defaultFramebufferObject()), w, h, 0};
            int flipY = 1;
            int block = 0;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                {MPV_RENDER_PARAM_FLIP_Y, &flipY},
                {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            mpv_render_context_render(m_render, params);
        } else {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        if (!m_owner->message().isEmpty()) {
            QPainter painter(this);
            paintVideoMessage(painter, rect(), m_owner->message());
        }
    }

    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            m_owner->viewShown(true);
        else if (event->type() == QEvent::Hide)
            m_owner->viewShown(false);
        return QOpenGLWidget::event(event);
    }

private:
    // Called on a thread of the engine: only queue a repaint.
    static void onUpdate(void *data)
    {
        auto *self = static_cast<MpvVideoView *>(data);
        QMetaObject::invokeMethod(self, [self] { self->update(); }, Qt::QueuedConnection);
    }

    MpvWidget *m_owner;
    mpv_render_context *m_render = nullptr;
};

MpvWidget::Mode MpvWidget::defaultMode()
{
    const QString vo = qEnvironmentVariable("QUORVANTEL_MPV_VO").trimmed().toLower();
    if (vo == QLatin1String("null"))
        return Mode::Headless;
    if (vo == QLatin1String("libmpv"))
        return Mode::Render;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return Mode::Headless;
    return Mode::Render;
}

void MpvWidget::prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

MpvWidget::MpvWidget(QWidget *parent, Mode mode)
    : QWidget(parent), m_mode(mode == Mode::Auto ? defaultMode() : mode)
{
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setMinimumSize(16, 16);

    m_engine = std::make_unique<MpvEngine>(
        m_mode == Mode::Render ? MpvEngine::VideoOutput::Render : MpvEngine::VideoOutput::None);
    connect(m_engine.get(), &MpvEngine::playbackFailed, this, &MpvWidget::setMessage);
    connect(m_engine.get(), &MpvEngine::stateChanged, this, [this](MpvEngine::State state) {
        if (state == MpvEngine::State::Loading || state == MpvEngine::State::Playing)
            setMessage(QString());
        if (m_view)
            m_view->update();
        else
            update();
    });

    if (m_mode == Mode::Render) {
        // No picture can be shown until the renderer exists.
        m_engine->setVideoAvailable(false);
        m_holdTimer = new QTimer(this);
        m_holdTimer->setSingleShot(true);
        m_holdTimer->setInterval(kRendererWaitMs);
        connect(m_holdTimer, &QTimer::timeout, this, [this] { m_engine->setLoadsHeld(false); });
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_view = new MpvVideoView(this);
        layout->addWidget(m_view);
    }
}

MpvWidget::~MpvWidget()
{
    // The render context must be gone before its engine.
    delete m_view;
    m_view = nullptr;
    m_engine.reset();
}

bool MpvWidget::start()
{
    if (!m_engine->start())
        return false;
    // The view may have its OpenGL context already (shown before start).
    if (m_view && m_view->context() && m_view->context()->isValid() && !m_view->hasRender()) {
        m_view->makeCurrent();
        m_view->createRender();
        m_view->doneCurrent();
    }
    return true;
}

QString MpvWidget::errorString() const
{
    return m_engine->errorString();
}

bool MpvWidget::hasRenderContext() const
{
    return m_view && m_view->hasRender();
}

QOpenGLWidget *MpvWidget::videoView() const
{
    return m_view;
}

QImage MpvWidget::grabFrame()
{
    if (m_view)
        return m_view->grabFramebuffer();
    return grab().toImage();
}

void MpvWidget::setMessage(const QString &text)
{
    if (text == m_message)
        return;
    m_message = text;
    if (m_view)
        m_view->update();
    update();
    emit messageChanged(text);
}

void MpvWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_view)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    paintVideoMessage(painter, rect(), m_message);
}

void MpvWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    emit doubleClicked();
}

void MpvWidget::renderContextCreated()
{
    if (m_holdTimer)
        m_holdTimer->stop();
    m_engine->setVideoAvailable(true);
    m_engine->setLoadsHeld(false);
}

void MpvWidget::renderContextLost()
{
    m_engine->setVideoAvailable(false);
}

void MpvWidget::viewShown(bool shown)
{
    if (hasRenderContext())
        return;
    // A shown view gets its renderer on its first paint: loads wait for it
    // (a little while at most). A hidden one may never paint: loads go on
    // without a picture until it does.
    m_engine->setLoadsHeld(shown);
    if (shown)
        m_holdTimer->start();
    else
        m_holdTimer->stop();
}
