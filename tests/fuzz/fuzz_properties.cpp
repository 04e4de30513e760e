// The property form of the message bundle. What must hold for any bytes:
// - the parser never fails;
// - what it reads, written back in the property form with every special
//   character escaped, reads back to the same keys and texts;
// - CR LF, CR and LF line ends read the same.

#include "catalogue/LangMsg.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void appendEscaped(QByteArray &out, QChar c, bool isKey)
{
    static const char hex[] = "0123456789ABCDEF";
    const char16_t u = c.unicode();
    switch (u) {
    case u'\\': out += "\\\\"; return;
    case u'\t': out += "\\t"; return;
    case u'\n': out += "\\n"; return;
    case u'\r': out += "\\r"; return;
    case u'\f': out += "\\f"; return;
    case u' ': out += "\\ "; return;
    default: break;
    }
    if (isKey && (u == u'=' || u == u':' || u == u'#' || u == u'!')) {
        out += '\\';
        out += char(u);
        return;
    }
    if (u > 0xff) {
        out += "\\u";
        out += hex[(u >> 12) & 0xf];
        out += hex[(u >> 8) & 0xf];
        out += hex[(u >> 4) & 0xf];
        out += hex[u & 0xf];
        return;
    }
    out += char(u); // ISO-8859-1
}

QByteArray write(const QHash<QString, QString> &entries)
{
    QByteArray out;
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        for (QChar c : it.key())
            appendEscaped(out, c, true);
        out += " = ";
        for (QChar c : it.value())
            appendEscaped(out, c, false);
        out += "\r\n";
    }
    return out;
}

std::string sample(const QHash<QString, QString> &a, const QHash<QString, QString> &b)
{
    for (auto it = a.constBegin(); it != a.constEnd(); ++it) {
        if (!b.contains(it.key()))
            return "key \"" + it.key().toStdString() + "\" lost";
        if (b.value(it.key()) != it.value())
            return "key \"" + it.key().toStdString() + "\": \"" + it.value().toStdString() + "\" became \""
                   + b.value(it.key()).toStdString() + "\"";
    }
    for (auto it = b.constBegin(); it != b.constEnd(); ++it)
        if (!a.contains(it.key()))
            return "key \"" + it.key().toStdString() + "\" appeared";
    return "no difference";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QHash<QString, QString> entries = parseProperties(input);

    const QByteArray written = write(entries);
    const QHash<QString, QString> back = parseProperties(written);
    FUZZ_CHECK(back == entries, "written and read back: %s\n%s", sample(entries, back).c_str(), written.constData());

    // Every line end (CR LF, CR or LF) as LF.
    QByteArray lf;
    lf.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (input[i] == '\r') {
            lf += '\n';
            if (i + 1 < input.size() && input[i + 1] == '\n')
                ++i;
        } else {
            lf += input[i];
        }
    }
    const QHash<QString, QString> withLf = parseProperties(lf);
    FUZZ_CHECK(withLf == entries, "LF line ends: %s", sample(entries, withLf).c_str());
    return 0;
}
