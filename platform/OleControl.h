#pragma once

#include "platform/Variant.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QWidget;

// Result codes and verbs of the control host.
namespace Ole {
constexpr int S_OK = 0;
constexpr int S_FALSE = 1;
constexpr int E_FAIL = int(0x80004005u);
constexpr int E_NOTIMPL = int(0x80004001u);
constexpr int DISP_E_MEMBERNOTFOUND = int(0x80020003u);
constexpr int DISP_E_BADPARAMCOUNT = int(0x8002000Eu);
constexpr int DISP_E_TYPEMISMATCH = int(0x80020005u);
constexpr int REGDB_E_CLASSNOTREG = int(0x80040154u);

constexpr int OLEIVERB_PRIMARY = 0;
constexpr int OLEIVERB_SHOW = -1;
constexpr int OLEIVERB_OPEN = -2;
constexpr int OLEIVERB_HIDE = -3;
constexpr int OLEIVERB_UIACTIVATE = -4;
constexpr int OLEIVERB_INPLACEACTIVATE = -5;
} // namespace Ole

// A failure of the control host: a control that is not registered or that
// cannot start, or a call that the control refuses.
class OleError : public std::runtime_error
{
public:
    OleError(int code, const QString &message) : std::runtime_error(message.toStdString()), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

// A control that the host can create by its ProgID: a widget and its
// automation members (methods and properties, looked up by name in any
// case).
class OleControl
{
public:
    virtual ~OleControl() = default;

    // The control's widget, made by the factory as a child of the site.
    virtual QWidget *widget() const = 0;
    // Ole::S_OK when the verb was carried out, else an error code.
    virtual int doVerb(int verb) = 0;

    // The dispatch identifier of a member; no value for an unknown name.
    virtual std::optional<int> dispatchId(const QString &name) const = 0;
    // No value when the call failed (unknown identifier, a property called
    // as a method, wrong arguments). A method without a result gives an
    // empty variant.
    virtual std::optional<Variant> invoke(int id, const QList<Variant> &arguments) = 0;
    virtual std::optional<Variant> getProperty(int id) = 0;
    virtual bool setProperty(int id, const Variant &value) = 0;

    // Called with a short text when the control cannot play what it was
    // given; the site passes it on.
    std::function<void(const QString &)> onPlaybackFailed;
};

// Makes a control under its site's widget; throws (OleError or another
// exception) when the control cannot start.
using OleControlFactory = std::function<std::unique_ptr<OleControl>(QWidget *site)>;

// The controls the host can create, by ProgID (any case). The players'
// controls are registered from the start.
namespace OleControlRegistry {

void registerControl(const QString &progId, OleControlFactory factory);
bool unregisterControl(const QString &progId);
bool isRegistered(const QString &progId);
QStringList progIds();
// Back to the controls registered from the start (for tests).
void restoreDefaults();
// The factory of a ProgID, or an empty function.
OleControlFactory factory(const QString &progId);

} // namespace OleControlRegistry
