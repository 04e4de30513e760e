#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace RefService {

// Waits are bounded to this, whatever a test asks.
constexpr int MAX_DELAY_MS = 60000;

// What a test set for one path.
struct Switch
{
    int status = 0;
    int delayMs = 0;
    // Replies wait until the test lets them go; each release counts up.
    bool hold = false;
    quint64 releases = 0;
    bool hasReply = false;
    QByteArray reply;
    bool hasSplit = false;
    QByteArray first;
    QByteArray second;
    int pauseMs = 0;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// The switches tests set per path (the path without query) and the waits
// they make: delays, held replies and the pause of a split reply. Every
// wait ends when the service stops. Safe from any thread.
class Switchboard
{
public:
    // Waits may go on (start()) or end at once (stop()).
    void setStopping(bool stopping);

    // The switch of a path as it is now; a default one when none is set.
    Switch find(const QString &path) const;
    // The extra response headers of a path.
    std::vector<std::pair<QByteArray, QByteArray>> headers(const QString &path) const;

    // Waits up to ms; false when the service is stopping.
    bool pause(int ms);
    // Waits while the path's replies are held: until a release, the end of
    // the hold, stop() or MAX_DELAY_MS. False when the service is stopping.
    bool waitForRelease(const QString &path);

    void setStatus(const QString &path, int status);
    void setDelay(const QString &path, int milliseconds);
    void hold(const QString &path);
    void release(const QString &path, bool keepHolding);
    int heldCount(const QString &path) const;
    bool waitForHeld(const QString &path, int timeoutMs) const;
    void setReply(const QString &path, const QByteArray &body);
    void setSplitReply(const QString &path, const QByteArray &first, const QByteArray &second, int pauseMs);
    void addHeader(const QString &path, const QByteArray &name, const QByteArray &value);
    void clear();

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;
    bool m_stopping = false;
    QHash<QString, Switch> m_switches;
    QHash<QString, int> m_heldRequests; // requests waiting in a hold, by path
};

} // namespace RefService
