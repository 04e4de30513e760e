#include "window/Application.h"

#include "window/GuiAction.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int END_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

// The socket pair from the signal handler to the event loop: the handler
// writes a byte into [1], the event loop reads [0]. Both ends never block,
// so a burst of signals cannot stop the handler.
int endSignalSockets[2] = {-1, -1};
bool caught[3] = {false, false, false};

void onEndSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(endSignalSockets[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        printEscapedException("event loop", &e);
    } catch (...) {
        printEscapedException("event loop", nullptr);
    }
    return false;
}

void Application::catchEndSignals()
{
    if (m_endNotifier)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, endSignalSockets) != 0) {
        std::perror("Cannot take in the end signals");
        return;
    }
    m_endNotifier = new QSocketNotifier(endSignalSockets[0], QSocketNotifier::Read, this);
    connect(m_endNotifier, &QSocketNotifier::activated, this, &Application::takeEndSignal);
    for (int i = 0; i < 3; ++i) {
        struct sigaction old{};
        if (::sigaction(END_SIGNALS[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action{};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        caught[i] = ::sigaction(END_SIGNALS[i], &action, nullptr) == 0;
    }
}

void Application::takeEndSignal()
{
    char bytes[64];
    while (::read(endSignalSockets[0], bytes, sizeof bytes) > 0) {
    }
    if (m_endSignalled)
        return;
    m_endSignalled = true;
    for (int i = 0; i < 3; ++i)
        if (caught[i])
            std::signal(END_SIGNALS[i], SIG_DFL);
    emit endRequested();
}
