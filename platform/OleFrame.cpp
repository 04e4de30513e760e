#include "platform/OleFrame.h"

#include "platform/MediaControls.h"

#include <QHash>
#include <QVBoxLayout>

namespace {

struct Registry
{
    // Keyed by the lower-case ProgID.
    QHash<QString, QPair<QString, OleControlFactory>> controls;

    Registry() { reset(); }

    void reset()
    {
        controls.clear();
        add(QString::fromLatin1(RealPlayerControl::PROG_ID), &RealPlayerControl::create);
        add(QString::fromLatin1(QuickTimeControl::PROG_ID), &QuickTimeControl::create);
    }

    void add(const QString &progId, OleControlFactory factory)
    {
        controls.insert(progId.toLower(), {progId, std::move(factory)});
    }
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

namespace OleControlRegistry {

void registerControl(const QString &progId, OleControlFactory factory)
{
    registry().add(progId, std::move(factory));
}

bool unregisterControl(const QString &progId)
{
    return registry().controls.remove(progId.toLower()) > 0;
}

bool isRegistered(const QString &progId)
{
    return registry().controls.contains(progId.toLower());
}

QStringList progIds()
{
    QStringList ids;
    for (const auto &entry : std::as_const(registry().controls))
        ids.append(entry.first);
    ids.sort();
    return ids;
}

void restoreDefaults()
{
    registry().reset();
}

OleControlFactory factory(const QString &progId)
{
    const auto it = registry().controls.constFind(progId.toLower());
    return it == registry().controls.constEnd() ? OleControlFactory() : it->second;
}

} // namespace OleControlRegistry

OleFrame::OleFrame(QWidget *parent, int style) : QWidget(parent)
{
    Q_UNUSED(style);
    fillBlack(this);
}

OleControlSite::OleControlSite(OleFrame *frame, int style, const QString &progId) : QWidget(frame), m_progId(progId)
{
    Q_UNUSED(style);
    fillBlack(this);
    const OleControlFactory make = OleControlRegistry::factory(progId);
    if (!make)
        throw OleError(Ole::REGDB_E_CLASSNOTREG, QStringLiteral("Class not registered: \"%1\"").arg(progId));
    try {
        m_control = make(this);
    } catch (const OleError &) {
        throw;
    } catch (const std::exception &e) {
        throw OleError(Ole::E_FAIL, QStringLiteral("The control \"%1\" cannot start: %2").arg(progId, QString::fromLocal8Bit(e.what())));
    }
    if (!m_control || !m_control->widget())
        throw OleError(Ole::E_FAIL, QStringLiteral("The control \"%1\" cannot start").arg(progId));
    layout()->addWidget(m_control->widget());
    m_control->onPlaybackFailed = [this](const QString &message) { emit playbackFailed(message); };
    if (frame && frame->layout())
        frame->layout()->addWidget(this);
}

OleControlSite::~OleControlSite()
{
    // The control (and its widget) goes before the site's other children.
    m_control.reset();
}

int OleControlSite::doVerb(int verb)
{
    return m_control ? m_control->doVerb(verb) : Ole::E_FAIL;
}

OleAutomation::OleAutomation(OleControlSite *site) : m_site(site)
{
}

void OleAutomation::dispose()
{
    m_disposed = true;
    m_site = nullptr;
}

OleControl *OleAutomation::control() const
{
    return !m_disposed && m_site ? m_site->control() : nullptr;
}

std::optional<QList<int>> OleAutomation::getIDsOfNames(const QStringList &names)
{
    OleControl *target = control();
    if (!target || names.size() != 1)
        return std::nullopt;
    const std::optional<int> id = target->dispatchId(names.first());
    if (!id)
        return std::nullopt;
    return QList<int>{*id};
}

std::optional<Variant> OleAutomation::invoke(int id)
{
    return invoke(id, {});
}

std::optional<Variant> OleAutomation::invoke(int id, const QList<Variant> &arguments)
{
    OleControl *target = control();
    return target ? target->invoke(id, arguments) : std::nullopt;
}

bool OleAutomation::setProperty(int id, const Variant &value)
{
    OleControl *target = control();
    return target && target->setProperty(id, value);
}

std::optional<Variant> OleAutomation::getProperty(int id)
{
    OleControl *target = control();
    return target ? target->getProperty(id) : std::nullopt;
}
