#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <stdexcept>

// A key the message bundle does not hold.
class MissingResourceException : public std::runtime_error
{
public:
    explicit MissingResourceException(const QString &key);
    QString key() const { return m_key; }

private:
    QString m_key;
};

// Parses the property-file form of the message bundle: ISO-8859-1 text,
// lines ended by CR LF, LF or CR, "#" and "!" comments, "key = text",
// "key: text" or "key text", backslash continuation lines, and the escapes
// \r \n \t \f \uXXXX (a backslash before any other character stands for
// that character). A later entry for a key replaces an earlier one.
QHash<QString, QString> parseProperties(const QByteArray &bytes);

// The message lookup: a key of the bundle "GuiBundle" for locale en_GB gives
// the user text. The bundle is embedded in the program and loaded once,
// thread-safely, on the first lookup.
class LangMsg
{
public:
    LangMsg() = delete;
    // Throws MissingResourceException for a key the bundle does not hold.
    static QString getMsg(const QString &key);
    // Every key of the bundle (for checks).
    static QStringList keys();
};
