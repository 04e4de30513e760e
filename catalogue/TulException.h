#pragma once

#include <QString>
#include <QStringList>
#include <exception>

// The system's one error type: the user message (a bundle text, optionally
// after a detail text), a title, and the message and stack trace of the
// failure that caused it.
class TulException : public std::exception
{
public:
    // msg = text of key; no cause.
    explicit TulException(const QString &key);
    // msg = text of key; message and stack trace taken from the cause.
    TulException(const QString &key, const std::exception &cause);
    // msg = detail + ": " + text of key; message and trace from the cause.
    TulException(const QString &detail, const QString &key, const std::exception &cause);

    // The cause's stack trace, one readable line per frame; empty without a
    // cause.
    virtual QStringList getStackTrace() const { return m_stackTrace; }
    // The cause's message; a null text without a cause or when it had none.
    virtual QString getMessage() const { return m_message; }
    virtual QString getTitle() const { return m_title; }
    virtual QString getMsg() const { return m_msg; }

    const char *what() const noexcept override { return m_what.constData(); }

    // The current call stack, demangled, one line per frame (innermost
    // first), without the frames of the capture itself.
    static QStringList captureStackTrace(int skipFrames = 0);

private:
    void takeCause(const std::exception &cause);

    QString m_msg;
    QString m_title;
    QString m_message;
    QStringList m_stackTrace;
    QByteArray m_what;
};
