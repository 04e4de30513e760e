#pragma once

#include "service/Answers.h"

#include <QLatin1String>
#include <QString>

#include <span>

namespace RefService {

// The methods a route answers. The listeners pass GET (with HEAD, which
// the HTTP library answers as a GET without body) and POST to the table.
enum Method : unsigned {
    Get = 1,
    Post = 2,
    GetOrPost = Get | Post,
};

// One route of the request table: which requests it takes and the answer
// that fills their response.
struct Route
{
    enum class Match {
        Path,       // the request path is path
        UpdatePath, // the request path is the update path set now (ServiceState::updatePath)
    };
    unsigned methods;
    Match match;
    QLatin1String path; // for Match::Path
    Answer answer;
};

// The routes in the order they are tried; a request no route takes gets
// answerUnknown(). Files under /media/ never come here: the HTTP library
// serves them from the media directory before routing.
std::span<const Route> routes();

// The route that takes a request for path with method ("GET", "HEAD",
// "POST"); nullptr when none does.
const Route *findRoute(ServiceState &state, const std::string &method, const QString &path);

// Answers a request from the table.
void route(ServiceState &state, const httplib::Request &req, httplib::Response &res);

} // namespace RefService
