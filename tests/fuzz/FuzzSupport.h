#pragma once

// Helpers shared by the fuzz targets: checks that end the run with a
// readable message (libFuzzer then keeps the input as a crash artifact), a
// private working directory, and the error keys a TulException came from.

#include "catalogue/LangMsg.h"
#include "catalogue/TulException.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#define FUZZ_CHECK(condition, ...)                                                                                 \
    do {                                                                                                           \
        if (!(condition)) {                                                                                        \
            std::fprintf(stderr, "FUZZ CHECK FAILED at %s:%d: %s\n  ", __FILE__, __LINE__, #condition);            \
            std::fprintf(stderr, __VA_ARGS__);                                                                     \
            std::fputc('\n', stderr);                                                                              \
            std::abort();                                                                                          \
        }                                                                                                          \
    } while (0)

namespace fuzz {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline std::string show(const QString &text)
{
    return text.toStdString();
}

// Makes a fresh directory under the temporary directory the working
// directory of the process, for code that reads and writes there.
inline QString enterPrivateDirectory(const char *name)
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/qv-" + name + "-XXXXXX";
    const char *made = ::mkdtemp(pattern.data());
    if (!made || ::chdir(made) != 0) {
        std::perror("Cannot make the working directory");
        std::abort();
    }
    return QString::fromLocal8Bit(made);
}

inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write %s", qPrintable(path));
    FUZZ_CHECK(file.write(content) == content.size(), "short write to %s", qPrintable(path));
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Whether the exception's user message is the text of key (optionally after
// a detail and ": ").
inline bool hasKey(const TulException &e, const char *key, const QString &detail = QString())
{
    const QString text = LangMsg::getMsg(QString::fromLatin1(key));
    if (detail.isNull())
        return e.getMsg() == text;
    return e.getMsg() == detail + QStringLiteral(": ") + text;
}

// Characters a trimmed text may not start or end with.
inline bool isTrimmed(const QString &text)
{
    return text.isEmpty() || (text.front().unicode() > 32 && text.back().unicode() > 32);
}

} // namespace fuzz
