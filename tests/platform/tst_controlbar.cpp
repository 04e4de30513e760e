// The small control bar under a picture: which buttons a playback state
// offers, and that each button's glyph can be seen on the bar's dark
// background (light while enabled, dim while disabled).

#include "platform/MiniControlBar.h"
#include "platform/MpvEngine.h"

#include <QApplication>
#include <QToolButton>
#include <QtTest>

namespace {

// The lightest channel value of any pixel inside a button.
int lightest(const QImage &bar, const QRect &button)
{
    int best = 0;
    for (int y = button.top(); y <= button.bottom(); ++y) {
        for (int x = button.left(); x <= button.right(); ++x) {
            const QRgb p = bar.pixel(x, y);
            best = qMax(best, qMax(qRed(p), qMax(qGreen(p), qBlue(p))));
        }
    }
    return best;
}

} // namespace

class TestControlBar : public QObject
{
    Q_OBJECT

private slots:
    void buttonsShowOnTheBar_data();
    void buttonsShowOnTheBar();
    void timeText_data();
    void timeText();
};

void TestControlBar::buttonsShowOnTheBar_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("play");
    QTest::addColumn<bool>("pause");
    QTest::addColumn<bool>("stop");
    QTest::newRow("nothing to play") << 0 << false << false << false;
    QTest::newRow("loading") << 1 << true << true << true;
    QTest::newRow("paused") << 2 << true << false << true;
    QTest::newRow("stopped with an address") << 3 << true << false << false;
}

void TestControlBar::buttonsShowOnTheBar()
{
    QFETCH(int, step);
    QFETCH(bool, play);
    QFETCH(bool, pause);
    QFETCH(bool, stop);
    // An engine whose core is not started keeps its state and its address.
    MpvEngine engine(MpvEngine::VideoOutput::None);
    if (step >= 1)
        QVERIFY(engine.load(QStringLiteral("http://127.0.0.1:9/media/clip.mp4")));
    if (step == 2)
        engine.pause();
    if (step == 3)
        engine.stop();

    MiniControlBar bar(&engine);
    bar.resize(240, 24);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCOMPARE(bar.playButton()->isEnabled(), play);
    QCOMPARE(bar.pauseButton()->isEnabled(), pause);
    QCOMPARE(bar.stopButton()->isEnabled(), stop);

    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = shot.devicePixelRatio();
    const QRgb background = shot.pixel(shot.width() - 2, 1);
    QVERIFY(qRed(background) < 0x40 && qGreen(background) < 0x40 && qBlue(background) < 0x40);
    for (QToolButton *button : {bar.playButton(), bar.pauseButton(), bar.stopButton()}) {
        const QRectF area(QPointF(button->geometry().topLeft()) * ratio, QSizeF(button->size()) * ratio);
        const int light = lightest(shot, area.toRect());
        if (button->isEnabled())
            QVERIFY2(light >= 0xc0, qPrintable(QStringLiteral("%1: %2").arg(button->toolTip()).arg(light)));
        else
            QVERIFY2(light > 0x40 && light < 0xa0, qPrintable(QStringLiteral("%1: %2").arg(button->toolTip()).arg(light)));
    }
}

void TestControlBar::timeText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << -1.0 << "--:--";
    QTest::newRow("zero") << 0.0 << "0:00";
    QTest::newRow("minutes") << 75.4 << "1:15";
    QTest::newRow("hours") << 3725.0 << "1:02:05";
}

void TestControlBar::timeText()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(MiniControlBar::formatTime(seconds), text);
}

QTEST_MAIN(TestControlBar)
#include "tst_controlbar.moc"
