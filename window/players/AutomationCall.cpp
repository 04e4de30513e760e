#include "window/players/AutomationCall.h"

#include "platform/OleFrame.h"

namespace AutomationCall {

namespace {

int dispatchId(OleAutomation &automation, const QString &name)
{
    const std::optional<QList<int>> ids = automation.getIDsOfNames({name});
    if (!ids || ids->isEmpty())
        throw OleError(Ole::DISP_E_MEMBERNOTFOUND, QStringLiteral("The control has no member \"%1\"").arg(name));
    return ids->first();
}

OleControlSite *checked(OleControlSite *site)
{
    if (!site)
        throw OleError(Ole::E_FAIL, QStringLiteral("The control is gone"));
    return site;
}

} // namespace

void setProperty(OleAutomation &automation, const QString &name, const Variant &value)
{
    const int id = dispatchId(automation, name);
    automation.setProperty(id, value);
}

void invoke(OleAutomation &automation, const QString &name, const QList<Variant> &arguments)
{
    const int id = dispatchId(automation, name);
    if (arguments.isEmpty())
        automation.invoke(id);
    else
        automation.invoke(id, arguments);
}

void setProperty(OleControlSite *site, const QString &name, const Variant &value)
{
    OleAutomation automation(checked(site));
    setProperty(automation, name, value);
    automation.dispose();
}

void invoke(OleControlSite *site, const QString &name, const QList<Variant> &arguments)
{
    OleAutomation automation(checked(site));
    invoke(automation, name, arguments);
    automation.dispose();
}

bool query(OleControlSite *site, const QString &name)
{
    OleAutomation automation(checked(site));
    const int id = dispatchId(automation, name);
    const std::optional<Variant> result = automation.invoke(id);
    automation.dispose();
    if (!result)
        throw OleError(Ole::E_FAIL, QStringLiteral("\"%1\" gave no result").arg(name));
    return result->getBoolean();
}

} // namespace AutomationCall
