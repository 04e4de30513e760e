// The control host: registry, sites, automation names and the two player
// controls over the media engine (offscreen: the engine decodes without a
// picture).

#include "platform/MediaControls.h"
#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"
#include "platform/MpvWidget.h"
#include "platform/OleFrame.h"
#include "tests/platform/TestMedia.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {
const QString kRealPlayer = QStringLiteral("rmocx.RealPlayer G2 Control.1");
const QString kQuickTime = QStringLiteral("QuickTime.QuickTime");
} // namespace

class TestOle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void variantConversions_data();
    void variantConversions();
    void registryHoldsThePlayers();
    void unknownProgIdFails();
    void failingFactoryFails_data();
    void failingFactoryFails();
    void engineThatCannotStartFails_data();
    void engineThatCannotStartFails();
    void knownNames_data();
    void knownNames();
    void unknownNames_data();
    void unknownNames();
    void membersByKind();
    void verbs();
    void automationOutlivingItsSite();
    void realPlayerPlays();
    void realPlayerWithoutAutoStartWaitsForPlay();
    void realPlayerArguments();
    void realPlayerControlsProperty();
    void realPlayerFullScreen();
    void quickTimePlays();
    void quickTimeArguments();
    void refusedSourceReportsFailure();

private:
    // A frame with one site of the given control.
    struct Host
    {
        std::unique_ptr<QWidget> window;
        OleFrame *frame = nullptr;
        OleControlSite *site = nullptr;
        EngineControl *control() const { return static_cast<EngineControl *>(site->control()); }
        MpvEngine *engine() const { return control()->video()->engine(); }
    };
    Host makeHost(const QString &progId);
    static int id(OleAutomation &automation, const QString &name);

    QTemporaryDir m_dir;
    QString m_clip;
    TestMedia::Server m_server;
};

void TestOle::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = TestMedia::makeClip(m_dir.path(), 2.0);
    QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    QVERIFY(m_server.start(m_dir.path()));
    MpvEngine::setAudioOutput(QStringLiteral("null"));
    QCOMPARE(MpvWidget::defaultMode(), MpvWidget::Mode::Headless);
}

void TestOle::init()
{
    OleControlRegistry::restoreDefaults();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
}

void TestOle::cleanup()
{
    OleControlRegistry::restoreDefaults();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
}

TestOle::Host TestOle::makeHost(const QString &progId)
{
    Host host;
    host.window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(host.window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    host.frame = new OleFrame(host.window.get());
    layout->addWidget(host.frame);
    host.site = new OleControlSite(host.frame, 0, progId);
    host.window->resize(320, 260);
    host.window->show();
    return host;
}

int TestOle::id(OleAutomation &automation, const QString &name)
{
    const auto ids = automation.getIDsOfNames({name});
    return ids ? ids->first() : -1;
}

void TestOle::variantConversions_data()
{
    QTest::addColumn<Variant>("value");
    QTest::addColumn<bool>("boolOk");
    QTest::addColumn<bool>("boolValue");
    QTest::addColumn<bool>("stringOk");
    QTest::addColumn<QString>("stringValue");
    QTest::newRow("true") << Variant(true) << true << true << true << QStringLiteral("True");
    QTest::newRow("false") << Variant(false) << true << false << true << QStringLiteral("False");
    QTest::newRow("int") << Variant(7) << true << true << true << QStringLiteral("7");
    QTest::newRow("zero") << Variant(0) << true << false << true << QStringLiteral("0");
    QTest::newRow("text true") << Variant("TRUE") << true << true << true << QStringLiteral("TRUE");
    QTest::newRow("text -1") << Variant("-1") << true << true << true << QStringLiteral("-1");
    QTest::newRow("text other") << Variant("ImageWindow") << false << false << true << QStringLiteral("ImageWindow");
    QTest::newRow("empty") << Variant() << false << false << false << QString();
}

void TestOle::variantConversions()
{
    QFETCH(Variant, value);
    QFETCH(bool, boolOk);
    QFETCH(bool, boolValue);
    QFETCH(bool, stringOk);
    QFETCH(QString, stringValue);
    bool ok = !boolOk;
    QCOMPARE(value.getBoolean(&ok), boolValue);
    QCOMPARE(ok, boolOk);
    ok = !stringOk;
    QCOMPARE(value.getString(&ok), stringValue);
    QCOMPARE(ok, stringOk);
    QCOMPARE(Variant(true).getInt(), -1);
    QVERIFY(Variant(1) != Variant(true));
    QVERIFY(Variant("a") == Variant(QStringLiteral("a")));
}

void TestOle::registryHoldsThePlayers()
{
    QVERIFY(OleControlRegistry::isRegistered(kRealPlayer));
    QVERIFY(OleControlRegistry::isRegistered(kQuickTime));
    QVERIFY(OleControlRegistry::isRegistered(QStringLiteral("quicktime.quicktime")));
    QVERIFY(!OleControlRegistry::isRegistered(QStringLiteral("WMPlayer.OCX")));
    QCOMPARE(OleControlRegistry::progIds(), QStringList({kQuickTime, kRealPlayer}));
    QVERIFY(OleControlRegistry::unregisterControl(kQuickTime));
    QVERIFY(!OleControlRegistry::isRegistered(kQuickTime));
    OleControlRegistry::restoreDefaults();
    QVERIFY(OleControlRegistry::isRegistered(kQuickTime));
}

void TestOle::unknownProgIdFails()
{
    QWidget window;
    auto *frame = new OleFrame(&window);
    try {
        new OleControlSite(frame, 0, QStringLiteral("rmocx.RealPlayer G2 Control.2"));
        QFAIL("a site for an unknown ProgID was made");
    } catch (const OleError &e) {
        QCOMPARE(e.code(), Ole::REGDB_E_CLASSNOTREG);
        QVERIFY(QString::fromStdString(e.what()).contains(QLatin1String("rmocx.RealPlayer G2 Control.2")));
    }
    QVERIFY(frame->findChildren<QWidget *>().isEmpty());
    QCOMPARE(frame->layout()->count(), 0);
}

void TestOle::failingFactoryFails_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("throws OleError") << 0;
    QTest::newRow("throws another exception") << 1;
    QTest::newRow("gives nothing") << 2;
}

void TestOle::failingFactoryFails()
{
    QFETCH(int, how);
    OleControlRegistry::registerControl(kRealPlayer, [how](QWidget *site) -> std::unique_ptr<OleControl> {
        new QWidget(site); // what a control made before it failed
        if (how == 0)
            throw OleError(Ole::E_FAIL, QStringLiteral("no device"));
        if (how == 1)
            throw std::runtime_error("broken installation");
        return nullptr;
    });
    QWidget window;
    auto *frame = new OleFrame(&window);
    bool failed = false;
    try {
        new OleControlSite(frame, 0, kRealPlayer);
    } catch (const OleError &e) {
        failed = true;
        QCOMPARE(e.code(), Ole::E_FAIL);
    }
    QVERIFY(failed);
    QVERIFY(frame->findChildren<QWidget *>().isEmpty());
}

void TestOle::engineThatCannotStartFails_data()
{
    QTest::addColumn<QString>("progId");
    QTest::newRow("RealPlayer") << kRealPlayer;
    QTest::newRow("QuickTime") << kQuickTime;
}

void TestOle::engineThatCannotStartFails()
{
    QFETCH(QString, progId);
    qputenv("QUORVANTEL_MPV_DISABLE", "1");
    QWidget window;
    auto *frame = new OleFrame(&window);
    try {
        new OleControlSite(frame, 0, progId);
        QFAIL("a control without its engine was made");
    } catch (const OleError &e) {
        QCOMPARE(e.code(), Ole::E_FAIL);
        QVERIFY2(QString::fromStdString(e.what()).contains(QLatin1String("switched off")), e.what());
    }
    QVERIFY(frame->findChildren<QWidget *>().isEmpty());
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    // The same control starts once the engine can.
    Host host = makeHost(progId);
    QVERIFY(host.site->control());
}

void TestOle::knownNames_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("name");
    for (const char *name : {"AutoStart", "Controls", "SetMaintainAspect", "Source", "DoPlay", "DoStop", "DoPause",
                             "CanStop", "GetFullScreen", "SetFullScreen", "SetOriginalSize", "source", "DOPLAY"})
        QTest::addRow("RealPlayer %s", name) << kRealPlayer << QString::fromLatin1(name);
    for (const char *name : {"Play", "Stop", "SetURL", "seturl"})
        QTest::addRow("QuickTime %s", name) << kQuickTime << QString::fromLatin1(name);
}

void TestOle::knownNames()
{
    QFETCH(QString, progId);
    QFETCH(QString, name);
    Host host = makeHost(progId);
    OleAutomation automation(host.site);
    const auto ids = automation.getIDsOfNames({name});
    QVERIFY(ids.has_value());
    QCOMPARE(ids->size(), 1);
    // Any case gives the same member.
    QCOMPARE(automation.getIDsOfNames({name.toUpper()})->first(), ids->first());
}

void TestOle::unknownNames_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("RealPlayer Pause") << kRealPlayer << QStringList{QStringLiteral("Pause")};
    QTest::newRow("RealPlayer SetURL") << kRealPlayer << QStringList{QStringLiteral("SetURL")};
    QTest::newRow("QuickTime Pause") << kQuickTime << QStringList{QStringLiteral("Pause")};
    QTest::newRow("QuickTime DoPlay") << kQuickTime << QStringList{QStringLiteral("DoPlay")};
    QTest::newRow("QuickTime GetFullScreen") << kQuickTime << QStringList{QStringLiteral("GetFullScreen")};
    QTest::newRow("empty name") << kQuickTime << QStringList{QString()};
    QTest::newRow("no names") << kQuickTime << QStringList{};
    QTest::newRow("named argument") << kQuickTime << QStringList{QStringLiteral("SetURL"), QStringLiteral("url")};
}

void TestOle::unknownNames()
{
    QFETCH(QString, progId);
    QFETCH(QStringList, names);
    Host host = makeHost(progId);
    OleAutomation automation(host.site);
    QVERIFY(!automation.getIDsOfNames(names).has_value());
    // An identifier nobody handed out fails too.
    QVERIFY(!automation.invoke(99999).has_value());
    QVERIFY(!automation.setProperty(99999, Variant(true)));
    QVERIFY(!automation.getProperty(99999).has_value());
}

void TestOle::membersByKind()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    const int autoStart = id(automation, QStringLiteral("AutoStart"));
    const int doStop = id(automation, QStringLiteral("DoStop"));
    // A property is not a method, nor the other way round.
    QVERIFY(!automation.invoke(autoStart).has_value());
    QVERIFY(!automation.setProperty(doStop, Variant(true)));
    QVERIFY(!automation.getProperty(doStop).has_value());
    QVERIFY(automation.setProperty(autoStart, Variant(true)));
    QCOMPARE(*automation.getProperty(autoStart), Variant(true));
    QVERIFY(!automation.setProperty(autoStart, Variant("maybe")));
    QCOMPARE(*automation.getProperty(autoStart), Variant(true));
    QCOMPARE(*automation.invoke(doStop), Variant());
}

void TestOle::verbs()
{
    Host host = makeHost(kQuickTime);
    QWidget *widget = host.control()->widget();
    QCOMPARE(host.site->doVerb(Ole::OLEIVERB_HIDE), Ole::S_OK);
    QVERIFY(widget->isHidden());
    QCOMPARE(host.site->doVerb(Ole::OLEIVERB_SHOW), Ole::S_OK);
    QVERIFY(widget->isVisible());
    QCOMPARE(host.site->doVerb(7), Ole::E_NOTIMPL);
    QCOMPARE(host.site->progId(), kQuickTime);
    QCOMPARE(host.frame->layout()->indexOf(host.site), 0);
}

void TestOle::automationOutlivingItsSite()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    const int canStop = id(automation, QStringLiteral("CanStop"));
    QVERIFY(canStop >= 0);
    delete host.site;
    host.site = nullptr;
    QVERIFY(!automation.getIDsOfNames({QStringLiteral("CanStop")}).has_value());
    QVERIFY(!automation.invoke(canStop).has_value());
    OleAutomation disposed(nullptr);
    disposed.dispose();
    QVERIFY(!disposed.getIDsOfNames({QStringLiteral("CanStop")}).has_value());
}

void TestOle::realPlayerPlays()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("AutoStart")), Variant(true)));
    const int canStop = id(automation, QStringLiteral("CanStop"));
    QCOMPARE(*automation.invoke(canStop), Variant(false));
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("Source")),
                                   Variant(m_server.url(QStringLiteral("/media/") + m_clip))));
    QCOMPARE(*automation.invoke(canStop), Variant(true));
    MpvEngine *engine = host.engine();
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);

    automation.invoke(id(automation, QStringLiteral("DoPause")));
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isPaused(), 5000);
    QCOMPARE(*automation.invoke(canStop), Variant(true));
    automation.invoke(id(automation, QStringLiteral("DoPlay")));
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    QTRY_VERIFY_WITH_TIMEOUT(!engine->isPaused(), 5000);
    automation.invoke(id(automation, QStringLiteral("DoStop")));
    QCOMPARE(*automation.invoke(canStop), Variant(false));
    QTRY_VERIFY_WITH_TIMEOUT(engine->isIdle(), 5000);
    // Play after stop opens the source again.
    automation.invoke(id(automation, QStringLiteral("DoPlay")));
    QCOMPARE(*automation.invoke(canStop), Variant(true));
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), MpvEngine::State::Playing, 10000);
    QCOMPARE(*automation.getProperty(id(automation, QStringLiteral("Source"))),
             Variant(m_server.url(QStringLiteral("/media/") + m_clip)));
}

void TestOle::realPlayerWithoutAutoStartWaitsForPlay()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    QCOMPARE(*automation.getProperty(id(automation, QStringLiteral("AutoStart"))), Variant(false));
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("Source")),
                                   Variant(m_server.url(QStringLiteral("/media/") + m_clip))));
    QCOMPARE(host.engine()->state(), MpvEngine::State::Stopped);
    QCOMPARE(*automation.invoke(id(automation, QStringLiteral("CanStop"))), Variant(false));
    QVERIFY(automation.invoke(id(automation, QStringLiteral("DoPlay"))).has_value());
    QTRY_COMPARE_WITH_TIMEOUT(host.engine()->state(), MpvEngine::State::Playing, 10000);
}

void TestOle::realPlayerArguments()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    const int aspect = id(automation, QStringLiteral("SetMaintainAspect"));
    QVERIFY(!automation.invoke(aspect).has_value());
    QVERIFY(!automation.invoke(aspect, {Variant(true), Variant(true)}).has_value());
    QVERIFY(!automation.invoke(aspect, {Variant("sideways")}).has_value());
    QCOMPARE(*automation.invoke(aspect, {Variant(true)}), Variant());
    QVERIFY(!automation.invoke(id(automation, QStringLiteral("DoStop")), {Variant(1)}).has_value());
    // Nothing to play yet.
    QVERIFY(!automation.invoke(id(automation, QStringLiteral("DoPlay"))).has_value());
}

void TestOle::realPlayerControlsProperty()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    const int controls = id(automation, QStringLiteral("Controls"));
    QVERIFY(host.control()->controlBar()->isVisible());
    QVERIFY(automation.setProperty(controls, Variant("ImageWindow")));
    QVERIFY(host.control()->controlBar()->isHidden());
    QCOMPARE(*automation.getProperty(controls), Variant("ImageWindow"));
    QVERIFY(automation.setProperty(controls, Variant("All")));
    QVERIFY(host.control()->controlBar()->isVisible());
}

void TestOle::realPlayerFullScreen()
{
    Host host = makeHost(kRealPlayer);
    OleAutomation automation(host.site);
    const int get = id(automation, QStringLiteral("GetFullScreen"));
    QCOMPARE(*automation.invoke(get), Variant(false));
    QCOMPARE(*automation.invoke(id(automation, QStringLiteral("SetFullScreen"))), Variant());
    QCOMPARE(*automation.invoke(get), Variant(true));
    QVERIFY(host.control()->video()->window() != host.window.get());
    QCOMPARE(*automation.invoke(id(automation, QStringLiteral("SetOriginalSize"))), Variant());
    QCOMPARE(*automation.invoke(get), Variant(false));
    QVERIFY(host.control()->video()->window() == host.window.get());
}

void TestOle::quickTimePlays()
{
    Host host = makeHost(kQuickTime);
    OleAutomation automation(host.site);
    MpvEngine *engine = host.engine();
    QCOMPARE(*automation.invoke(id(automation, QStringLiteral("SetURL")),
                                {Variant(m_server.url(QStringLiteral("/media/") + m_clip))}),
             Variant());
    QTRY_VERIFY_WITH_TIMEOUT(engine->timePos() > 0.3, 10000);
    // Stop halts where it is; Play goes on from there.
    automation.invoke(id(automation, QStringLiteral("Stop")));
    QCOMPARE(engine->state(), MpvEngine::State::Paused);
    QTRY_VERIFY_WITH_TIMEOUT(engine->isPaused(), 5000);
    QVERIFY(engine->timePos() > 0.3);
    automation.invoke(id(automation, QStringLiteral("Play")));
    QCOMPARE(engine->state(), MpvEngine::State::Playing);
    QTRY_VERIFY_WITH_TIMEOUT(!engine->isPaused(), 5000);
}

void TestOle::quickTimeArguments()
{
    Host host = makeHost(kQuickTime);
    OleAutomation automation(host.site);
    const int setUrl = id(automation, QStringLiteral("SetURL"));
    QVERIFY(!automation.invoke(setUrl).has_value());
    QVERIFY(!automation.invoke(setUrl, {Variant()}).has_value());
    QVERIFY(!automation.invoke(id(automation, QStringLiteral("Play")), {Variant(1)}).has_value());
    QCOMPARE(host.engine()->state(), MpvEngine::State::Stopped);
}

void TestOle::refusedSourceReportsFailure()
{
    Host host = makeHost(kRealPlayer);
    QSignalSpy failed(host.site, &OleControlSite::playbackFailed);
    OleAutomation automation(host.site);
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("AutoStart")), Variant(true)));
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("Source")), Variant("file:///etc/passwd")));
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().at(0).toString().startsWith(QLatin1String("Could not play the stream")));
    QCOMPARE(*automation.invoke(id(automation, QStringLiteral("CanStop"))), Variant(false));
    QSignalSpy missing(host.site, &OleControlSite::playbackFailed);
    QVERIFY(automation.setProperty(id(automation, QStringLiteral("Source")), Variant(m_server.url(QStringLiteral("/gone.mp4")))));
    QTRY_COMPARE_WITH_TIMEOUT(missing.count(), 1, 10000);
    QVERIFY(missing.first().at(0).toString().contains(QLatin1String("loading failed")));
    QCOMPARE(host.control()->video()->message(), missing.first().at(0).toString());
}

QTEST_MAIN(TestOle)
#include "tst_ole.moc"
