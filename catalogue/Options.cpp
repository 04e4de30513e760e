#include "catalogue/Options.h"

#include "catalogue/OptionsState.h"
#include "catalogue/OptionsXml.h"
#include "catalogue/PasswordHash.h"
#include "catalogue/StreamsManager.h"

#include <QtGlobal>

#include <mutex>
#include <utility>

using OptionsState::State;
using OptionsState::state;
using OptionsState::stateMutex;
using OptionsXml::trimLow;

std::mutex &OptionsState::stateMutex()
{
    static std::mutex mutex;
    return mutex;
}

OptionsState::State &OptionsState::state()
{
    static State s;
    return s;
}

// Serialises the writers of the file (the state lock is not held while the
// file is written).
std::mutex &OptionsState::fileMutex()
{
    static std::mutex mutex;
    return mutex;
}

namespace {

std::mutex &handlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void(const Options::WriteFailure &)> &writeFailureHandler()
{
    static std::function<void(const Options::WriteFailure &)> handler;
    return handler;
}

// Saves the settings at once; a failure goes to the handler.
void saveNow()
{
    if (Options::writeToDisk())
        return;
    std::function<void(const Options::WriteFailure &)> handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = writeFailureHandler();
    }
    if (handler)
        handler(Options::lastWriteFailure());
}

// The password that limited mode locks adult content with.
const QString LIMITED_MODE_PASSWORD = QStringLiteral("qelmorvintashk");

void applyLimitedPassword()
{
    {
        std::lock_guard lock(stateMutex());
        const State &s = state();
        if (!s.limitedModeHash.isNull() && s.passwd == s.limitedModeHash)
            return;
    }
    const QString hash = PasswordHash::storedFormOf(LIMITED_MODE_PASSWORD);
    std::lock_guard lock(stateMutex());
    state().passwd = hash;
    state().limitedModeHash = hash;
}

} // namespace

// ---- Reading ----------------------------------------------------------------------

void Options::readFromDisk(StreamsManager *manager, PPVView *ppvView, bool withFavorites, bool fromFile)
{
    Q_UNUSED(ppvView);
    if (fromFile) {
        OptionsState::readFile();
        return;
    }
    StreamsManager *remembered = nullptr;
    bool limited = false;
    {
        std::lock_guard lock(stateMutex());
        State &s = state();
        if (!s.manager)
            s.manager = manager;
        remembered = s.manager;
        limited = s.mode.has_value() && !*s.mode;
    }
    if (limited) {
        applyLimitedPassword();
        if (remembered)
            remembered->setAdultVisible(false);
    }
    if (withFavorites)
        OptionsState::bindStored(remembered);
}

Options::WriteFailure Options::lastWriteFailure()
{
    std::lock_guard lock(stateMutex());
    return state().lastWriteFailure;
}

void Options::setWriteFailureHandler(std::function<void(const WriteFailure &)> handler)
{
    std::lock_guard lock(handlerMutex());
    writeFailureHandler() = std::move(handler);
}

// ---- Settings -------------------------------------------------------------------

QString Options::getSerial()
{
    std::lock_guard lock(stateMutex());
    const QString &serial = state().serial;
    if (serial.isNull())
        return QStringLiteral("");
    return serial;
}

void Options::setSerial(const QString &key)
{
    {
        std::lock_guard lock(stateMutex());
        state().serial = key;
    }
    saveNow();
}

bool Options::getUpdateEnabled()
{
    std::lock_guard lock(stateMutex());
    return state().updateEnabled;
}

void Options::setUpdateEnabled(bool enabled)
{
    std::lock_guard lock(stateMutex());
    state().updateEnabled = enabled;
}

std::optional<bool> Options::getMode()
{
    std::lock_guard lock(stateMutex());
    return state().mode;
}

void Options::setMode(bool full)
{
    if (full)
        setPasswd(QString());
    {
        std::lock_guard lock(stateMutex());
        state().mode = full;
    }
    saveNow();
}

std::optional<bool> Options::getModeNotPersistent()
{
    std::lock_guard lock(stateMutex());
    return state().notPersistentMode;
}

void Options::setModeNotPersistent(bool full)
{
    std::lock_guard lock(stateMutex());
    state().notPersistentMode = full;
}

bool Options::getUserWizardEnabled()
{
    std::lock_guard lock(stateMutex());
    return state().userWizardEnabled;
}

void Options::setUserWizardEnabled(bool enabled)
{
    std::lock_guard lock(stateMutex());
    state().userWizardEnabled = enabled;
}

int Options::getCacheRevision()
{
    std::lock_guard lock(stateMutex());
    return state().cacheRevision;
}

void Options::setCacheRevision(int revision)
{
    std::lock_guard lock(stateMutex());
    state().cacheRevision = revision;
}

void Options::setPasswd(const QString &password)
{
    // Hashing is slow: done without the lock.
    const QString stored = PasswordHash::storedFormOf(trimLow(password));
    std::lock_guard lock(stateMutex());
    state().passwd = stored;
}

bool Options::evalPasswd(const QString &entry)
{
    QString stored;
    {
        std::lock_guard lock(stateMutex());
        State &s = state();
        if (s.passwd.isEmpty())
            return true;
        stored = trimLow(s.passwd);
        s.passwd = stored;
    }
    const QString trimmed = trimLow(entry);
    const PasswordHash::Verdict verdict = PasswordHash::verify(stored, trimmed);
    if (verdict != PasswordHash::Verdict::RightOldForm)
        return verdict == PasswordHash::Verdict::Right;
    // A password from an older file: keep it in the new form from now on.
    const QString upgraded = PasswordHash::storedFormOf(trimmed);
    std::lock_guard lock(stateMutex());
    State &s = state();
    if (s.passwd == stored)
        s.passwd = upgraded;
    return true;
}

QString Options::getLanguage()
{
    std::lock_guard lock(stateMutex());
    const QString &language = state().language;
    if (language.isNull())
        return QStringLiteral("");
    return language;
}

void Options::setLanguage(const QString &code)
{
    std::lock_guard lock(stateMutex());
    state().language = code;
}

int Options::getLastStreamId()
{
    std::lock_guard lock(stateMutex());
    return state().lastStreamId;
}

void Options::setLastStreamId(int id)
{
    std::lock_guard lock(stateMutex());
    state().lastStreamId = id;
}

QString Options::getVersion()
{
    return QString::number(MAJOR_VERSION) + u'.' + QString::number(MINOR_VERSION) + u'.'
        + QString::number(REVISION);
}

void Options::resetToDefaults()
{
    std::lock_guard lock(stateMutex());
    state() = State();
}
