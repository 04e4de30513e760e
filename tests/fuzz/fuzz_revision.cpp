// The revision text "cacheversion.txt": the revision is the last line of the
// body, a decimal integer with blanks around it allowed. What must hold for
// any bytes: the reader gives what a plain line reader and number reader
// give, and nothing (the caller keeps its stored revision) exactly when the
// last line is not a 32-bit decimal integer.

#include "catalogue/StreamsFetcher.h"
#include "tests/fuzz/FuzzSupport.h"

#include <string>

namespace {

std::optional<int> reference(const std::string &body)
{
    // Lines end in "\n", "\r" or "\r\n"; a body without lines reads as "0".
    std::string last = "0";
    size_t at = 0;
    bool any = false;
    while (at < body.size()) {
        size_t end = body.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = body.size();
        last = body.substr(at, end - at);
        any = true;
        at = end;
        if (at < body.size()) {
            at += (body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n') ? 2 : 1;
        }
    }
    (void)any;
    size_t b = 0, e = last.size();
    while (b < e && static_cast<unsigned char>(last[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(last[e - 1]) <= ' ')
        --e;
    std::string t = last.substr(b, e - b);
    if (t.empty())
        return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        i = 1;
        if (t.size() == 1)
            return std::nullopt;
    }
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return std::nullopt;
        v = v * 10 + (t[i] - '0');
        if (v > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return std::nullopt;
    return int(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const std::optional<int> got = StreamsFetcher::parseRevision(input);
    const std::optional<int> want = reference(input.toStdString());
    FUZZ_CHECK(got == want, "read %s, expected %s", got ? std::to_string(*got).c_str() : "nothing",
               want ? std::to_string(*want).c_str() : "nothing");
    return 0;
}
