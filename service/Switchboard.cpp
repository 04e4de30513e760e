#include "service/Switchboard.h"

#include <chrono>

namespace RefService {

void Switchboard::setStopping(bool stopping)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = stopping;
    }
    m_wake.notify_all();
}

Switch Switchboard::find(const QString &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_switches.value(path);
}

std::vector<std::pair<QByteArray, QByteArray>> Switchboard::headers(const QString &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_switches.constFind(path);
    return it == m_switches.constEnd() ? std::vector<std::pair<QByteArray, QByteArray>>() : it->headers;
}

bool Switchboard::pause(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(qBound(0, ms, MAX_DELAY_MS)), [this] { return m_stopping; });
    return !m_stopping;
}

bool Switchboard::waitForRelease(const QString &path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto start = m_switches.constFind(path);
    if (start == m_switches.constEnd() || !start->hold)
        return !m_stopping;
    const quint64 generation = start->releases;
    ++m_heldRequests[path];
    m_wake.notify_all();
    m_wake.wait_for(lock, std::chrono::milliseconds(MAX_DELAY_MS), [&] {
        const auto it = m_switches.constFind(path);
        return m_stopping || it == m_switches.constEnd() || !it->hold || it->releases != generation;
    });
    --m_heldRequests[path];
    return !m_stopping;
}

void Switchboard::setStatus(const QString &path, int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_switches[path].status = status;
}

void Switchboard::setDelay(const QString &path, int milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_switches[path].delayMs = qBound(0, milliseconds, MAX_DELAY_MS);
}

void Switchboard::hold(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_switches[path].hold = true;
}

void Switchboard::release(const QString &path, bool keepHolding)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Switch &sw = m_switches[path];
        ++sw.releases;
        sw.hold = keepHolding;
    }
    m_wake.notify_all();
}

int Switchboard::heldCount(const QString &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heldRequests.value(path);
}

bool Switchboard::waitForHeld(const QString &path, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_wake.wait_for(lock, std::chrono::milliseconds(qBound(0, timeoutMs, MAX_DELAY_MS)),
                           [&] { return m_stopping || m_heldRequests.value(path) > 0; }) &&
           !m_stopping;
}

void Switchboard::setReply(const QString &path, const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Switch &sw = m_switches[path];
    sw.hasReply = true;
    sw.reply = body;
    sw.hasSplit = false;
}

void Switchboard::setSplitReply(const QString &path, const QByteArray &first, const QByteArray &second, int pauseMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Switch &sw = m_switches[path];
    sw.hasSplit = true;
    sw.first = first;
    sw.second = second;
    sw.pauseMs = qBound(0, pauseMs, MAX_DELAY_MS);
    sw.hasReply = false;
}

void Switchboard::addHeader(const QString &path, const QByteArray &name, const QByteArray &value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_switches[path].headers.emplace_back(name, value);
}

void Switchboard::clear()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_switches.clear();
    }
    // Held replies go too.
    m_wake.notify_all();
}

} // namespace RefService
