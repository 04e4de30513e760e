// A catalogue download sent with Content-Encoding deflate: raw deflate data,
// or deflate data in a zlib wrapper as some servers send it. What must hold
// for any bytes:
// - data without a zlib header decodes exactly as raw deflate does in zlib,
//   and is refused exactly when zlib refuses it;
// - data with one decodes to what zlib gives for it read as wrapped or as
//   raw deflate, and is refused only when one of the two readings fails;
// - a body over the size limit is refused as too large;
// - the result does not depend on how the network cuts the body in chunks;
// - the decoded text is a catalogue or fails with "ParseError".

#include "catalogue/Http.h"
#include "catalogue/StreamsFetcher.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ZlibReference.h"

namespace {

constexpr qint64 LIMIT = 1 << 20;

bool looksZlibWrapped(const QByteArray &data)
{
    if (data.size() < 2)
        return false;
    const auto b0 = uchar(data[0]);
    const auto b1 = uchar(data[1]);
    return (b0 & 0x0f) == 8 && (b0 >> 4) <= 7 && ((b0 << 8) | b1) % 31 == 0;
}

struct Result
{
    std::optional<QByteArray> body;
    Http::HttpError::Kind kind = Http::HttpError::Kind::Decode;
    std::string message;
};

Result decode(const QByteArray &input, qsizetype chunk)
{
    Result r;
    try {
        r.body = Http::decodeBody(input, QStringLiteral("DeFlate"), LIMIT, chunk);
    } catch (const Http::HttpError &e) {
        r.kind = e.kind();
        r.message = e.what();
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    bool rawTooLarge = false, zlibTooLarge = false;
    qsizetype consumed = 0;
    const auto raw = fuzz::inflateOne(input, 0, -MAX_WBITS, LIMIT, rawTooLarge, consumed);
    const auto wrapped = fuzz::inflateOne(input, 0, MAX_WBITS, LIMIT, zlibTooLarge, consumed);
    const bool zlibHeader = looksZlibWrapped(input);

    const Result whole = decode(input, 0);
    if (!zlibHeader) {
        FUZZ_CHECK(whole.body.has_value() == raw.has_value(), "decoder %s raw deflate that zlib %s: %s",
                   whole.body ? "took" : "refused", raw ? "takes" : "refuses", whole.message.c_str());
        FUZZ_CHECK(!raw || *whole.body == *raw, "decoded %lld bytes, zlib %lld", qlonglong(whole.body->size()),
                   qlonglong(raw->size()));
        if (!whole.body)
            FUZZ_CHECK((whole.kind == Http::HttpError::Kind::TooLarge) == rawTooLarge, "failure kind %d: %s",
                       int(whole.kind), whole.message.c_str());
    } else if (whole.body) {
        FUZZ_CHECK((wrapped && *whole.body == *wrapped) || (raw && *whole.body == *raw),
                   "decoded %lld bytes that neither reading gives", qlonglong(whole.body->size()));
    } else {
        FUZZ_CHECK(!raw || !wrapped, "refused data both readings take: %s", whole.message.c_str());
    }

    // Network chunks do not change the result.
    for (const qsizetype chunk : {qsizetype(1), qsizetype(2 + qHash(input) % 61)}) {
        const Result chunked = decode(input, chunk);
        FUZZ_CHECK(chunked.body == whole.body && (whole.body || chunked.kind == whole.kind),
                   "chunks of %lld: %s, whole: %s", qlonglong(chunk),
                   chunked.body ? "decoded" : chunked.message.c_str(), whole.body ? "decoded" : whole.message.c_str());
    }

    if (whole.body) {
        StreamsFetcher fetcher;
        try {
            fetcher.parseDocument(*whole.body);
        } catch (const TulException &e) {
            FUZZ_CHECK(fuzz::hasKey(e, "ParseError"), "error \"%s\"", fuzz::show(e.getMsg()).c_str());
        }
    }
    return 0;
}
