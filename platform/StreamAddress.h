#pragma once

#include <QString>
#include <QStringList>

// The stream addresses the players hand to the media engine. Addresses come
// from servers and from the public directory, so only network schemes of
// media streams are opened: http, https, mms, mmsh, rtsp and rtmp. Every
// other scheme (file, data, javascript, the engine's own pseudo protocols
// and so on) is refused.
namespace StreamAddress {

QStringList acceptedSchemes();

// True when the address, blanks around it ignored, is "scheme://host..."
// with an accepted scheme (any case), a host, and no control characters.
// Otherwise false, with a short reason in *reason when given.
bool isAccepted(const QString &address, QString *reason = nullptr);

// The form the engine opens: trimmed, "mms://" as "mmsh://" (streaming
// over HTTP, which the engine speaks), inner blanks as "%20".
QString engineAddress(const QString &address);

} // namespace StreamAddress
