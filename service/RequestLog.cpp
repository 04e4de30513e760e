#include "service/RequestLog.h"

#include "service/Wire.h"

#include <httplib.h>

#include <cstdio>

namespace RefService {

LoggedRequest RequestLog::entry(const httplib::Request &req, int status, bool tls)
{
    LoggedRequest entry;
    entry.method = fromStd(req.method);
    entry.path = targetPath(req.target);
    entry.query = targetQuery(req.target);
    entry.target = toBytes(req.target);
    for (const auto &[name, value] : req.headers) {
        const QString key = name == ACCEPT_ENCODING_KEPT ? QStringLiteral("accept-encoding") : fromStd(name).toLower();
        entry.headers.insert(key, fromStd(value));
    }
    entry.status = status;
    entry.https = tls;
    return entry;
}

void RequestLog::print(const httplib::Request &req, const LoggedRequest &entry)
{
    const QByteArray line = QByteArray(entry.https ? "[https] " : "") + toBytes(req.method) + ' ' + entry.target
                            + " -> " + QByteArray::number(entry.status) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void RequestLog::add(const LoggedRequest &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_log.size() >= MAX_LOGGED) // a long-running service keeps the recent part
        m_log.erase(m_log.begin(), m_log.begin() + MAX_LOGGED / 10);
    m_log.push_back(entry);
}

std::vector<LoggedRequest> RequestLog::all() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<LoggedRequest> RequestLog::forPath(const QString &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LoggedRequest> out;
    for (const LoggedRequest &r : m_log) {
        if (r.path == path)
            out.push_back(r);
    }
    return out;
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

} // namespace RefService
