#include "catalogue/XmlEncoding.h"

#include <QtGlobal>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The value of the encoding declaration of an 8-bit document: body starts
// with "<?xml" and a blank, and the declaration ends in "?>". Nothing when
// there is no declaration, it names no encoding, or it is malformed (the
// parser then reports what is wrong).
std::optional<std::string> declaredEncoding(const QByteArray &body)
{
    // Long enough for any declaration that is not padded beyond reason.
    constexpr qsizetype maxDeclaration = 4096;
    if (body.size() < 6 || !body.startsWith("<?xml") || !isSpace(body[5]))
        return std::nullopt;
    const qsizetype close = body.indexOf("?>", 5);
    if (close < 0 || close > maxDeclaration)
        return std::nullopt;
    const char *p = body.constData() + 5;
    const char *end = body.constData() + close;
    // Pseudo-attributes: name = 'value' or name = "value".
    for (;;) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return std::nullopt;
        const char *name = p;
        while (p < end && isLetter(*p))
            ++p;
        const std::string key(name, size_t(p - name));
        while (p < end && isSpace(*p))
            ++p;
        if (key.empty() || p == end || *p != '=')
            return std::nullopt;
        ++p;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end || (*p != '"' && *p != '\''))
            return std::nullopt;
        const char quote = *p++;
        const char *value = p;
        while (p < end && *p != quote)
            ++p;
        if (p == end)
            return std::nullopt;
        if (key == "encoding")
            return std::string(value, size_t(p - value));
        ++p;
    }
}

// EncName of the XML recommendation: a letter, then letters, digits, ".",
// "_" and "-".
bool isEncodingName(const std::string &name)
{
    if (name.empty() || !isLetter(name[0]))
        return false;
    for (const char c : name)
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-')
            return false;
    return true;
}

// Encodings the parser decodes itself (ISO-8859-1 under the two names it
// knows), and those that 8-bit text cannot really be in, which it has always
// read as UTF-8: those documents are parsed as they come.
bool parserDecodes(const std::string &name)
{
    static const char *const names[] = {"UTF-8",    "UTF8",     "ISO-8859-1", "latin1",   "US-ASCII",
                                        "ASCII",    "UTF-16",   "UTF-16LE",   "UTF-16BE", "UTF-32",
                                        "UTF-32LE", "UTF-32BE", "UCS-2",      "UCS-4",    "ISO-10646-UCS-2",
                                        "ISO-10646-UCS-4"};
    for (const char *known : names)
        if (qstricmp(name.c_str(), known) == 0)
            return true;
    return false;
}

} // namespace

std::optional<QByteArray> utf8FromDeclaredEncoding(const QByteArray &body)
{
    const std::optional<std::string> encoding = declaredEncoding(body);
    if (!encoding || parserDecodes(*encoding))
        return std::nullopt;
    if (!isEncodingName(*encoding))
        throw std::runtime_error("\"" + encoding->substr(0, 64) + "\" is not the name of a character encoding");
    const iconv_t cd = iconv_open("UTF-8", encoding->c_str());
    if (cd == iconv_t(-1))
        throw std::runtime_error("Unknown character encoding \"" + *encoding + "\"");
    struct Close
    {
        iconv_t cd;
        ~Close() { iconv_close(cd); }
    } closer{cd};

    // A byte of the input gives at most three bytes of UTF-8 (the U+FFFD put
    // for a byte without a character too), and a few encodings give two
    // characters for one: the result is never larger than this.
    const qsizetype limit = body.size() * 4 + 16;
    QByteArray out;
    out.resize(std::min<qsizetype>(limit, body.size() + body.size() / 2 + 64));
    qsizetype written = 0;
    auto grow = [&] {
        if (out.size() >= limit)
            throw std::runtime_error("The converted document is larger than it can be");
        out.resize(std::min(limit, out.size() * 2));
    };
    char *in = const_cast<char *>(body.constData());
    size_t inLeft = size_t(body.size());
    while (inLeft > 0) {
        char *next = out.data() + written;
        size_t outLeft = size_t(out.size() - written);
        const size_t rc = iconv(cd, &in, &inLeft, &next, &outLeft);
        const int error = errno;
        written = next - out.constData();
        if (rc != size_t(-1))
            continue;
        if (error == E2BIG) {
            grow();
        } else if (error == EILSEQ || error == EINVAL) {
            // A byte sequence with no character, or one cut off at the end:
            // U+FFFD in its place, and on after its first byte.
            while (out.size() - written < 3)
                grow();
            std::memcpy(out.data() + written, "\xEF\xBF\xBD", 3);
            written += 3;
            ++in;
            --inLeft;
        } else {
            throw std::runtime_error("Cannot convert the document from " + *encoding + ": " + std::strerror(error));
        }
    }
    out.resize(written);
    return out;
}
