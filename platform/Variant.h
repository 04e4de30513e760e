#pragma once

#include <QString>

// A value passed to or returned by an automation call: empty, boolean,
// integer, floating-point or text.
class Variant
{
public:
    enum class Type { Empty, Boolean, Int, Double, String };

    Variant() = default;
    Variant(bool value) : m_type(Type::Boolean), m_bool(value) {}
    Variant(int value) : m_type(Type::Int), m_int(value) {}
    Variant(double value) : m_type(Type::Double), m_double(value) {}
    Variant(const QString &value) : m_type(Type::String), m_string(value) {}
    Variant(const char *value) : m_type(Type::String), m_string(QString::fromUtf8(value)) {}

    Type getType() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }

    // The value converted to the asked type. *ok (when given) tells whether
    // the conversion was possible: numbers and booleans convert into each
    // other, texts convert when they read as the type ("true"/"false" any
    // case, "-1"/"0", a number); an empty variant converts to nothing.
    bool getBoolean(bool *ok = nullptr) const;
    int getInt(bool *ok = nullptr) const;
    double getDouble(bool *ok = nullptr) const;
    QString getString(bool *ok = nullptr) const;

    bool operator==(const Variant &other) const;
    bool operator!=(const Variant &other) const { return !(*this == other); }

    QString toDebugString() const;

private:
    Type m_type = Type::Empty;
    bool m_bool = false;
    int m_int = 0;
    double m_double = 0;
    QString m_string;
};
