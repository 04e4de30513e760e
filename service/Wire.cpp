#include "service/Wire.h"

#include <QList>

namespace RefService {

const char *const ACCEPT_ENCODING_KEPT = "X-Refservice-Accept-Encoding";

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QByteArray toBytes(const std::string &text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

QString fromStd(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString targetPath(const std::string &target)
{
    const size_t q = target.find('?');
    return fromStd(q == std::string::npos ? target : target.substr(0, q));
}

QByteArray targetQuery(const std::string &target)
{
    const size_t q = target.find('?');
    return q == std::string::npos ? QByteArray() : toBytes(target.substr(q + 1));
}

bool acceptsCoding(const QByteArray &header, const char *coding)
{
    for (const QByteArray &item : header.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray name = parts.value(0).trimmed().toLower();
        if (name != coding && name != "*")
            continue;
        bool refused = false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray param = parts[i].trimmed().toLower();
            if (param.startsWith("q=")) {
                bool ok = false;
                const double q = param.mid(2).toDouble(&ok);
                refused = ok && q <= 0.0;
            }
        }
        if (!refused)
            return true;
    }
    return false;
}

} // namespace RefService
