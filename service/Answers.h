#pragma once

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// The answers to the requests the program sends, one function per request;
// Routes.cpp names the paths they answer.
namespace RefService {

struct ServiceState;

// How every answer is called: the service's state, the request, the
// response to fill.
using Answer = void (*)(ServiceState &state, const httplib::Request &req, httplib::Response &res);

void answerRevision(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerCatalogue(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerPpv(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerDirectory(ServiceState &state, const httplib::Request &req, httplib::Response &res);
// Broken stream reports, stream tips and recruitments: "OK".
void answerServiceRequest(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerPpvShow(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerPpvDescription(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerOrder(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerOrderVerify(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerForum(ServiceState &state, const httplib::Request &req, httplib::Response &res);
void answerUpdate(ServiceState &state, const httplib::Request &req, httplib::Response &res);
// The service's own index page at "/".
void answerIndex(ServiceState &state, const httplib::Request &req, httplib::Response &res);
// Every other path: 404 with the error page.
void answerUnknown(ServiceState &state, const httplib::Request &req, httplib::Response &res);

} // namespace RefService
