#pragma once

#include <QString>

// The stored forms of the parental password and their check. The texts
// given here are already trimmed.
namespace PasswordHash {

// The stored form of a trimmed password: "0" for the empty password, any
// other one a salted Argon2id hash. Should hashing fail (no memory), the
// result refuses every entry, which keeps a lock locked.
QString storedFormOf(const QString &trimmed);

enum class Verdict {
    Wrong,
    Right,
    // Right, and stored in the decimal form of an older settings file, which
    // is to be replaced by the new form.
    RightOldForm,
};

// Checks a trimmed entry against a trimmed stored form that is set.
Verdict verify(const QString &stored, const QString &trimmedEntry);

} // namespace PasswordHash
