// How long the window's UI thread goes without running its events while the
// catalogue loads: a 1 ms timer ticks on the UI thread during loads of a
// generated catalogue of 100,000 streams from the local reference service,
// and the longest gap between two ticks is printed (goal: under 100 ms).
#include "catalogue/Options.h"
#include "service/ReferenceService.h"
#include "window/Gui.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct LoadFigures
{
    double loadMs = 0;     // from the start of the load to its end on the UI thread
    double longestGap = 0; // longest gap between ticks, ms
    double p99Gap = 0;
    int ticks = 0;
};

// Runs one load (the start-up load, or a reload) and watches the ticks until
// it has ended and the window has settled.
LoadFigures watchLoad(Gui &gui, const std::function<void()> &start)
{
    LoadFigures figures;
    std::vector<double> gaps;
    QElapsedTimer clock;
    double last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        gaps.push_back(now - last);
        last = now;
    });
    bool ended = false;
    const QMetaObject::Connection done =
        QObject::connect(&gui, &Gui::loadFinished, [&] {
            figures.loadMs = clock.nsecsElapsed() / 1e6;
            ended = true;
        });
    clock.start();
    ticker.start();
    start();
    QElapsedTimer guard;
    guard.start();
    while (!ended && guard.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // The tasks the rebuild posted, and a little quiet time.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    ticker.stop();
    QObject::disconnect(done);
    if (!gaps.empty()) {
        figures.longestGap = *std::max_element(gaps.begin(), gaps.end());
        std::vector<double> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        figures.p99Gap = sorted[size_t(double(sorted.size() - 1) * 0.99)];
    }
    figures.ticks = int(gaps.size());
    if (!ended)
        std::printf("  (the load did not end within two minutes)\n");
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Options::resetToDefaults();
    Options::setMode(true);

    ReferenceService::Config config;
    config.logToStderr = false;
    ReferenceService service(config);
    if (!service.start()) {
        std::fprintf(stderr, "bench_ui_gaps: the reference service did not start\n");
        return 1;
    }
    const QByteArray host = service.hostPort().toUtf8();
    for (const char *name : {"QUORVANTEL_CATALOGUE_HOST", "QUORVANTEL_ORDER_HOST", "QUORVANTEL_FORUM_HOST",
                             "QUORVANTEL_MAKER_HOST", "QUORVANTEL_ICECAST_HOST"})
        qputenv(name, host);
    // The generated catalogue without a message of the day (a box would
    // stop the run).
    RefService::CatalogueInfo info;
    service.setCatalogue(RefService::catalogueDocument(RefService::generateCatalogueEntries(count, service.hostPort()), info));
    service.setCatalogueEncoding(RefService::Encoding::Gzip);
    service.setDirectoryCount(2000);

    Gui gui;
    gui.resize(1024, 768);
    // Any box that opens anyway is closed, and counted.
    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            ++boxes;
            w->close();
        }
    });
    closer.start(20);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::printf("UI-thread gaps while loading %d streams (1 ms timer on the UI thread)\n", count);
    std::printf("%-34s %10s %12s %12s %8s\n", "load", "load ms", "longest gap", "p99 gap", "ticks");
    struct Run
    {
        const char *name;
        std::function<void()> start;
    };
    const std::vector<Run> runs = {
        {"start-up load (download)", [&] { gui.open(true); }},
        {"reload, cache unchanged", [&] { gui.updateDatabase(); }},
        {"reload, new revision (download)",
         [&] {
             service.setRevision(2);
             gui.updateDatabase();
         }},
    };
    double worst = 0;
    for (const Run &run : runs) {
        const LoadFigures f = watchLoad(gui, run.start);
        worst = std::max(worst, f.longestGap);
        std::printf("%-34s %10.1f %9.1f ms %9.1f ms %8d\n", run.name, f.loadMs, f.longestGap, f.p99Gap, f.ticks);
    }
    std::printf("longest gap between two UI-thread ticks: %.1f ms (goal: under 100 ms) %s\n", worst,
                worst < 100 ? "OK" : "OVER");
    if (boxes)
        std::printf("(%d modal boxes were closed during the run)\n", boxes);
    gui.close();
    gui.shutdown();
    return 0;
}
