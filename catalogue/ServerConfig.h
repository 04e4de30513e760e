#pragma once

#include <QString>

// Host names of the servers the program talks to. Each has a default set at
// build time and can be overridden at run time by an environment variable
// holding "host" or "host:port".
namespace ServerConfig {

enum class Server {
    Catalogue, // QUORVANTEL_CATALOGUE_HOST, http
    Order,     // QUORVANTEL_ORDER_HOST, https
    Forum,     // QUORVANTEL_FORUM_HOST, http
    Maker,     // QUORVANTEL_MAKER_HOST, http
    Icecast,   // QUORVANTEL_ICECAST_HOST, http
};

// The configured host (read from the environment on every call).
QString host(Server server);
// The environment variable that overrides a server's host.
const char *environmentVariable(Server server);

} // namespace ServerConfig
