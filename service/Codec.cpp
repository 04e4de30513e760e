#include "service/ReferenceService.h"

#include <zlib.h>

namespace RefService {

namespace {

// windowBits: 16 + MAX_WBITS gzip, -MAX_WBITS raw deflate, MAX_WBITS zlib.
QByteArray deflateWith(const QByteArray &data, int level, int windowBits)
{
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    out.resize(qsizetype(deflateBound(&zs, uLong(data.size()))) + 32);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    const qsizetype produced = qsizetype(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    out.truncate(produced);
    return out;
}

std::optional<QByteArray> inflateWith(const QByteArray &data, int windowBits)
{
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK)
        return std::nullopt;
    QByteArray out;
    char buffer[65536];
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        zs.next_out = reinterpret_cast<Bytef *>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&zs);
            return std::nullopt;
        }
        out.append(buffer, qsizetype(sizeof buffer - zs.avail_out));
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            // Input used up before the end of the stream: cut short.
            inflateEnd(&zs);
            return std::nullopt;
        }
    }
    inflateEnd(&zs);
    return out;
}

} // namespace

QByteArray gzipCompress(const QByteArray &data, int level)
{
    return deflateWith(data, level, 16 + MAX_WBITS);
}

QByteArray rawDeflate(const QByteArray &data, int level)
{
    return deflateWith(data, level, -MAX_WBITS);
}

QByteArray zlibDeflate(const QByteArray &data, int level)
{
    return deflateWith(data, level, MAX_WBITS);
}

std::optional<QByteArray> gzipDecompress(const QByteArray &data)
{
    return inflateWith(data, 16 + MAX_WBITS);
}

std::optional<QByteArray> rawInflate(const QByteArray &data)
{
    return inflateWith(data, -MAX_WBITS);
}

std::optional<QByteArray> zlibInflate(const QByteArray &data)
{
    return inflateWith(data, MAX_WBITS);
}

QByteArray encodeBody(const QByteArray &data, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Gzip:
    case Encoding::GzipUpper:
        return gzipCompress(data);
    case Encoding::Deflate:
        return rawDeflate(data);
    case Encoding::ZlibDeflate:
        return zlibDeflate(data);
    case Encoding::Plain:
    case Encoding::BogusGzip:
    case Encoding::Unknown:
        break;
    }
    return data;
}

QByteArray encodingHeader(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Gzip:
    case Encoding::BogusGzip:
        return QByteArrayLiteral("gzip");
    case Encoding::GzipUpper:
        return QByteArrayLiteral("GZIP");
    case Encoding::Deflate:
    case Encoding::ZlibDeflate:
        return QByteArrayLiteral("deflate");
    case Encoding::Unknown:
        return QByteArrayLiteral("br");
    case Encoding::Plain:
        break;
    }
    return {};
}

} // namespace RefService
