#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

struct z_stream_s;

// The catalogue's use of zlib: a streaming inflater for compressed HTTP
// bodies, and gzip compression and decompression of whole buffers for the
// cache file.
namespace Zlib {

// Streaming decoder for gzip or deflate data (raw, or wrapped in a zlib
// header as some servers send it). Output is appended to the caller's buffer
// as input arrives, so the compressed data is never held whole; the buffer
// never holds more than maxBytes + 1 bytes.
class Inflater
{
public:
    enum class Format { Gzip, Deflate };
    enum class Failure {
        None,
        Start,     // the decoder could not be started
        TooLarge,  // the output passed maxBytes
        Invalid,   // the data is not valid; detail() may say why
        Truncated, // finish() came before the end marker
    };

    Inflater(Format format, QByteArray &out, qint64 maxBytes);
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Feeds a chunk; returns false with failure() set on failure.
    bool feed(const char *data, size_t size);
    // Called at the end of the data.
    bool finish();

    Failure failure() const { return m_failure; }
    // zlib's own message for an Invalid failure, when it gave one.
    const std::optional<std::string> &detail() const { return m_detail; }

private:
    bool start(int windowBits);
    bool inflateChunk(const char *data, size_t size);
    bool afterEnd(const char *data, size_t size);
    bool restartRaw();
    bool fail(Failure failure);

    Format m_format;
    QByteArray &m_out;
    qint64 m_max;
    std::unique_ptr<z_stream_s> m_z;
    bool m_zInit = false;
    bool m_done = false;
    bool m_zlibWrapped = false;
    QByteArray m_head;
    QByteArray m_saved;
    bool m_keepInput = true;
    QByteArray m_probe;
    bool m_ignoreRest = false;
    size_t m_produced = 0;
    Failure m_failure = Failure::None;
    std::optional<std::string> m_detail;
};

// One gzip member at the default level.
QByteArray gzipCompress(const QByteArray &data);
// Every gzip member of data; throws std::runtime_error for data that is not
// gzip, is cut short or decodes to more than maxBytes.
QByteArray gzipDecompress(const QByteArray &data, qint64 maxBytes);

} // namespace Zlib
