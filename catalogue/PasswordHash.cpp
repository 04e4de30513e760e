#include "catalogue/PasswordHash.h"

#include <QByteArray>
#include <QtGlobal>

#include <sodium.h>

namespace {

const QString NO_PASSWORD = QStringLiteral("0");

// Argon2id costs: two passes over 19 MiB, quick enough for a dialog and for
// the start-up in limited mode, yet slow for guessing.
constexpr unsigned long long PWHASH_OPSLIMIT = 2;
constexpr size_t PWHASH_MEMLIMIT = 19u * 1024u * 1024u;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The hash of the first program versions: the XOR of (byte + 1) over the
// bytes, each byte read as a signed value.
QString legacyHash(const QByteArray &bytes)
{
    qint32 h = 0;
    for (char c : bytes)
        h ^= qint32(static_cast<signed char>(c)) + 1;
    return QString::number(h);
}

bool isLegacyHash(const QString &stored)
{
    const qsizetype start = stored.startsWith(u'-') ? 1 : 0;
    if (start == stored.size())
        return false;
    for (qsizetype i = start; i < stored.size(); ++i) {
        if (stored.at(i) < u'0' || stored.at(i) > u'9')
            return false;
    }
    return true;
}

bool isArgonHash(const QString &stored)
{
    return stored.startsWith(QLatin1String("$argon2"));
}

bool verifyArgon(const QString &stored, const QString &trimmedEntry)
{
    if (!sodiumReady())
        return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray bytes = trimmedEntry.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size()))
        == 0;
}

bool verifyLegacy(const QString &stored, const QString &trimmedEntry)
{
    // Older files were written on systems whose default character set was
    // a single-byte one; accept either encoding of the entry.
    return legacyHash(trimmedEntry.toUtf8()) == stored || legacyHash(trimmedEntry.toLatin1()) == stored;
}

} // namespace

namespace PasswordHash {

// The stored form of a trimmed password. Should hashing fail (no memory),
// the result refuses every entry, which keeps a lock locked.
QString storedFormOf(const QString &trimmed)
{
    if (trimmed.isEmpty())
        return NO_PASSWORD;
    const QByteArray bytes = trimmed.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (!sodiumReady()
        || crypto_pwhash_str(out, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                             PWHASH_OPSLIMIT, PWHASH_MEMLIMIT)
            != 0) {
        qWarning("Could not hash the parental password");
        return QStringLiteral("!");
    }
    return QString::fromLatin1(out);
}

Verdict verify(const QString &stored, const QString &trimmedEntry)
{
    if (stored == NO_PASSWORD)
        return trimmedEntry.isEmpty() ? Verdict::Right : Verdict::Wrong;
    if (isArgonHash(stored))
        return verifyArgon(stored, trimmedEntry) ? Verdict::Right : Verdict::Wrong;
    if (!isLegacyHash(stored) || !verifyLegacy(stored, trimmedEntry))
        return Verdict::Wrong;
    return Verdict::RightOldForm;
}

} // namespace PasswordHash
