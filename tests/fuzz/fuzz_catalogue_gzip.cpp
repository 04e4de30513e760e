// Gzip data: the cache file "data.dat" and a catalogue download sent with
// Content-Encoding gzip. What must hold for any bytes:
// - the cache decoder and the download decoder (whole, or fed in small
//   chunks as the network delivers it) decode exactly what zlib decodes,
//   member after member, and refuse exactly what it refuses, a body over the
//   size limit included;
// - reading the bytes as the cache file fails only with "data.dat" and
//   "FileNotFoundError" (not gzip) or "FileReadError" (not XML), as the
//   decoded text dictates.

#include "catalogue/Http.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/Zlib.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ZlibReference.h"

namespace {

constexpr qint64 LIMIT = 1 << 20;

void checkDownloadDecoder(const QByteArray &input, const std::optional<QByteArray> &expected, bool tooLarge,
                          qsizetype chunk)
{
    try {
        const QByteArray out = Http::decodeBody(input, QStringLiteral(" GZip "), LIMIT, chunk);
        FUZZ_CHECK(expected, "the download decoder (chunks of %lld) took data zlib refuses", qlonglong(chunk));
        FUZZ_CHECK(out == *expected, "the download decoder (chunks of %lld) gave %lld bytes, zlib %lld",
                   qlonglong(chunk), qlonglong(out.size()), qlonglong(expected->size()));
    } catch (const Http::HttpError &e) {
        FUZZ_CHECK(!expected, "the download decoder (chunks of %lld) refused good data: %s", qlonglong(chunk),
                   e.what());
        const auto kind = tooLarge ? Http::HttpError::Kind::TooLarge : Http::HttpError::Kind::Decode;
        FUZZ_CHECK(e.kind() == kind, "the download decoder (chunks of %lld) failed with kind %d: %s",
                   qlonglong(chunk), int(e.kind()), e.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::enterPrivateDirectory("gzip");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    bool tooLarge = false;
    const std::optional<QByteArray> expected = fuzz::gunzipAll(input, LIMIT, tooLarge);

    // The cache decoder.
    std::optional<QByteArray> cached;
    try {
        cached = Zlib::gzipDecompress(input, LIMIT);
    } catch (const std::runtime_error &) {
    }
    FUZZ_CHECK(cached.has_value() == expected.has_value(), "the cache decoder %s data zlib %s",
               cached ? "took" : "refused", expected ? "takes" : "refuses");
    FUZZ_CHECK(!cached || *cached == *expected, "the cache decoder gave %lld bytes, zlib %lld",
               qlonglong(cached->size()), qlonglong(expected->size()));

    // The download decoder, whole and in chunks.
    checkDownloadDecoder(input, expected, tooLarge, 0);
    checkDownloadDecoder(input, expected, tooLarge, 1);
    checkDownloadDecoder(input, expected, tooLarge, 2 + qsizetype(qHash(input) % 61));

    // The same bytes as the cache file.
    fuzz::writeFile(QStringLiteral("data.dat"), input);
    StreamsFetcher fetcher;
    fetcher.setMaxCatalogueBytes(LIMIT);
    bool parsed = false;
    try {
        fetcher.openGZipFile(QStringLiteral("data.dat"));
        parsed = true;
        FUZZ_CHECK(expected, "a cache file that is not gzip was read");
    } catch (const TulException &e) {
        if (!expected) {
            FUZZ_CHECK(fuzz::hasKey(e, "FileNotFoundError", QStringLiteral("data.dat")), "error \"%s\"",
                       fuzz::show(e.getMsg()).c_str());
        } else {
            FUZZ_CHECK(fuzz::hasKey(e, "FileReadError", QStringLiteral("data.dat")), "error \"%s\"",
                       fuzz::show(e.getMsg()).c_str());
        }
    }
    if (expected) {
        StreamsFetcher other;
        bool parsedPlain = false;
        try {
            other.parseDocument(*expected);
            parsedPlain = true;
        } catch (const TulException &e) {
            FUZZ_CHECK(fuzz::hasKey(e, "ParseError"), "error \"%s\"", fuzz::show(e.getMsg()).c_str());
        }
        FUZZ_CHECK(parsed == parsedPlain, "the cache file parsed %d, its text %d", parsed, parsedPlain);
    }
    return 0;
}
