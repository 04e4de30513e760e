#include "catalogue/TulException.h"

#include "catalogue/LangMsg.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdlib>
#include <memory>

TulException::TulException(const QString &key)
    : m_msg(LangMsg::getMsg(key)), m_title(LangMsg::getMsg(QStringLiteral("Error")))
{
    m_what = m_msg.toUtf8();
}

TulException::TulException(const QString &key, const std::exception &cause)
    : m_msg(LangMsg::getMsg(key)), m_title(LangMsg::getMsg(QStringLiteral("Error")))
{
    takeCause(cause);
}

TulException::TulException(const QString &detail, const QString &key, const std::exception &cause)
    : m_msg(detail + QStringLiteral(": ") + LangMsg::getMsg(key)), m_title(LangMsg::getMsg(QStringLiteral("Error")))
{
    takeCause(cause);
}

void TulException::takeCause(const std::exception &cause)
{
    if (const auto *wrapped = dynamic_cast<const TulException *>(&cause)) {
        m_message = wrapped->getMessage();
        m_stackTrace = wrapped->getStackTrace();
    } else {
        const char *text = cause.what();
        if (text && *text)
            m_message = QString::fromLocal8Bit(text);
        // C++ exceptions carry no trace: take the stack where the failure is
        // wrapped, which is inside the handler of the failing operation.
        m_stackTrace = captureStackTrace(2);
    }
    m_what = m_msg.toUtf8();
}

namespace {
// "binary(mangled+0x1f) [0x...]" -> "demangled+0x1f (binary)"
QString readableFrame(const char *symbol)
{
    const QString raw = QString::fromLocal8Bit(symbol);
    const qsizetype open = raw.indexOf(u'(');
    const qsizetype plus = raw.indexOf(u'+', open);
    const qsizetype close = raw.indexOf(u')', open);
    if (open < 0 || close < 0)
        return raw;
    const QString binary = raw.left(open);
    QString name = raw.mid(open + 1, (plus > open && plus < close ? plus : close) - open - 1);
    const QString offset = plus > open && plus < close ? raw.mid(plus, close - plus) : QString();
    if (!name.isEmpty()) {
        int status = 0;
        std::unique_ptr<char, void (*)(void *)> demangled(
            abi::__cxa_demangle(name.toLocal8Bit().constData(), nullptr, nullptr, &status), std::free);
        if (status == 0 && demangled)
            name = QString::fromLocal8Bit(demangled.get());
    } else {
        name = QStringLiteral("??");
    }
    return QStringLiteral("at %1%2 (%3)").arg(name, offset, binary.section(u'/', -1));
}
} // namespace

QStringList TulException::captureStackTrace(int skipFrames)
{
    void *frames[64];
    const int count = backtrace(frames, 64);
    QStringList lines;
    std::unique_ptr<char *, void (*)(void *)> symbols(backtrace_symbols(frames, count), std::free);
    if (!symbols)
        return lines;
    for (int i = 1 + skipFrames; i < count; ++i)
        lines.append(readableFrame(symbols.get()[i]));
    return lines;
}
