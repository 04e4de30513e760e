// The window's looks as functions: placement by monitor count and size, the
// grey colour function, icon transparency, the row renderers and the column
// that grows with its table.
#include "window/Gui.h"
#include "window/RecordTable.h"

#include <QDirIterator>
#include <QImage>
#include <QtTest>

namespace {

StreamInfoPtr stream(const QString &name, const QString &format, int bitrate, const QString &url,
                     const QString &type = QStringLiteral("TV"))
{
    auto s = std::make_shared<StreamInfo>();
    s->setName(name);
    s->setFormat(format);
    s->setBitrate(bitrate);
    s->setUrl(url);
    s->setType(type);
    s->setCategory(QStringLiteral("News"));
    s->setCountry(QStringLiteral("Norway"));
    return s;
}

bool sameIcon(const QIcon &a, const QIcon &b)
{
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

} // namespace

class TestGuiLooks : public QObject
{
    Q_OBJECT

private slots:
    void initialBounds_data();
    void initialBounds();
    void constrainToWorkArea_data();
    void constrainToWorkArea();
    void lighterColor_data();
    void lighterColor();
    void iconTransparency();
    void resourceImages_data();
    void resourceImages();
    void streamRows_data();
    void streamRows();
    void stripesFollowRowIndex();
    void ppvRows();
    void favoriteRows_data();
    void favoriteRows();
    void resizeRule_data();
    void resizeRule();
    void resizeRuleOnTable();
};

void TestGuiLooks::initialBounds_data()
{
    QTest::addColumn<QRect>("display");
    QTest::addColumn<QRect>("primary");
    QTest::addColumn<int>("monitors");
    QTest::addColumn<QRect>("bounds");
    QTest::newRow("one monitor 1280x1024") << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1280, 1024) << 1
                                           << QRect(128, 128, 460, 744);
    QTest::newRow("one monitor 1024x768") << QRect(0, 0, 1024, 768) << QRect(0, 0, 1024, 768) << 1
                                          << QRect(0, 0, 460, 744);
    QTest::newRow("two monitors, primary 1920x1080")
        << QRect(0, 0, 3200, 1080) << QRect(0, 0, 1920, 1080) << 2 << QRect(448, 156, 1024, 768);
    QTest::newRow("width 1365") << QRect(0, 0, 1365, 1024) << QRect(0, 0, 1365, 1024) << 1
                                << QRect(170, 128, 460, 744);
    QTest::newRow("one monitor: the display's size counts") << QRect(0, 0, 1600, 1200) << QRect(0, 0, 800, 600)
                                                            << 1 << QRect(288, 216, 460, 744);
    QTest::newRow("odd size truncates") << QRect(0, 0, 1025, 769) << QRect(0, 0, 1025, 769) << 1
                                        << QRect(0, 0, 460, 744);
    QTest::newRow("origin of the monitor not added") << QRect(0, 0, 3000, 1000) << QRect(1000, 0, 1600, 900) << 3
                                                     << QRect(288, 66, 1024, 768);
    QTest::newRow("small monitor gives negative x") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << 1
                                                    << QRect(-112, -84, 460, 744);
}

void TestGuiLooks::initialBounds()
{
    QFETCH(QRect, display);
    QFETCH(QRect, primary);
    QFETCH(int, monitors);
    QFETCH(QRect, bounds);
    QCOMPARE(Gui::initialBounds(display, primary, monitors), bounds);
}

void TestGuiLooks::constrainToWorkArea_data()
{
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("workArea");
    QTest::addColumn<QRect>("result");
    QTest::newRow("fits") << QRect(128, 128, 460, 744) << QRect(0, 0, 1280, 1024) << QRect(128, 128, 460, 744);
    QTest::newRow("too tall: shrunk") << QRect(0, 0, 460, 744) << QRect(0, 0, 1024, 738) << QRect(0, 0, 460, 738);
    QTest::newRow("off the left: moved in") << QRect(-112, -84, 460, 744) << QRect(0, 0, 800, 600)
                                            << QRect(0, 0, 460, 600);
    QTest::newRow("past the right: moved back") << QRect(900, 10, 460, 500) << QRect(0, 0, 1280, 800)
                                                << QRect(820, 10, 460, 500);
    QTest::newRow("work area below a panel") << QRect(0, 0, 460, 700) << QRect(0, 30, 1280, 770)
                                             << QRect(0, 30, 460, 700);
}

void TestGuiLooks::constrainToWorkArea()
{
    QFETCH(QRect, bounds);
    QFETCH(QRect, workArea);
    QFETCH(QRect, result);
    QCOMPARE(Gui::constrainToWorkArea(bounds, workArea), result);
}

void TestGuiLooks::lighterColor_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("grey");
    QTest::newRow("(180,195,220) step 0") << QColor(180, 195, 220) << 0 << 198;
    QTest::newRow("(0,50,127) step 0") << QColor(0, 50, 127) << 0 << 59;
    QTest::newRow("(250,100,0) step 1: red capped") << QColor(250, 100, 0) << 1 << 128;
    QTest::newRow("(232,242,254) step 0") << QColor(232, 242, 254) << 0 << 242;
    QTest::newRow("white stays white") << QColor(255, 255, 255) << 3 << 255;
    QTest::newRow("black step 2") << QColor(0, 0, 0) << 2 << 30;
}

void TestGuiLooks::lighterColor()
{
    QFETCH(QColor, color);
    QFETCH(int, steps);
    QFETCH(int, grey);
    const QColor before = color;
    QCOMPARE(Gui::getLighterColor(color, steps), QColor(grey, grey, grey));
    QCOMPARE(color, before);
}

void TestGuiLooks::iconTransparency()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    image.setPixel(1, 1, qRgb(10, 20, 30));
    image.setPixel(2, 0, qRgb(255, 0, 254));
    const QImage result = Gui::keyTransparent(image);
    QCOMPARE(qAlpha(result.pixel(0, 2)), 0);
    QCOMPARE(qAlpha(result.pixel(3, 0)), 0);
    QCOMPARE(result.pixel(1, 1), qRgba(10, 20, 30, 255));
    // Only exactly the key colour goes.
    QCOMPARE(qAlpha(result.pixel(2, 0)), 255);
}

void TestGuiLooks::resourceImages_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name :
         {"TV32.ico", "TV24.ico", "TV16.ico", "search.ico", "fullscreen16.ico", "stop16.ico", "25latest.ico",
          "radio.ico", "movies.ico", "icecast.ico", "erotic.ico", "wmp.ico", "rm.ico", "qt.ico", "favorites.ico",
          "parental.ico", "play.ico", "playDisabled.ico", "stop.ico", "stopDisabled.ico", "pause.ico",
          "pauseDisabled.ico", "fullscreen.ico", "fullscreenDisabled.ico"})
        QTest::newRow(name) << QStringLiteral(":/images/") + QLatin1String(name);
}

void TestGuiLooks::resourceImages()
{
    QFETCH(QString, path);
    const QImage raw(path);
    QVERIFY2(!raw.isNull(), qPrintable(path));
    const QImage icon = Gui::loadIcon(path).toImage();
    QCOMPARE(icon.size(), raw.size());
    // The corner is the key colour: transparent, and something is drawn.
    QCOMPARE(qAlpha(icon.pixel(0, icon.height() - 1)), 0);
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            opaque += qAlpha(icon.pixel(x, y)) == 255;
    QVERIFY(opaque > icon.width() * icon.height() / 8);
}

void TestGuiLooks::streamRows_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("quality");
    QTest::addColumn<bool>("wmpIcon");
    QTest::addColumn<QColor>("foreground");
    QTest::newRow("128") << "WMP" << 128 << "http://a/b" << "128" << true << QColor(0, 0, 0);
    QTest::newRow("bit rate 0") << "WMP" << 0 << "http://a/b" << "N/A" << true << QColor(0, 0, 0);
    QTest::newRow("no address: grey") << "WMP" << 64 << "" << "64" << true << QColor(200, 200, 200);
    QTest::newRow("Icecast format") << "Icecast" << 96 << "http://a/b" << "96" << true << QColor(0, 0, 0);
    QTest::newRow("RealPlayer: no icon") << "RM" << 20 << "http://a/b" << "20" << false << QColor(0, 0, 0);
    QTest::newRow("QuickTime: no icon") << "QT" << 20 << "http://a/b" << "20" << false << QColor(0, 0, 0);
    QTest::newRow("no format") << "" << 20 << "http://a/b" << "20" << true << QColor(0, 0, 0);
}

void TestGuiLooks::streamRows()
{
    QFETCH(QString, format);
    QFETCH(int, bitrate);
    QFETCH(QString, url);
    QFETCH(QString, quality);
    QFETCH(bool, wmpIcon);
    QFETCH(QColor, foreground);
    StreamsTableLabelAndColorProvider provider;
    const StreamInfoPtr s = stream(QStringLiteral("Nordlys"), format, bitrate, url);
    QCOMPARE(provider.getColumnText(*s, 0), QStringLiteral(" Nordlys"));
    QCOMPARE(provider.getColumnText(*s, 1), QStringLiteral("News"));
    QCOMPARE(provider.getColumnText(*s, 2), QStringLiteral("Norway"));
    QCOMPARE(provider.getColumnText(*s, 3), quality);
    QCOMPARE(provider.getColumnText(*s, 4), QString());
    QCOMPARE(!provider.getColumnImage(*s, 0).isNull(), wmpIcon);
    QVERIFY(provider.getColumnImage(*s, 1).isNull());
    if (wmpIcon)
        QVERIFY(sameIcon(provider.getColumnImage(*s, 0), QIcon(Gui::loadIcon(QStringLiteral(":/images/wmp.ico")))));
    QCOMPARE(provider.getForeground(*s), foreground);
}

void TestGuiLooks::stripesFollowRowIndex()
{
    auto *model = new RecordTableModel({"Name"}, std::make_unique<StreamsTableLabelAndColorProvider>(), nullptr);
    std::unique_ptr<RecordTableModel> owner(model);
    std::vector<StreamInfoPtr> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back(stream(QStringLiteral("s%1").arg(i), QStringLiteral("WMP"), 1, QStringLiteral("u")));
    model->setInput(rows);
    const QColor white(255, 255, 255), grey(242, 242, 242);
    // Asked in any order, row i gets the colour of its index.
    for (int row : {5, 2, 2, 0, 3, 1, 4, 0}) {
        const QColor c = model->data(model->index(row, 0), Qt::BackgroundRole).value<QColor>();
        QCOMPARE(c, row % 2 == 0 ? white : grey);
    }
}

void TestGuiLooks::ppvRows()
{
    PPVTableLabelAndColorProvider provider;
    auto rented = std::make_shared<PPVStreamInfo>();
    rented->setName(QStringLiteral("Movie"));
    rented->setCategory(QStringLiteral("Drama"));
    rented->setLength(3725);
    rented->setBitrate(0);
    rented->setTimeLeft(100);
    auto expired = std::make_shared<PPVStreamInfo>();
    expired->setName(QStringLiteral("Old"));
    expired->setTimeLeft(0);
    QCOMPARE(provider.getColumnText(*rented, 0), QStringLiteral(" Movie"));
    QCOMPARE(provider.getColumnText(*rented, 1), QStringLiteral("Drama"));
    QCOMPARE(provider.getColumnText(*rented, 2), rented->getLength());
    QCOMPARE(provider.getColumnText(*rented, 3), QString());
    QCOMPARE(provider.getColumnText(*rented, 5), QStringLiteral("N/A"));
    QCOMPARE(provider.getForeground(*rented), QColor(0, 0, 0));
    QCOMPARE(provider.getForeground(*expired), QColor(100, 100, 100));
    QVERIFY(!provider.getColumnImage(*rented, 0).isNull());
    QVERIFY(provider.getColumnImage(*rented, 1).isNull());
    // Every other row keeps the table's own background.
    QVERIFY(!provider.getBackground(*rented, 0).isValid());
    QCOMPARE(provider.getBackground(*rented, 1), QColor(242, 242, 242));
}

void TestGuiLooks::favoriteRows_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("icon");
    QTest::newRow("catalogue stream") << "WMP" << "TV" << "TV" << ":/images/wmp.ico";
    QTest::newRow("Icecast entry") << "Icecast" << "" << "Icecast" << ":/images/wmp.ico";
    QTest::newRow("RealPlayer") << "RM" << "Radio" << "Radio" << ":/images/rm.ico";
    QTest::newRow("QuickTime") << "QT" << "Movie" << "Movie" << ":/images/qt.ico";
    QTest::newRow("other format") << "xyz" << "TV" << "TV" << ":/images/wmp.ico";
}

void TestGuiLooks::favoriteRows()
{
    QFETCH(QString, format);
    QFETCH(QString, type);
    QFETCH(QString, typeText);
    QFETCH(QString, icon);
    FavoritesTableLabelAndColorProvider provider;
    const StreamInfoPtr s = stream(QStringLiteral("Fav"), format, 1, QStringLiteral("u"), type);
    QCOMPARE(provider.getColumnText(*s, 0), QStringLiteral(" Fav"));
    QCOMPARE(provider.getColumnText(*s, 1), typeText);
    QVERIFY(sameIcon(provider.getColumnImage(*s, 0), QIcon(Gui::loadIcon(icon))));
    QVERIFY(provider.getColumnImage(*s, 1).isNull());
    QVERIFY(!provider.getForeground(*s).isValid());
    QVERIFY(!provider.getBackground(*s, 1).isValid());
}

void TestGuiLooks::resizeRule_data()
{
    QTest::addColumn<int>("tableWidth");
    QTest::addColumn<int>("subtracted");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("width");
    QTest::newRow("wide Tv table") << 800 << 263 + 15 << 110 << 522;
    QTest::newRow("narrow Tv table") << 300 << 263 + 15 << 110 << 110;
    QTest::newRow("exactly at the threshold") << 388 << 278 << 110 << 110;
    QTest::newRow("one above") << 389 << 278 << 110 << 111;
    QTest::newRow("favourites") << 120 << 60 + 15 << 90 << 90;
}

void TestGuiLooks::resizeRule()
{
    QFETCH(int, tableWidth);
    QFETCH(int, subtracted);
    QFETCH(int, threshold);
    QFETCH(int, width);
    QCOMPARE(ResizeColumnListener::columnWidth(tableWidth, subtracted, threshold), width);
}

void TestGuiLooks::resizeRuleOnTable()
{
    QTableView table;
    auto *model = new RecordTableModel({"Name", "Genre", "Country", "Quality"},
                                       std::make_unique<StreamsTableLabelAndColorProvider>(), &table);
    table.setModel(model);
    auto *rule = new ResizeColumnListener(&table, 0, 113 + 75 + 75, 110);
    table.resize(700, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QCOMPARE(table.columnWidth(0), 700 - rule->subtractedLength());
    table.resize(200, 300);
    QTRY_COMPARE(table.columnWidth(0), 110);
}

QTEST_MAIN(TestGuiLooks)
#include "tst_gui_looks.moc"
