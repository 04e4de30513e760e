// The answers of the service's servers to the broken-stream report, the
// stream suggestion and the tell-a-friend request, sent by a real server on
// the loopback interface. The first input byte picks how the rest is sent:
//   0: as the body of a well-formed "200 OK" answer;
//   1: as the body of an answer with a status picked by the second byte;
//   2: as the whole answer, status line and headers included (redirects to
//      other hosts removed, so nothing leaves this machine).
// The third byte picks the request. What must hold for any answer:
// - a request succeeds only when the body is exactly "OK" (and, for a
//   well-formed answer, always then), with a 2xx status; a raw answer that
//   is accepted holds an "O" and then a "K";
// - every failure is a TulException: "ERROR_SENDING" for a well-formed
//   answer, also "ConnectError" for the tell-a-friend request otherwise.

#include "catalogue/StreamsManager.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QByteArrayList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

class ReplyServer
{
public:
    ReplyServer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listen, 16) != 0) {
            std::perror("Cannot listen on the loopback interface");
            std::abort();
        }
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        std::thread([this] { serve(); }).detach();
    }

    int port() const { return m_port; }

    void setAnswer(const QByteArray &answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = answer;
    }

private:
    void serve()
    {
        for (;;) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0)
                continue;
            // Read the request head, then answer and close.
            QByteArray request;
            char buffer[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            QByteArray answer;
            {
                std::lock_guard lock(m_mutex);
                answer = m_answer;
            }
            qsizetype sent = 0;
            while (sent < answer.size()) {
                const ssize_t n = ::send(client, answer.constData() + sent, size_t(answer.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            ::shutdown(client, SHUT_WR);
            while (::recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            ::close(client);
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::mutex m_mutex;
    QByteArray m_answer;
};

ReplyServer *server = nullptr;

// The raw answer without header lines that send the client elsewhere.
QByteArray withoutLocation(const QByteArray &raw)
{
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    const QByteArray head = headEnd < 0 ? raw : raw.left(headEnd);
    QByteArrayList lines = head.split('\n');
    QByteArrayList kept;
    for (const QByteArray &line : lines) {
        if (line.trimmed().toLower().startsWith("location"))
            continue;
        kept.append(line);
    }
    QByteArray out = kept.join('\n');
    if (headEnd >= 0)
        out += raw.mid(headEnd);
    return out;
}

QByteArray answerWith(int status, const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    server = new ReplyServer;
    const QByteArray host = "127.0.0.1:" + QByteArray::number(server->port());
    ::setenv("QUORVANTEL_CATALOGUE_HOST", host.constData(), 1);
    ::setenv("QUORVANTEL_MAKER_HOST", host.constData(), 1);
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
    ::unsetenv("all_proxy");
    ::unsetenv("ALL_PROXY");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int mode = data[0] % 3;
    static const int statuses[] = {200, 201, 202, 203, 204, 206, 400, 401, 403, 404, 410, 500, 502, 503};
    const int status = statuses[data[1] % (sizeof statuses / sizeof statuses[0])];
    const int request = data[2] % 3;
    const QByteArray rest = fuzz::bytes(data + 3, size - 3);

    QByteArray answer;
    switch (mode) {
    case 0: answer = answerWith(200, rest); break;
    case 1: answer = answerWith(status, rest); break;
    default: answer = withoutLocation(rest); break;
    }
    server->setAnswer(answer);

    StreamsManager manager;
    bool succeeded = false;
    try {
        switch (request) {
        case 0: manager.reportBrokenLink(QStringLiteral("serial"), 42); break;
        case 1: {
            StreamInfo stream;
            stream.setName(QStringLiteral("Rock & Roll"));
            stream.setUrl(QStringLiteral("mms://127.0.0.1/x"));
            stream.setHomepageUrl(QStringLiteral("http://127.0.0.1/"));
            stream.setCategory(QStringLiteral("Music"));
            stream.setLanguage(QStringLiteral("English"));
            stream.setCountry(QStringLiteral("Norway"));
            stream.setFormat(QStringLiteral("WMP"));
            stream.setType(QStringLiteral("Radio"));
            stream.setBitrate(-1);
            manager.streamTips(stream);
            break;
        }
        default: manager.recruitPerson(QStringLiteral("serial"), QStringLiteral("a+b@example.org")); break;
        }
        succeeded = true;
    } catch (const TulException &e) {
        const bool sending = fuzz::hasKey(e, "ERROR_SENDING");
        const bool connect = fuzz::hasKey(e, "ConnectError");
        if (mode == 0)
            FUZZ_CHECK(sending, "a well-formed answer failed with \"%s\"", fuzz::show(e.getMsg()).c_str());
        else
            FUZZ_CHECK(sending || (connect && request == 2), "failed with \"%s\"", fuzz::show(e.getMsg()).c_str());
    }
    if (mode == 0)
        FUZZ_CHECK(succeeded == (rest == "OK"), "body \"%s\" %s", rest.constData(),
                   succeeded ? "accepted" : "refused");
    else if (mode == 1)
        FUZZ_CHECK(succeeded == (rest == "OK" && status < 300 && status != 204), "status %d body \"%s\" %s", status,
                   rest.constData(), succeeded ? "accepted" : "refused");
    else if (succeeded)
        // The body may come in chunks, so "O" and "K" need not be adjacent.
        FUZZ_CHECK(rest.indexOf('O') >= 0 && rest.indexOf('K', rest.indexOf('O')) >= 0,
                   "an answer without \"OK\" accepted");
    return 0;
}
