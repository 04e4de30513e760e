// Bad files on disk and a working directory the program cannot write to:
// the settings file "options.xml" and the catalogue cache "data.dat" empty,
// cut short, binary, huge or replaced by a directory; a read-only working
// directory; a full disk (a small tmpfs where this process may mount one,
// else a file size limit). The catalogue layer must go on working, keep the
// user's data and say what failed.

#include "catalogue/IcecastFetcher.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVFetcher.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/TulException.h"
#include "catalogue/Zlib.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A sparse file of the given size (zero bytes).
bool makeHugeFile(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

QByteArray binaryBytes()
{
    QByteArray b;
    for (int i = 0; i < 4096; ++i)
        b.append(char((i * 7919 + 13) & 0xff));
    return b;
}

// Standard error of this process, captured into a file while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        m_file = ::open(m_path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ::dup2(m_file, 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        const QString path = QString::fromLocal8Bit(m_path);
        const QByteArray captured = readAll(path);
        QFile::remove(path);
        return captured;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        ::close(m_file);
        m_saved = -1;
    }
    QByteArray m_path = QDir::tempPath().toLocal8Bit() + "/qv-badfiles-stderr-" + QByteArray::number(::getpid());
    int m_saved = -1;
    int m_file = -1;
};

// The faults that keep a file from being written.
enum class WriteFault { ReadOnlyDirectory, FullDisk, FileSizeLimit };

} // namespace

Q_DECLARE_METATYPE(WriteFault)

class TestBadFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReferenceService> service;
    QTemporaryDir *dir = nullptr;
    QString originalDir;
    QString work;        // the working directory of the test
    bool mounted = false;
    rlimit oldLimit{};
    bool limited = false;
    bool actingAsUser = false;

    const QByteArray catalogueA = RefService::catalogueDocument(
        {{1, "Old one", "English", "Norway", 300, "WMP", "TV", true, "News", "mms://127.0.0.1/1"},
         {2, "Old two", "English", "Norway", 300, "WMP", "TV", true, "News", "mms://127.0.0.1/2"}});
    QByteArray catalogueB;
    int recordsB = 0; // the records a load keeps of catalogueB

    // Makes the working directory a small tmpfs; false where this process
    // may not mount one.
    bool mountSmallDisk()
    {
        work = dir->filePath("disk");
        QDir().mkpath(work);
        if (::geteuid() != 0
            || ::mount("tmpfs", QFile::encodeName(work).constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k")
                   != 0)
            return false;
        mounted = true;
        return QDir::setCurrent(work);
    }
    // Fills the disk of the working directory to the last byte.
    void fillDisk()
    {
        const int fd = ::open("filler", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        const QByteArray block(4096, 'x');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        while (::write(fd, block.constData(), 1) > 0) {
        }
        ::close(fd);
    }

    // Sets up the fault after the earlier files exist; QSKIP when it cannot
    // be had here.
    void startFault(WriteFault fault, qint64 sizeLimit)
    {
        switch (fault) {
        case WriteFault::ReadOnlyDirectory:
            QCOMPARE(::chmod(QFile::encodeName(work).constData(), 0555), 0);
            // The super-user writes anywhere: act as an ordinary user.
            if (::geteuid() == 0) {
                QCOMPARE(::seteuid(65534), 0);
                actingAsUser = true;
            }
            break;
        case WriteFault::FullDisk:
            fillDisk();
            break;
        case WriteFault::FileSizeLimit:
            std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
            {
                rlimit small = oldLimit;
                small.rlim_cur = rlim_t(sizeLimit);
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            }
            limited = true;
            break;
        }
    }
    void endFault()
    {
        if (actingAsUser) {
            QCOMPARE(::seteuid(0), 0);
            actingAsUser = false;
        }
        ::chmod(QFile::encodeName(work).constData(), 0700);
        QFile::remove(work + "/filler");
        if (limited) {
            ::setrlimit(RLIMIT_FSIZE, &oldLimit);
            limited = false;
        }
    }
    // The working directory for a fault: a small disk for FullDisk.
    void prepareDirectory(WriteFault fault)
    {
        if (fault == WriteFault::FullDisk) {
            if (!mountSmallDisk())
                QSKIP("No tmpfs can be mounted here; the file size limit row covers a full disk");
        }
    }

    QStringList filesIn(const QString &path) const
    {
        QStringList files = QDir(path).entryList(QDir::Files | QDir::Hidden);
        files.removeAll("filler");
        return files;
    }

private slots:
    void initTestCase()
    {
        service = quietService();
        QVERIFY(service->start());
        originalDir = QDir::currentPath();
        catalogueB = RefService::generateCatalogue(1500, service->hostPort());
        StreamsFetcher fetcher;
        fetcher.parseDocument(catalogueB);
        CatalogueIndexes indexes;
        int latest = 0;
        recordsB = int(fetcher.getStreamList(indexes, latest)->size());
        QVERIFY(recordsB > 1000);
    }
    void cleanupTestCase() { service.reset(); }

    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        work = dir->path();
        QVERIFY(QDir::setCurrent(work));
        Options::resetToDefaults();
        qputenv("QUORVANTEL_CATALOGUE_HOST", service->hostPort().toLatin1());
        service->clearSwitches();
        service->clearRequests();
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
        service->setCatalogue(catalogueB);
        service->setRevision(2);
    }
    void cleanup()
    {
        endFault();
        QDir::setCurrent(originalDir);
        if (mounted) {
            ::umount2(QFile::encodeName(work).constData(), MNT_DETACH);
            mounted = false;
        }
        delete dir;
        dir = nullptr;
    }

    // ------------------------------------------------------ options.xml

    void unreadableSettingsFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("kept"); // whether there is anything to keep
        QTest::newRow("cut short") << "truncated" << true;
        QTest::newRow("binary") << "binary" << true;
        QTest::newRow("text, not XML") << "text" << true;
        QTest::newRow("huge") << "huge" << true;
        QTest::newRow("a directory") << "directory" << true;
        QTest::newRow("empty") << "empty" << false;
    }
    void unreadableSettingsFile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, kept);
        // A good file first, to cut short.
        Options::setSerial("ACCOUNT-KEY");
        Options::setCacheRevision(12);
        QVERIFY(Options::writeToDisk());
        const QByteArray good = readAll("options.xml");
        Options::resetToDefaults();

        const qint64 hugeSize = 65ll * 1024 * 1024;
        QByteArray bad;
        if (kind == "truncated")
            bad = good.left(good.indexOf("</Serial>"));
        else if (kind == "binary")
            bad = binaryBytes();
        else if (kind == "text")
            bad = "Serial = ACCOUNT-KEY\n";
        if (kind == "huge") {
            QVERIFY(makeHugeFile("options.xml", hugeSize));
        } else if (kind == "directory") {
            QVERIFY(QFile::remove("options.xml"));
            QVERIFY(QDir().mkdir("options.xml"));
            QVERIFY(writeAll("options.xml/inside", "user data"));
        } else {
            QVERIFY(writeAll("options.xml", bad));
        }

        // The program starts with the initial settings and says why.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not read options.xml: "));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString(""));
        QCOMPARE(Options::getCacheRevision(), 0);
        QCOMPARE(Options::getUpdateEnabled(), true);
        QVERIFY(!Options::getMode().has_value());
        QCOMPARE(Options::getLanguage(), QString("en"));
        StreamsManager manager;
        Options::readFromDisk(&manager, nullptr, false, false);
        QVERIFY(!Options::loadFavorites().has_value());

        // The first save writes a good file and keeps the unreadable one
        // aside, unchanged.
        if (kept)
            QTest::ignoreMessage(QtWarningMsg, "Kept the unreadable options.xml as options.xml.bad");
        Options::setSerial("NEW-KEY");
        QVERIFY(readAll("options.xml").contains("<Serial>NEW-KEY</Serial>"));
        if (!kept) {
            QVERIFY(!QFileInfo::exists("options.xml.bad"));
        } else if (kind == "huge") {
            QCOMPARE(QFileInfo("options.xml.bad").size(), hugeSize);
        } else if (kind == "directory") {
            QCOMPARE(readAll("options.xml.bad/inside"), QByteArray("user data"));
        } else {
            QCOMPARE(readAll("options.xml.bad"), bad);
        }
        // Later saves leave it alone.
        Options::setSerial("LATER-KEY");
        QVERIFY(QFileInfo::exists("options.xml.bad") == kept);
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString("LATER-KEY"));
    }

    void unreadableSettingsFileInReadOnlyDirectory()
    {
        const QByteArray bad = "<Settings><Options><Serial>ACCOUNT-KEY</Ser";
        QVERIFY(writeAll("options.xml", bad));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not read options.xml: "));
        Options::readFromDisk(nullptr, nullptr, false, true);
        startFault(WriteFault::ReadOnlyDirectory, 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not write options.xml"));
        QVERIFY(!Options::writeToDisk());
        endFault();
        // Nothing was lost.
        QCOMPARE(readAll("options.xml"), bad);
        QCOMPARE(filesIn(work), QStringList{"options.xml"});
    }

    void settingsKeptWhenWriteFails_data()
    {
        QTest::addColumn<WriteFault>("fault");
        QTest::newRow("read-only directory") << WriteFault::ReadOnlyDirectory;
        QTest::newRow("full disk") << WriteFault::FullDisk;
        QTest::newRow("file size limit") << WriteFault::FileSizeLimit;
    }
    void settingsKeptWhenWriteFails()
    {
        QFETCH(WriteFault, fault);
        prepareDirectory(fault);
        Options::setSerial("OLD");
        Options::addFavorite(std::make_shared<StreamInfo>());
        QVERIFY(Options::writeToDisk());
        const QByteArray before = readAll("options.xml");
        QVERIFY(before.contains("<Serial>OLD</Serial>"));

        startFault(fault, 40);
        {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not write options.xml"));
            Options::setSerial("NEW"); // saves at once, and fails
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not write options.xml"));
            QVERIFY(!Options::writeToDisk());
        }
        QCOMPARE(Options::getSerial(), QString("NEW")); // kept in memory
        // The program starts again from the earlier file.
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString("OLD"));
        endFault();

        QCOMPARE(readAll("options.xml"), before);
        QCOMPARE(filesIn(work), QStringList{"options.xml"});
        Options::setSerial("NEW");
        QVERIFY(readAll("options.xml").contains("<Serial>NEW</Serial>"));
    }

    // -------------------------------------------------------- data.dat

    void brokenCacheFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key"); // error of the cache read
        QTest::newRow("empty") << "empty" << "FileNotFoundError";
        QTest::newRow("cut short") << "truncated" << "FileNotFoundError";
        QTest::newRow("binary") << "binary" << "FileNotFoundError";
        QTest::newRow("plain XML") << "plain" << "FileNotFoundError";
        QTest::newRow("gzip of binary") << "gzip-binary" << "FileReadError";
        QTest::newRow("gzip of a cut document") << "gzip-cut" << "FileReadError";
        // Zero bytes in place of the document's end: the XML parser would
        // stop at the first one and take the rest for complete.
        QTest::newRow("gzip of a document ending in zero bytes") << "gzip-zeros" << "FileReadError";
        QTest::newRow("huge") << "huge" << "FileNotFoundError";
        QTest::newRow("a directory") << "directory" << "FileNotFoundError";
    }
    void brokenCacheFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, key);
        const QByteArray gz = Zlib::gzipCompress(catalogueA);
        if (kind == "empty")
            QVERIFY(writeAll("data.dat", ""));
        else if (kind == "truncated")
            QVERIFY(writeAll("data.dat", gz.left(gz.size() / 2)));
        else if (kind == "binary")
            QVERIFY(writeAll("data.dat", binaryBytes()));
        else if (kind == "plain")
            QVERIFY(writeAll("data.dat", catalogueA));
        else if (kind == "gzip-binary")
            QVERIFY(writeAll("data.dat", Zlib::gzipCompress(binaryBytes())));
        else if (kind == "gzip-cut")
            QVERIFY(writeAll("data.dat", Zlib::gzipCompress(catalogueA.left(catalogueA.size() - 20))));
        else if (kind == "gzip-zeros")
            QVERIFY(writeAll("data.dat", Zlib::gzipCompress(catalogueA.left(catalogueA.lastIndexOf('>'))
                                                                      + QByteArray(40, '\0') + ">")));
        else if (kind == "huge")
            QVERIFY(makeHugeFile("data.dat", 20ll * 1024 * 1024 * 1024));
        else if (kind == "directory")
            QVERIFY(QDir().mkdir("data.dat"));

        // Read directly, the cache names itself and what is wrong.
        {
            StreamsFetcher fetcher;
            try {
                fetcher.openGZipFile("data.dat");
                QFAIL("a broken cache file was read");
            } catch (const TulException &e) {
                QCOMPARE(e.getMsg(), "data.dat: " + LangMsg::getMsg(key));
                QVERIFY(!e.getMessage().isEmpty());
            }
        }

        // Without the server, the load fails with the download's error.
        Options::setCacheRevision(2);
        StreamsManager manager;
        qputenv("QUORVANTEL_CATALOGUE_HOST", "127.0.0.1:1");
        try {
            manager.fetchStreams();
            QFAIL("loaded without a server and without a cache");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ConnectError"));
        }
        QVERIFY(manager.getAllStreams()->empty());
        QCOMPARE(Options::getCacheRevision(), 2);

        // With it, the revision is unchanged, so the cache is read first,
        // found broken and replaced by a new download.
        qputenv("QUORVANTEL_CATALOGUE_HOST", service->hostPort().toLatin1());
        std::unique_ptr<StderrCapture> capture;
        if (kind == "directory")
            capture = std::make_unique<StderrCapture>();
        QVERIFY(manager.fetchStreams());
        QCOMPARE(int(manager.getAllStreams()->size()), recordsB);
        QCOMPARE(service->requestCount("/getstreams.php"), 1);
        if (kind == "directory") {
            // A directory is not replaced: the load goes on from memory, says
            // so, and the next load downloads again.
            QVERIFY2(capture->text().contains("Cannot write the catalogue cache data.dat"), "no message");
            QVERIFY(QFileInfo("data.dat").isDir());
            QCOMPARE(Options::getCacheRevision(), -1);
        } else {
            QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), catalogueB);
            QCOMPARE(Options::getCacheRevision(), 2);
        }
    }

    void gzipBombRefused()
    {
        // Far more text than a catalogue may have, in a small file.
        const QByteArray bomb = Zlib::gzipCompress(QByteArray(8 * 1024 * 1024, ' '));
        QVERIFY(bomb.size() < 64 * 1024);
        QVERIFY(writeAll("data.dat", bomb));
        StreamsFetcher fetcher;
        fetcher.setMaxCatalogueBytes(1024 * 1024);
        try {
            fetcher.openGZipFile("data.dat");
            QFAIL("the oversized cache was read");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), "data.dat: " + LangMsg::getMsg("FileNotFoundError"));
        }
    }

    void cacheKeptWhenWriteFails_data()
    {
        // A small cache fits in the file's write buffer, so its failure shows
        // only when the buffer is flushed.
        QTest::addColumn<WriteFault>("fault");
        QTest::addColumn<bool>("small");
        QTest::newRow("read-only directory") << WriteFault::ReadOnlyDirectory << false;
        QTest::newRow("full disk") << WriteFault::FullDisk << false;
        QTest::newRow("full disk, small cache") << WriteFault::FullDisk << true;
        QTest::newRow("file size limit") << WriteFault::FileSizeLimit << false;
        QTest::newRow("file size limit, small cache") << WriteFault::FileSizeLimit << true;
    }
    void cacheKeptWhenWriteFails()
    {
        QFETCH(WriteFault, fault);
        QFETCH(bool, small);
        prepareDirectory(fault);
        int expected = recordsB;
        QByteArray catalogue = catalogueB;
        if (small) {
            catalogue = RefService::generateCatalogue(20, service->hostPort());
            service->setCatalogue(catalogue);
            StreamsFetcher fetcher;
            fetcher.parseDocument(catalogue);
            CatalogueIndexes indexes;
            int latest = 0;
            expected = int(fetcher.getStreamList(indexes, latest)->size());
        }
        const qint64 newSize = Zlib::gzipCompress(catalogue).size();
        // The earlier load left a good cache of revision 1.
        const QByteArray earlier = Zlib::gzipCompress(catalogueA);
        QVERIFY(writeAll("data.dat", earlier));
        Options::setCacheRevision(1);
        QVERIFY(small ? newSize < 8 * 1024 : newSize > 16 * 1024);

        startFault(fault, newSize / 2);
        StreamsManager manager;
        bool loaded = false;
        QByteArray messages;
        {
            StderrCapture capture;
            loaded = manager.fetchStreams();
            messages = capture.text();
        }
        endFault();

        // The new catalogue is loaded from memory; the failure is reported.
        QVERIFY(loaded);
        QCOMPARE(int(manager.getAllStreams()->size()), expected);
        QVERIFY2(messages.contains("Cannot write the catalogue cache data.dat"), messages.constData());
        // The earlier cache is untouched, no temporary file is left, and
        // the revision says that the cache does not hold this catalogue.
        QCOMPARE(readAll("data.dat"), earlier);
        QCOMPARE(filesIn(work), QStringList{"data.dat"});
        QCOMPARE(Options::getCacheRevision(), -1);

        // Once the disk takes it again, the next load stores it.
        QVERIFY(manager.fetchStreams());
        QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), catalogue);
        QCOMPARE(Options::getCacheRevision(), 2);
    }

    // ------------------------------------- downloaded directory documents

    void directoryDocumentsCutOrPadded_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("text after the root") << QByteArray("garbage");
        QTest::newRow("zero bytes and text after the root") << QByteArray("\0\0\0garbage", 10);
    }
    void directoryDocumentsCutOrPadded()
    {
        // The XML parser drops text after the root element and stops at a
        // zero byte; neither document is well-formed and both are refused,
        // keeping the one read before.
        QFETCH(QByteArray, tail);
        const QByteArray directory = "<directory><entry><server_name>A</server_name>"
                                     "<listen_url>http://127.0.0.1/a</listen_url></entry></directory>";
        const QByteArray ppv = "<r><PPV><Catalog><Entry id=\"1\" adult=\"false\"><Name>A</Name><Bitrate>1</Bitrate>"
                               "<Category>C</Category><Length>60</Length></Entry></Catalog><Inventory/></PPV></r>";
        auto padded = [&tail](const QByteArray &doc) { return doc + tail; };
        IcecastFetcher icecast;
        icecast.parse(directory);
        PPVFetcher movies;
        movies.parse(ppv);
        for (int reader = 0; reader < 2; ++reader) {
            try {
                if (reader == 0)
                    icecast.parse(padded(directory));
                else
                    movies.parse(padded(ppv));
                QFAIL("a document that is not well-formed was read");
            } catch (const TulException &e) {
                QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
            }
        }
        QCOMPARE(int(icecast.getStreamList()->size()), 1);
        QCOMPARE(int(movies.getStreamList()->size()), 1);
    }

    void readOnlyDirectoryStartsFromCache()
    {
        // Revision unchanged: the cache is read and nothing is written.
        QVERIFY(writeAll("data.dat", Zlib::gzipCompress(catalogueB)));
        Options::setCacheRevision(2);
        Options::setSerial("KEY");
        startFault(WriteFault::ReadOnlyDirectory, 0);
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString("KEY"));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        endFault();
        QCOMPARE(int(manager.getAllStreams()->size()), recordsB);
        QCOMPARE(service->requestCount("/getstreams.php"), 0);
    }
};

QTEST_GUILESS_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
