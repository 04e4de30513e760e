#include "platform/MediaControls.h"

#include "platform/FullScreenHost.h"
#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"

#include <QVBoxLayout>

QVBoxLayout *fillBlack(QWidget *widget)
{
    QPalette black = widget->palette();
    black.setColor(QPalette::Window, Qt::black);
    widget->setPalette(black);
    widget->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

EngineControl::EngineControl(QWidget *site, const char *controlName)
{
    auto *widget = new QWidget(site);
    m_widget = widget;
    QVBoxLayout *layout = fillBlack(widget);
    m_video = new MpvWidget(widget);
    layout->addWidget(m_video, 1);
    m_controls = new MiniControlBar(m_video->engine(), widget);
    layout->addWidget(m_controls, 0);
    if (!m_video->start()) {
        const QString reason = m_video->errorString();
        delete widget;
        throw OleError(Ole::E_FAIL, QStringLiteral("%1: %2").arg(QLatin1String(controlName), reason));
    }
    m_fullScreen = new FullScreenHost(m_video, widget);
    QObject::connect(m_video->engine(), &MpvEngine::playbackFailed, widget, [this](const QString &message) {
        if (onPlaybackFailed)
            onPlaybackFailed(message);
    });
}

EngineControl::~EngineControl()
{
    // Leaving full screen brings the picture home before it goes.
    delete m_fullScreen;
    delete m_widget.data();
}

void EngineControl::addMember(const QString &name, int id, bool property)
{
    m_members.push_back({name, id, property});
}

const EngineControl::Member *EngineControl::member(int id) const
{
    for (const Member &entry : m_members) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

int EngineControl::doVerb(int verb)
{
    switch (verb) {
    case Ole::OLEIVERB_PRIMARY:
    case Ole::OLEIVERB_SHOW:
    case Ole::OLEIVERB_UIACTIVATE:
    case Ole::OLEIVERB_INPLACEACTIVATE:
        m_widget->show();
        return Ole::S_OK;
    case Ole::OLEIVERB_HIDE:
        m_widget->hide();
        return Ole::S_OK;
    default:
        return Ole::E_NOTIMPL;
    }
}

std::optional<int> EngineControl::dispatchId(const QString &name) const
{
    for (const Member &entry : m_members) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return entry.id;
    }
    return std::nullopt;
}

std::optional<Variant> EngineControl::invoke(int id, const QList<Variant> &arguments)
{
    const Member *entry = member(id);
    if (!entry || entry->property)
        return std::nullopt;
    return call(id, arguments);
}

std::optional<Variant> EngineControl::getProperty(int id)
{
    const Member *entry = member(id);
    if (!entry || !entry->property)
        return std::nullopt;
    return read(id);
}

bool EngineControl::setProperty(int id, const Variant &value)
{
    const Member *entry = member(id);
    if (!entry || !entry->property)
        return false;
    return write(id, value);
}

bool EngineControl::isFullScreen() const
{
    return m_fullScreen && m_fullScreen->isFullScreen();
}

void EngineControl::showControlBar(bool shown)
{
    m_controls->setVisible(shown);
}

void EngineControl::setFullScreen(bool on)
{
    m_fullScreen->setFullScreen(on);
}

void EngineControl::playAddress(const QString &address, bool start)
{
    MpvEngine *engine = m_video->engine();
    if (start) {
        engine->load(address, false);
    } else {
        engine->stop();
    }
}

void EngineControl::resume()
{
    m_video->engine()->play();
}

// RealPlayer

namespace {
enum RealPlayerMember {
    RpAutoStart = 1,
    RpControls,
    RpSource,
    RpDoPlay = 101,
    RpDoStop,
    RpDoPause,
    RpCanStop,
    RpGetFullScreen,
    RpSetFullScreen,
    RpSetOriginalSize,
    RpSetMaintainAspect,
};

enum QuickTimeMember {
    QtPlay = 101,
    QtStop,
    QtSetUrl,
};
} // namespace

std::unique_ptr<OleControl> RealPlayerControl::create(QWidget *site)
{
    return std::make_unique<RealPlayerControl>(site);
}

RealPlayerControl::RealPlayerControl(QWidget *site) : EngineControl(site, "RealPlayer")
{
    addMember(QStringLiteral("AutoStart"), RpAutoStart, true);
    addMember(QStringLiteral("Controls"), RpControls, true);
    addMember(QStringLiteral("Source"), RpSource, true);
    addMember(QStringLiteral("DoPlay"), RpDoPlay, false);
    addMember(QStringLiteral("DoStop"), RpDoStop, false);
    addMember(QStringLiteral("DoPause"), RpDoPause, false);
    addMember(QStringLiteral("CanStop"), RpCanStop, false);
    addMember(QStringLiteral("GetFullScreen"), RpGetFullScreen, false);
    addMember(QStringLiteral("SetFullScreen"), RpSetFullScreen, false);
    addMember(QStringLiteral("SetOriginalSize"), RpSetOriginalSize, false);
    addMember(QStringLiteral("SetMaintainAspect"), RpSetMaintainAspect, false);
}

std::optional<Variant> RealPlayerControl::call(int id, const QList<Variant> &arguments)
{
    MpvEngine *engine = video()->engine();
    if (id == RpSetMaintainAspect) {
        bool ok = false;
        const bool keep = arguments.size() == 1 ? arguments.first().getBoolean(&ok) : false;
        if (!ok)
            return std::nullopt;
        engine->setKeepAspect(keep);
        return Variant();
    }
    if (!arguments.isEmpty())
        return std::nullopt;
    switch (id) {
    case RpDoPlay:
        if (engine->state() == MpvEngine::State::Stopped) {
            if (m_source.isEmpty())
                return std::nullopt;
            engine->load(m_source, false);
        } else {
            engine->play();
        }
        return Variant();
    case RpDoStop:
        engine->stop();
        return Variant();
    case RpDoPause:
        engine->pause();
        return Variant();
    case RpCanStop:
        return Variant(engine->state() != MpvEngine::State::Stopped);
    case RpGetFullScreen:
        return Variant(isFullScreen());
    case RpSetFullScreen:
        setFullScreen(true);
        return Variant();
    case RpSetOriginalSize:
        setFullScreen(false);
        return Variant();
    default:
        return std::nullopt;
    }
}

std::optional<Variant> RealPlayerControl::read(int id)
{
    switch (id) {
    case RpAutoStart: return Variant(m_autoStart);
    case RpControls: return Variant(m_controls);
    case RpSource: return Variant(m_source);
    default: return std::nullopt;
    }
}

bool RealPlayerControl::write(int id, const Variant &value)
{
    bool ok = false;
    switch (id) {
    case RpAutoStart: {
        const bool on = value.getBoolean(&ok);
        if (ok)
            m_autoStart = on;
        return ok;
    }
    case RpControls: {
        const QString text = value.getString(&ok);
        if (!ok)
            return false;
        m_controls = text;
        showControlBar(text.trimmed().compare(QLatin1String("ImageWindow"), Qt::CaseInsensitive) != 0);
        return true;
    }
    case RpSource: {
        const QString text = value.getString(&ok);
        if (!ok)
            return false;
        m_source = text;
        // A new source ends the old one; it starts at once with AutoStart.
        playAddress(text, m_autoStart);
        return true;
    }
    default:
        return false;
    }
}

// QuickTime

std::unique_ptr<OleControl> QuickTimeControl::create(QWidget *site)
{
    return std::make_unique<QuickTimeControl>(site);
}

QuickTimeControl::QuickTimeControl(QWidget *site) : EngineControl(site, "QuickTime")
{
    addMember(QStringLiteral("Play"), QtPlay, false);
    addMember(QStringLiteral("Stop"), QtStop, false);
    addMember(QStringLiteral("SetURL"), QtSetUrl, false);
}

std::optional<Variant> QuickTimeControl::call(int id, const QList<Variant> &arguments)
{
    MpvEngine *engine = video()->engine();
    switch (id) {
    case QtSetUrl: {
        bool ok = false;
        const QString url = arguments.size() == 1 ? arguments.first().getString(&ok) : QString();
        if (!ok)
            return std::nullopt;
        playAddress(url, true);
        return Variant();
    }
    case QtPlay:
        if (!arguments.isEmpty())
            return std::nullopt;
        resume();
        return Variant();
    case QtStop:
        if (!arguments.isEmpty())
            return std::nullopt;
        engine->pause();
        return Variant();
    default:
        return std::nullopt;
    }
}

std::optional<Variant> QuickTimeControl::read(int)
{
    return std::nullopt;
}

bool QuickTimeControl::write(int, const Variant &)
{
    return false;
}
