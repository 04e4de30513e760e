#pragma once

#include "service/ReferenceService.h"

#include <mutex>
#include <vector>

namespace httplib {
struct Request;
}

namespace RefService {

// The requests the service answered, the most recent MAX_LOGGED at most,
// oldest first. Safe from any thread.
class RequestLog
{
public:
    static constexpr size_t MAX_LOGGED = 100000;

    // The entry for a request answered with status; tls: came in on the
    // HTTPS listener.
    static LoggedRequest entry(const httplib::Request &req, int status, bool tls);
    // "[https] GET /path?query -> status" on stderr.
    static void print(const httplib::Request &req, const LoggedRequest &entry);

    void add(const LoggedRequest &entry);
    std::vector<LoggedRequest> all() const;
    std::vector<LoggedRequest> forPath(const QString &path) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<LoggedRequest> m_log;
};

} // namespace RefService
