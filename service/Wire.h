#pragma once

#include <QByteArray>
#include <QString>

#include <string>

// Conversions between the HTTP library's strings and Qt's, the parts of a
// request target, and the Accept-Encoding check the answers make.
namespace RefService {

// The request's Accept-Encoding is moved to this header before routing, so
// that the HTTP library never compresses a response on its own: every
// Content-Encoding this service sends is the one its configuration asks for.
extern const char *const ACCEPT_ENCODING_KEPT;

std::string toStd(const QByteArray &bytes);
QByteArray toBytes(const std::string &text);
QString fromStd(const std::string &text);

// The path part of a request target, undecoded.
QString targetPath(const std::string &target);
QByteArray targetQuery(const std::string &target);

// Whether an Accept-Encoding value allows a coding ("gzip", "deflate"):
// listed by name or "*", without q=0.
bool acceptsCoding(const QByteArray &header, const char *coding);

} // namespace RefService
