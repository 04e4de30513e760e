#include "platform/Variant.h"

#include <cmath>
#include <limits>

namespace {
void setOk(bool *ok, bool value)
{
    if (ok)
        *ok = value;
}
} // namespace

bool Variant::getBoolean(bool *ok) const
{
    setOk(ok, true);
    switch (m_type) {
    case Type::Boolean: return m_bool;
    case Type::Int: return m_int != 0;
    case Type::Double: return m_double != 0;
    case Type::String: {
        const QString text = m_string.trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("-1") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        break;
    }
    case Type::Empty: break;
    }
    setOk(ok, false);
    return false;
}

int Variant::getInt(bool *ok) const
{
    setOk(ok, true);
    switch (m_type) {
    case Type::Boolean: return m_bool ? -1 : 0; // the automation form of true
    case Type::Int: return m_int;
    case Type::Double:
        if (std::isfinite(m_double) && m_double >= std::numeric_limits<int>::min()
            && m_double <= std::numeric_limits<int>::max())
            return int(std::lround(m_double));
        break;
    case Type::String: {
        bool parsed = false;
        const int value = m_string.trimmed().toInt(&parsed);
        if (parsed)
            return value;
        break;
    }
    case Type::Empty: break;
    }
    setOk(ok, false);
    return 0;
}

double Variant::getDouble(bool *ok) const
{
    setOk(ok, true);
    switch (m_type) {
    case Type::Boolean: return m_bool ? -1.0 : 0.0;
    case Type::Int: return m_int;
    case Type::Double: return m_double;
    case Type::String: {
        bool parsed = false;
        const double value = m_string.trimmed().toDouble(&parsed);
        if (parsed)
            return value;
        break;
    }
    case Type::Empty: break;
    }
    setOk(ok, false);
    return 0;
}

QString Variant::getString(bool *ok) const
{
    setOk(ok, true);
    switch (m_type) {
    case Type::Boolean: return m_bool ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Int: return QString::number(m_int);
    case Type::Double: return QString::number(m_double);
    case Type::String: return m_string;
    case Type::Empty: break;
    }
    setOk(ok, false);
    return QString();
}

bool Variant::operator==(const Variant &other) const
{
    if (m_type != other.m_type)
        return false;
    switch (m_type) {
    case Type::Empty: return true;
    case Type::Boolean: return m_bool == other.m_bool;
    case Type::Int: return m_int == other.m_int;
    case Type::Double: return m_double == other.m_double;
    case Type::String: return m_string == other.m_string;
    }
    return false;
}

QString Variant::toDebugString() const
{
    switch (m_type) {
    case Type::Empty: return QStringLiteral("Empty");
    case Type::Boolean: return QStringLiteral("Boolean(%1)").arg(m_bool ? QStringLiteral("true") : QStringLiteral("false"));
    case Type::Int: return QStringLiteral("Int(%1)").arg(m_int);
    case Type::Double: return QStringLiteral("Double(%1)").arg(m_double);
    case Type::String: return QStringLiteral("String(\"%1\")").arg(m_string);
    }
    return QString();
}
