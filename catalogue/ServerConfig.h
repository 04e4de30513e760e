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

// The configured host (read from the environment on every call). An empty
// variable counts as unset. A value that is not a plain "host" or
// "host:port" (a DNS name, IPv4 address or bracketed IPv6 address, port 1 to
// 65535) is refused: the build-time default is used and one line says so on
// standard error.
QString host(Server server);
// The environment variable that overrides a server's host.
const char *environmentVariable(Server server);

} // namespace ServerConfig
