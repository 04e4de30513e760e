#include "window/GuiAction.h"

#include "catalogue/TulException.h"

#include <cstdio>
#include <typeinfo>

GuiAction::GuiAction(const QString &text, QObject *parent, Handler handler, bool checkable)
    : QAction(text, parent), m_handler(std::move(handler))
{
    setCheckable(checkable);
    connect(this, &QAction::triggered, this, [this] { run(); });
}

void GuiAction::run()
{
    ++m_runCount;
    if (!m_handler)
        return;
    try {
        m_handler();
    } catch (const std::exception &e) {
        printEscapedException(qPrintable(text().isEmpty() ? objectName() : text()), &e);
    } catch (...) {
        printEscapedException(qPrintable(text().isEmpty() ? objectName() : text()), nullptr);
    }
}

void printEscapedException(const char *where, const std::exception *error)
{
    if (error) {
        std::fprintf(stderr, "Exception in %s: %s: %s\n", where && *where ? where : "event handler",
                     typeid(*error).name(), error->what());
    } else {
        std::fprintf(stderr, "Exception in %s: unknown exception\n", where && *where ? where : "event handler");
    }
    for (const QString &frame : TulException::captureStackTrace(1))
        std::fprintf(stderr, "\tat %s\n", qPrintable(frame));
    std::fflush(stderr);
}
