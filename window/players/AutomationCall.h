#pragma once

#include "platform/Variant.h"

#include <QList>
#include <QString>

class OleAutomation;
class OleControlSite;

// One automation call on a player control, by member name. An unknown
// name, a missing site or a query without a result throws OleError, and
// nothing further happens in the call.
namespace AutomationCall {

// On an automation object that the caller made (several calls in a row).
void setProperty(OleAutomation &automation, const QString &name, const Variant &value);
void invoke(OleAutomation &automation, const QString &name, const QList<Variant> &arguments = {});

// Each with an automation object of its own, released afterwards.
void setProperty(OleControlSite *site, const QString &name, const Variant &value);
void invoke(OleControlSite *site, const QString &name, const QList<Variant> &arguments = {});
// A method whose result is read as a boolean.
bool query(OleControlSite *site, const QString &name);

} // namespace AutomationCall
