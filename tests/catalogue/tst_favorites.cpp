#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <memory>
#include <zlib.h>

namespace {

const int REVISION = 31;

struct Stream
{
    int id;
    QString name;
    bool adult = false;
};

// A catalogue document with the given streams, all in the player format the
// catalogue keeps.
QByteArray catalogue(const QList<Stream> &streams)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Catalogue><Streams>";
    for (const Stream &s : streams) {
        xml += "<Stream id=\"" + QByteArray::number(s.id) + "\" adult=\"" + (s.adult ? "true" : "false")
            + "\" topstream=\"false\"><Name>" + s.name.toUtf8()
            + "</Name><Language>English</Language><Country>Norway</Country><Bitrate>300</Bitrate>"
              "<Format>WMP</Format><Type>"
            + (s.adult ? "Erotic" : "TV") + "</Type><Live>True</Live><Category>News</Category>"
            + "<Url>mms://127.0.0.1/" + QByteArray::number(s.id) + "</Url></Stream>";
    }
    return xml + "</Streams></Catalogue>";
}

bool writeGzip(const QString &path, const QByteArray &bytes)
{
    gzFile out = gzopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    const bool ok = gzwrite(out, bytes.constData(), unsigned(bytes.size())) == int(bytes.size());
    return gzclose(out) == Z_OK && ok;
}

// The "Favorites" section of a written settings file.
QByteArray favoritesSection(const QByteArray &file)
{
    const qsizetype begin = file.indexOf("<Favorites");
    const qsizetype end = file.indexOf("</Settings>");
    return begin < 0 || end < 0 ? QByteArray() : file.mid(begin, end - begin);
}

QByteArray settingsWith(const QByteArray &favorites, const QByteArray &mode = "<Mode>true</Mode>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings><Options><Serial/>"
           "<UpdateEnabled>true</UpdateEnabled>"
        + mode + "<UserWizardEnabled>true</UserWizardEnabled><CacheRevision>" + QByteArray::number(REVISION)
        + "</CacheRevision><Password/><Language>en</Language></Options><Favorites>" + favorites
        + "</Favorites></Settings>\n";
}

QByteArray catalogueEntry(int index, int id, const QByteArray &name = "x", bool adult = false)
{
    return "<Entry index=\"" + QByteArray::number(index) + "\" format=\"WMP\"><StreamId>" + QByteArray::number(id)
        + "</StreamId><Name>" + name + "</Name><Adult>" + (adult ? "true" : "false") + "</Adult></Entry>";
}

QByteArray icecastEntry(int index, const QByteArray &name, int bitrate = 128)
{
    return "<Entry index=\"" + QByteArray::number(index) + "\" format=\"Icecast\"><StreamId>0</StreamId><Name>"
        + name + "</Name><Adult>false</Adult><Bitrate>" + QByteArray::number(bitrate)
        + "</Bitrate><Url>http://127.0.0.1:8000/" + name + "</Url></Entry>";
}

QStringList names(const std::optional<std::vector<StreamInfoPtr>> &list)
{
    QStringList out;
    if (list) {
        for (const StreamInfoPtr &s : *list)
            out << s->getName();
    }
    return out;
}

StreamInfoPtr icecast(const QString &name)
{
    auto s = std::make_shared<StreamInfo>();
    s->setName(name);
    s->setFormat("Icecast");
    s->setBitrate(64);
    s->setUrl("http://127.0.0.1:8000/" + name);
    return s;
}

StreamInfoPtr stream(int id, const QString &name)
{
    auto s = std::make_shared<StreamInfo>();
    s->setId(id);
    s->setName(name);
    s->setFormat("WMP");
    return s;
}

} // namespace

class TestFavorites : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
    std::unique_ptr<StreamsManager> m_manager;

    QString path(const char *name) const { return m_dir->filePath(QString::fromLatin1(name)); }

    // Start-up as the window does it: read the file, make the manager, apply
    // the mode, load the catalogue from the cache file.
    void start(const QByteArray &settings, const QList<Stream> &streams, bool adultVisible = true)
    {
        QVERIFY(writeAll(path("options.xml"), settings));
        QVERIFY(writeGzip(path("data.dat"), catalogue(streams)));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getCacheRevision(), REVISION);
        m_manager = std::make_unique<StreamsManager>();
        m_manager->setAdultVisible(adultVisible);
        Options::readFromDisk(m_manager.get(), nullptr, false, false);
        load();
    }

    void load()
    {
        QVERIFY(m_manager->fetchStreams());
        QCOMPARE(Options::getCacheRevision(), REVISION); // read from the cache, not downloaded
    }

    // A new run over the file the last one wrote.
    void restart(const QList<Stream> &streams, bool adultVisible = true)
    {
        QVERIFY(Options::writeToDisk());
        const QByteArray written = readAll(path("options.xml"));
        Options::resetToDefaults();
        m_manager.reset();
        start(written, streams, adultVisible);
    }

private slots:
    void initTestCase()
    {
        m_oldCurrent = QDir::currentPath();
        // Nothing listens there: the revision check falls back to the stored
        // revision and the catalogue comes from "data.dat".
        qputenv("QUORVANTEL_CATALOGUE_HOST", closedHost());
    }

    void init()
    {
        Options::resetToDefaults();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        Options::resetToDefaults();
        m_manager.reset();
        QDir::setCurrent(m_oldCurrent);
        m_dir.reset();
    }

    void roundTripKeepsMissingFavourites()
    {
        const QByteArray stored = catalogueEntry(0, 10, "Ten") + icecastEntry(1, "Jazz")
            + catalogueEntry(2, 99, "Gone for now") + catalogueEntry(3, 20, "Twenty");
        const QList<Stream> streams = {{10, "Ten"}, {20, "Twenty", true}, {30, "Thirty"}};
        start(settingsWith(stored), streams, false); // adult content hidden: 20 is not loaded
        const auto first = Options::loadFavorites();
        QCOMPARE(names(first), QStringList({"Ten", "Jazz"}));
        // Catalogue favourites are the catalogue's own records.
        QCOMPARE(first->at(0).get(), m_manager->getStreamMap()->at(10).get());
        QCOMPARE(first->at(1)->getFormat(), QString("Icecast"));
        QCOMPARE(first->at(1)->getBitrate(), 128);
        QCOMPARE(first->at(1)->getUrl(), QString("http://127.0.0.1:8000/Jazz"));
        QCOMPARE(first->at(1)->getId(), 0);

        QVERIFY(Options::writeToDisk());
        QCOMPARE(favoritesSection(readAll(path("options.xml"))), "<Favorites>" + stored + "</Favorites>");

        // Next run with adult content shown: the hidden one is back in its place.
        restart(streams, true);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten", "Jazz", "Twenty"}));
        QVERIFY(Options::writeToDisk());
        // Now written from the catalogue's record.
        QCOMPARE(favoritesSection(readAll(path("options.xml"))),
                 "<Favorites>" + catalogueEntry(0, 10, "Ten") + icecastEntry(1, "Jazz")
                     + catalogueEntry(2, 99, "Gone for now") + catalogueEntry(3, 20, "Twenty", true) + "</Favorites>");
    }

    void laterLoadBindsInPlace()
    {
        const QByteArray stored = catalogueEntry(0, 20, "Twenty") + icecastEntry(1, "Jazz");
        const QList<Stream> streams = {{10, "Ten"}, {20, "Twenty", true}};
        start(settingsWith(stored), streams, false);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Jazz"}));
        Options::addFavorite(m_manager->getStreamMap()->at(10));
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Jazz", "Ten"}));
        // The parental filter shows adult content and the catalogue is loaded again.
        m_manager->setAdultVisible(true);
        load();
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Twenty", "Jazz", "Ten"}));
    }

    void failedLoadKeepsStored()
    {
        const QByteArray stored = catalogueEntry(0, 10, "Ten") + icecastEntry(1, "Jazz");
        QVERIFY(writeAll(path("options.xml"), settingsWith(stored)));
        Options::readFromDisk(nullptr, nullptr, false, true);
        StreamsManager manager; // never loaded
        Options::readFromDisk(&manager, nullptr, false, false);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Jazz"}));
        QVERIFY(Options::writeToDisk());
        QCOMPARE(favoritesSection(readAll(path("options.xml"))), "<Favorites>" + stored + "</Favorites>");
    }

    void addsBeforeLoad_data()
    {
        QTest::addColumn<bool>("addBeforeFileRead");
        QTest::newRow("added after the file was read") << false;
        QTest::newRow("added before the file was read") << true;
    }
    void addsBeforeLoad()
    {
        QFETCH(bool, addBeforeFileRead);
        const QByteArray stored = catalogueEntry(0, 10, "Ten") + icecastEntry(1, "Jazz") + catalogueEntry(2, 30, "Thirty");
        QVERIFY(writeAll(path("options.xml"), settingsWith(stored)));
        QVERIFY(writeGzip(path("data.dat"), catalogue({{10, "Ten"}, {30, "Thirty"}, {40, "Forty"}})));
        const StreamInfoPtr rock = icecast("Rock");
        const StreamInfoPtr thirty = stream(30, "Thirty (earlier record)");
        auto addSome = [&] {
            Options::addFavorite(rock);
            Options::addFavorite(thirty); // the stored favourite 30: not added twice
        };
        if (addBeforeFileRead)
            addSome();
        Options::readFromDisk(nullptr, nullptr, false, true);
        if (!addBeforeFileRead)
            addSome();
        m_manager = std::make_unique<StreamsManager>();
        Options::readFromDisk(m_manager.get(), nullptr, false, false);

        // A save before the catalogue is loaded keeps every stored favourite.
        QVERIFY(Options::writeToDisk());
        const QByteArray early = favoritesSection(readAll(path("options.xml")));
        QVERIFY(early.startsWith("<Favorites>" + catalogueEntry(0, 10, "Ten") + icecastEntry(1, "Jazz")
                                 + "<Entry index=\"2\" format=\"WMP\"><StreamId>30</StreamId>"));
        QVERIFY(early.contains("<Entry index=\"3\" format=\"Icecast\"><StreamId>0</StreamId><Name>Rock</Name>"));
        QCOMPARE(early.count("<Entry"), 4);

        QVERIFY(m_manager->fetchStreams());
        const auto list = Options::loadFavorites();
        QCOMPARE(names(list), QStringList({"Ten", "Jazz", "Thirty (earlier record)", "Rock"}));
        QCOMPARE(list->at(0).get(), m_manager->getStreamMap()->at(10).get());
        QCOMPARE(list->at(2).get(), thirty.get());
        QCOMPARE(list->at(3).get(), rock.get());
    }

    void duplicates()
    {
        QVERIFY(writeGzip(path("data.dat"), catalogue({{10, "Ten"}})));
        Options::setCacheRevision(REVISION);
        m_manager = std::make_unique<StreamsManager>();
        Options::readFromDisk(m_manager.get(), nullptr, false, false);
        load();
        QVERIFY(!Options::loadFavorites().has_value()); // no file read, nothing added
        const StreamInfoPtr ten = m_manager->getStreamMap()->at(10);
        const StreamInfoPtr jazz = icecast("Jazz");
        Options::addFavorite(ten);
        Options::addFavorite(ten);
        Options::addFavorite(stream(10, "Ten again")); // same id, other record
        Options::addFavorite(jazz);
        Options::addFavorite(jazz); // directory streams (id 0) may be listed twice
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten", "Jazz", "Jazz"}));
        QVERIFY(Options::writeToDisk());
        const QByteArray section = favoritesSection(readAll(path("options.xml")));
        QCOMPARE(section.count("<Entry index=\"1\" format=\"Icecast\">"), 2);

        // Both entries hold the first one's position, which the later one
        // takes: after the next start it is listed once.
        restart({{10, "Ten"}});
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten", "Jazz"}));
    }

    void duplicateStoredEntries()
    {
        start(settingsWith(catalogueEntry(0, 10) + catalogueEntry(1, 10) + catalogueEntry(2, 11)),
              {{10, "Ten"}, {11, "Eleven"}});
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten", "Eleven"}));
    }

    void refused()
    {
        Options::addFavorite(nullptr);
        auto movie = std::make_shared<PPVStreamInfo>();
        movie->setId(5);
        movie->setName("Movie");
        movie->setType("PPV");
        Options::addFavorite(movie);
        auto movieZero = std::make_shared<PPVStreamInfo>();
        Options::addFavorite(movieZero);
        QVERIFY(!Options::loadFavorites().has_value());
        Options::addFavorite(icecast("Jazz"));
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Jazz"}));
    }

    void removeByIdentity()
    {
        const StreamInfoPtr a = icecast("A");
        const StreamInfoPtr b = icecast("B");
        Options::addFavorite(a);
        Options::addFavorite(b);
        Options::addFavorite(a);
        Options::removeFavorite(icecast("A")); // an equal record is not the favourite
        Options::removeFavorite(nullptr);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"A", "B", "A"}));
        Options::removeFavorite(a);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"B", "A"}));
        Options::removeFavorite(b);
        Options::removeFavorite(b);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"A"}));
    }

    void moreThanFifty()
    {
        QByteArray stored;
        QList<Stream> streams;
        QStringList expected;
        for (int i = 0; i < 60; ++i) {
            const QByteArray name = "S" + QByteArray::number(i);
            if (i % 3 == 0) {
                stored += icecastEntry(i, name);
            } else {
                stored += catalogueEntry(i, 1000 + i, name);
                streams.append({1000 + i, QString::fromLatin1(name)});
            }
            expected << QString::fromLatin1(name);
        }
        start(settingsWith(stored), streams);
        QCOMPARE(names(Options::loadFavorites()), expected);
        restart(streams);
        QCOMPARE(names(Options::loadFavorites()), expected);
    }

    // Stored favourites come back in ascending stored position, whatever
    // their order in the file; of two entries with one position the later
    // one in the file takes it; positions have no upper limit. The list is
    // the same after a save and a second start.
    void storedOrder_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("positions 2, 0, 1")
            << catalogueEntry(2, 12, "Twelve") + catalogueEntry(0, 10, "Ten") + catalogueEntry(1, 11, "Eleven")
            << QStringList({"Ten", "Eleven", "Twelve"});
        QTest::newRow("directory and catalogue streams mixed")
            << icecastEntry(3, "Jazz") + catalogueEntry(1, 11) + icecastEntry(0, "Rock") + catalogueEntry(2, 10)
            << QStringList({"Rock", "Eleven", "Ten", "Jazz"});
        QTest::newRow("two entries at position 0: the later wins")
            << catalogueEntry(0, 10) + catalogueEntry(0, 11) + catalogueEntry(1, 12)
            << QStringList({"Eleven", "Twelve"});
        QTest::newRow("two directory entries at position 0: the later wins")
            << icecastEntry(0, "Jazz") + icecastEntry(0, "Rock") << QStringList({"Rock"});
        QTest::newRow("a directory stream twice at one position: listed once")
            << catalogueEntry(0, 10) + icecastEntry(1, "Jazz") + icecastEntry(1, "Jazz") + catalogueEntry(3, 11)
            << QStringList({"Ten", "Jazz", "Eleven"});
        QTest::newRow("a directory stream at positions 0 and 1: two positions, listed twice")
            << icecastEntry(0, "Jazz") + icecastEntry(1, "Jazz") << QStringList({"Jazz", "Jazz"});
        QTest::newRow("one catalogue stream at two positions: listed at the first")
            << catalogueEntry(2, 10) + catalogueEntry(0, 10) + catalogueEntry(1, 11)
            << QStringList({"Ten", "Eleven"});
        QTest::newRow("streams repeated: each listed at its first position")
            << catalogueEntry(0, 10) + catalogueEntry(1, 11) + catalogueEntry(2, 10) + catalogueEntry(3, 12)
                   + catalogueEntry(4, 11) + catalogueEntry(5, 10)
            << QStringList({"Ten", "Eleven", "Twelve"});
        QTest::newRow("positions past 49 kept, in their order")
            << icecastEntry(70, "Seventy") + icecastEntry(5, "Five") + icecastEntry(49, "FortyNine")
                   + icecastEntry(50, "Fifty") + icecastEntry(1000000, "Million")
            << QStringList({"Five", "FortyNine", "Fifty", "Seventy", "Million"});
        QTest::newRow("a later entry wins past 49 too")
            << icecastEntry(60, "Jazz") + icecastEntry(60, "Rock") + icecastEntry(59, "Pop")
            << QStringList({"Pop", "Rock"});
        QByteArray reversed;
        QStringList sixty;
        for (int i = 59; i >= 0; --i)
            reversed += icecastEntry(i, "S" + QByteArray::number(i));
        for (int i = 0; i < 60; ++i)
            sixty << "S" + QString::number(i);
        QTest::newRow("sixty entries stored backwards") << reversed << sixty;
        QTest::newRow("no usable position: after the others, in file order")
            << icecastEntry(1, "One")
                   + "<Entry format=\"Icecast\"><StreamId>0</StreamId><Name>NoIndex</Name><Adult>false</Adult>"
                     "<Bitrate>64</Bitrate><Url>http://127.0.0.1:8000/n</Url></Entry>"
                   + icecastEntry(-1, "Minus") + icecastEntry(0, "Zero")
            << QStringList({"Zero", "One", "NoIndex", "Minus"});
    }
    void storedOrder()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, expected);
        const QList<Stream> streams = {{10, "Ten"}, {11, "Eleven"}, {12, "Twelve"}};
        start(settingsWith(stored), streams);
        QCOMPARE(names(Options::loadFavorites()), expected);
        restart(streams);
        QCOMPARE(names(Options::loadFavorites()), expected);
        // The second start wrote nothing new: the same file once more.
        restart(streams);
        QCOMPARE(names(Options::loadFavorites()), expected);
    }

    void unusableEntriesAreKept()
    {
        const QByteArray noFormat = "<Entry index=\"0\"><StreamId>10</StreamId><Name>Ten</Name><Adult>false</Adult></Entry>";
        const QByteArray badId = "<Entry index=\"1\" format=\"WMP\"><StreamId>ten</StreamId><Name>T</Name></Entry>";
        const QByteArray badBitrate = "<Entry index=\"x\" format=\"Icecast\"><StreamId>0</StreamId><Name>J</Name>"
                                      "<Adult>false</Adult><Bitrate>fast</Bitrate><Url>http://127.0.0.1/</Url></Entry>";
        start(settingsWith(noFormat + badId + icecastEntry(7, "Jazz") + badBitrate), {{10, "Ten"}});
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Jazz"}));
        QVERIFY(Options::writeToDisk());
        QByteArray expectedBad = badBitrate;
        expectedBad.replace("index=\"x\"", "index=\"3\"");
        QCOMPARE(favoritesSection(readAll(path("options.xml"))),
                 "<Favorites>" + noFormat + badId + icecastEntry(2, "Jazz") + expectedBad + "</Favorites>");
    }

    void emptyFavouritesSection()
    {
        start(settingsWith(""), {{10, "Ten"}});
        const auto list = Options::loadFavorites();
        QVERIFY(list.has_value());
        QVERIFY(list->empty());
    }

    void limitedModeAppliedToManager()
    {
        start(settingsWith(catalogueEntry(0, 10), "<Mode>false</Mode>"), {{10, "Ten"}, {20, "Twenty", true}}, true);
        // readFromDisk(manager) hid adult content and locked it.
        QVERIFY(!m_manager->getAdultVisible());
        QVERIFY(!Options::evalPasswd(""));
        QVERIFY(Options::evalPasswd("qelmorvintashk"));
        QVERIFY(!m_manager->getStreamMap()->count(20));
        // The first favourites load applies limited mode once more.
        m_manager->setAdultVisible(true);
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten"}));
        QVERIFY(!m_manager->getAdultVisible());
        // Later calls only give the list.
        m_manager->setAdultVisible(true);
        Options::setPasswd("parent");
        QCOMPARE(names(Options::loadFavorites()), QStringList({"Ten"}));
        QVERIFY(m_manager->getAdultVisible());
        QVERIFY(Options::evalPasswd("parent"));
    }
};

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
