#pragma once

#include <QByteArray>
#include <QString>

// The HTML pages of the service: its page frame and the error page of a
// status.
namespace RefService {

const char *reasonPhrase(int status);
// A whole page: title and the body's HTML in the service's style.
QByteArray html(const QString &title, const QString &bodyHtml);
// "<status> <reason>" as title and heading.
QByteArray errorPage(int status);

} // namespace RefService
