#pragma once

// Plain one-shot zlib decoders for comparison with the program's decoders.

#include <QByteArray>

#include <zlib.h>

#include <optional>

namespace fuzz {

// Inflates one stream of data (windowBits as for inflateInit2) from offset
// on. Nothing when it is broken or ends before its end marker, or when it
// decodes to more than limit bytes (tooLarge is then set). consumed gets the
// bytes the stream took.
inline std::optional<QByteArray> inflateOne(const QByteArray &data, qsizetype offset, int windowBits, qint64 limit,
                                            bool &tooLarge, qsizetype &consumed)
{
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK)
        return std::nullopt;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData() + offset));
    z.avail_in = uInt(data.size() - offset);
    QByteArray out;
    char buffer[16384];
    int rc = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (out.size() > limit) {
            tooLarge = true;
            inflateEnd(&z);
            return std::nullopt;
        }
    } while (rc == Z_OK);
    consumed = qsizetype(z.total_in);
    inflateEnd(&z);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

// gzip members one after the other: after the end of a member, another one
// follows when the next two bytes are the gzip magic; anything else after a
// member is ignored.
inline std::optional<QByteArray> gunzipAll(const QByteArray &data, qint64 limit, bool &tooLarge)
{
    tooLarge = false;
    QByteArray out;
    qsizetype at = 0;
    do {
        qsizetype consumed = 0;
        const auto member = inflateOne(data, at, 16 + MAX_WBITS, limit - out.size(), tooLarge, consumed);
        if (!member)
            return std::nullopt;
        out += *member;
        at += consumed;
    } while (data.size() - at >= 2 && uchar(data[at]) == 0x1f && uchar(data[at + 1]) == 0x8b);
    return out;
}

} // namespace fuzz
