#pragma once

#include "service/ReferenceService.h"
#include "service/RequestLog.h"
#include "service/ServiceState.h"
#include "service/Switchboard.h"

#include <httplib.h>

#include <memory>
#include <mutex>
#include <thread>

// The parts of a ReferenceService: what it answers from, the switches tests
// set, the request log, and the listeners with their threads.
struct ReferenceService::Impl
{
    Config config;
    QString dataDir;

    RefService::ServiceState state;
    RefService::Switchboard switches;
    RefService::RequestLog log;

    // Guards running, tlsPort, certPath and keyPath.
    mutable std::mutex listenerMutex;
    bool running = false;
    std::unique_ptr<httplib::Server> http;
    std::unique_ptr<httplib::Server> https;
    std::thread httpThread;
    std::thread httpsThread;
    int tlsPort = 0;
    QString certPath;
    QString keyPath;

    // Makes server answer from this service: connection settings, the media
    // mount, the switches before routing, the route table, the log after.
    void setup(httplib::Server &server, bool tls);
    httplib::Server::HandlerResponse preRouting(const httplib::Request &req, httplib::Response &res);
    void postRouting(const httplib::Request &req, httplib::Response &res, bool tls);
};
