#include "service/Pages.h"

namespace RefService {

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

QByteArray html(const QString &title, const QString &bodyHtml)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;margin:16px;background:#f4f4f8;color:#222}"
                          "h1{font-size:20px}.box{background:#fff;border:1px solid #ccd;padding:12px;border-radius:4px}"
                          "td{padding:2px 8px}a.button,button{display:inline-block;padding:6px 14px;background:#2a5db0;"
                          "color:#fff;border:0;border-radius:3px;text-decoration:none}</style></head>"
                          "<body>%2</body></html>\n")
        .arg(title.toHtmlEscaped(), bodyHtml)
        .toUtf8();
}

QByteArray errorPage(int status)
{
    const QString title = QStringLiteral("%1 %2").arg(status).arg(QString::fromLatin1(reasonPhrase(status)));
    return html(title, QStringLiteral("<h1>%1</h1>").arg(title.toHtmlEscaped()));
}

} // namespace RefService
