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

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
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

// What stands in the settings file's place instead of a regular file.
enum class NotAFile { Pipe, LinkToPipe, Device, LinkToDevice };

// The kind of the file itself (a link is not followed).
mode_t fileType(const QString &path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// The kind of what a path leads to (a link is followed).
mode_t targetType(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Makes path what kind says; a device is a zero device made in the test's
// own directory, so that a save which follows it harms nothing outside.
// False with a reason when this process cannot make one.
bool makeNotAFile(NotAFile kind, const QString &path, QString &why)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(QFileInfo(path).absolutePath() + "/target");
    const bool link = kind == NotAFile::LinkToPipe || kind == NotAFile::LinkToDevice;
    const QByteArray &made = link ? target : name;
    int rc = 0;
    if (kind == NotAFile::Pipe || kind == NotAFile::LinkToPipe)
        rc = ::mkfifo(made.constData(), 0600);
    else
        rc = ::mknod(made.constData(), S_IFCHR | 0600, makedev(1, 5));
    if (rc != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (link && ::symlink(target.constData(), name.constData()) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

// Starts reading the settings file in a child process that may take at
// most 512 MB more memory and ends with status 0 once the read is done; a
// read that blocks on a named pipe or reads a device without end then fails
// the test instead of hanging it or filling the machine's memory.
pid_t startSettingsReadInChild()
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    ::alarm(60);
    // Bounded above what the process holds already (a sanitizer's shadow
    // memory counts as data too).
    long dataKb = 0;
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmData: %ld kB", &dataKb) == 1)
                break;
        std::fclose(status);
    }
    rlimit data{};
    data.rlim_cur = data.rlim_max = rlim_t(dataKb + 512 * 1024) * 1024;
    ::setrlimit(RLIMIT_DATA, &data);
    Options::readFromDisk(nullptr, nullptr, false, true);
    ::_exit(0);
}

// The child reaped, whatever becomes of the test.
struct Child
{
    pid_t pid = -1;
    int status = 0;
    bool reaped = false;
    bool ended()
    {
        if (!reaped)
            reaped = ::waitpid(pid, &status, WNOHANG) == pid;
        return reaped;
    }
    bool succeeded() const { return reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
    ~Child()
    {
        if (pid > 0 && !reaped) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    }
};

} // namespace

Q_DECLARE_METATYPE(WriteFault)
Q_DECLARE_METATYPE(NotAFile)

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

    void settingsFileNotARegularFile_data()
    {
        QTest::addColumn<NotAFile>("kind");
        QTest::newRow("named pipe") << NotAFile::Pipe;
        QTest::newRow("link to a named pipe") << NotAFile::LinkToPipe;
        QTest::newRow("zero device") << NotAFile::Device;
        QTest::newRow("link to a zero device") << NotAFile::LinkToDevice;
    }
    void settingsFileNotARegularFile()
    {
        QFETCH(NotAFile, kind);
        QString why;
        if (!makeNotAFile(kind, "options.xml", why))
            QSKIP(qPrintable("No named pipe or device can be made here: " + why));
        const mode_t type = fileType("options.xml");
        const mode_t target = targetType("options.xml");

        // The read ends at once and takes no memory to speak of.
        Child child;
        child.pid = startSettingsReadInChild();
        QVERIFY(child.pid > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(child.ended(), "the settings read still runs after 20 s", 20000);
        QVERIFY2(child.succeeded(), "the settings read failed or took too much memory");

        // It is an unreadable settings file: the initial settings, and the
        // first save moves it aside without opening it.
        QTest::ignoreMessage(QtWarningMsg, "Could not read options.xml: it is not a regular file");
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString(""));
        QTest::ignoreMessage(QtWarningMsg, "Kept the unreadable options.xml as options.xml.bad");
        Options::setSerial("NEW-KEY");
        QCOMPARE(fileType("options.xml"), mode_t(S_IFREG));
        QVERIFY(readAll("options.xml").contains("<Serial>NEW-KEY</Serial>"));
        QCOMPARE(fileType("options.xml.bad"), type);
        QCOMPARE(targetType("options.xml.bad"), target);
        if (type == S_IFLNK)
            QCOMPARE(QFileInfo("options.xml.bad").symLinkTarget(), QFileInfo("target").absoluteFilePath());
    }

    void settingsFileReplacedBeforeSave_data() { settingsFileNotARegularFile_data(); }
    void settingsFileReplacedBeforeSave()
    {
        QFETCH(NotAFile, kind);
        QVERIFY(writeAll("options.xml", "<Settings><Options><Serial>OLD</Serial></Options></Settings>"));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString("OLD"));
        QVERIFY(QFile::remove("options.xml"));
        QString why;
        if (!makeNotAFile(kind, "options.xml", why))
            QSKIP(qPrintable("No named pipe or device can be made here: " + why));
        const mode_t type = fileType("options.xml");
        const mode_t target = targetType("options.xml");

        // The save neither blocks nor writes into it: it is moved aside.
        QTest::ignoreMessage(QtWarningMsg, "Kept the unreadable options.xml as options.xml.bad");
        std::atomic<bool> done{false};
        bool saved = false;
        std::thread save([&] {
            saved = Options::writeToDisk();
            done = true;
        });
        auto join = qScopeGuard([&] {
            if (!done) {
                // A writer blocked in the open of the pipe goes on once a
                // reader opens it.
                const int fd = ::open("options.xml", O_RDONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
            save.join();
        });
        QTRY_VERIFY2_WITH_TIMEOUT(done.load(), "the save still runs after 20 s", 20000);
        QVERIFY(saved);
        QCOMPARE(fileType("options.xml"), mode_t(S_IFREG));
        QVERIFY(readAll("options.xml").contains("<Serial>OLD</Serial>"));
        QCOMPARE(fileType("options.xml.bad"), type);
        QCOMPARE(targetType("options.xml.bad"), target);
    }

    void settingsFileEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("serial"); // as read, when readable

        const QByteArray body = "<Settings><Options><Serial>K\xc5RE-\xd8</Serial></Options></Settings>\n";
        const QByteArray utf8Body = "<Settings><Options><Serial>K\xc3\x85RE-\xc3\x98</Serial></Options></Settings>\n";
        const QString serial = QString::fromUtf8("K\u00c5RE-\u00d8");
        auto utf16le = [](const QString &text) {
            QByteArray b("\xff\xfe", 2);
            for (const QChar c : text) {
                b.append(char(c.unicode() & 0xff));
                b.append(char(c.unicode() >> 8));
            }
            return b;
        };
        QTest::newRow("ISO-8859-1, no declaration") << body << false << QString();
        QTest::newRow("ISO-8859-1, declared UTF-8")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body << false << QString();
        QTest::newRow("windows-1252 as declared (read as UTF-8)")
            << "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n" + body << false << QString();
        QTest::newRow("UTF-8 with an overlong form")
            << QByteArray("<Settings><Options><Serial>K\xc0\xafRE</Serial></Options></Settings>\n") << false
            << QString();
        QTest::newRow("UTF-8 cut inside a character")
            << QByteArray("<Settings><Options><Serial>K</Serial></Options></Settings>\n\xc3") << false << QString();
        QTest::newRow("UTF-16 with a lone surrogate")
            << utf16le(QStringLiteral("<Settings><Options><Serial>K") + QChar(0xd800)
                       + QStringLiteral("RE</Serial></Options></Settings>\n"))
            << false << QString();
        QTest::newRow("ISO-8859-1 as declared")
            << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + body << true << serial;
        QTest::newRow("latin1 as declared")
            << "<?xml version='1.0' encoding='latin1'?>\n" + body << true << serial;
        QTest::newRow("UTF-8, no declaration") << utf8Body << true << serial;
        QTest::newRow("UTF-8 as declared")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + utf8Body << true << serial;
        QTest::newRow("UTF-16 with a byte order mark") << utf16le(QString::fromUtf8(utf8Body)) << true << serial;
    }
    void settingsFileEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        QFETCH(QString, serial);
        QVERIFY(writeAll("options.xml", bytes));
        if (!readable)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not read options.xml: the file is not valid"));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), readable ? serial : QString(""));

        // The first save keeps a file it could not read as it was.
        if (!readable)
            QTest::ignoreMessage(QtWarningMsg, "Kept the unreadable options.xml as options.xml.bad");
        QVERIFY(Options::writeToDisk());
        if (readable) {
            QVERIFY(!QFileInfo::exists("options.xml.bad"));
            Options::resetToDefaults();
            Options::readFromDisk(nullptr, nullptr, false, true);
            QCOMPARE(Options::getSerial(), serial);
        } else {
            QCOMPARE(readAll("options.xml.bad"), bytes);
        }
    }

    void failedSaveIsReported_data()
    {
        QTest::addColumn<WriteFault>("fault");
        QTest::addColumn<QString>("earlier"); // "good", "none" or "unreadable"
        QTest::addColumn<int>("error");
        for (const char *earlier : {"good", "none", "unreadable"}) {
            QTest::addRow("file size limit, %s earlier file", earlier)
                << WriteFault::FileSizeLimit << QString(earlier) << EFBIG;
            QTest::addRow("full disk, %s earlier file", earlier) << WriteFault::FullDisk << QString(earlier) << ENOSPC;
        }
    }
    void failedSaveIsReported()
    {
        QFETCH(WriteFault, fault);
        QFETCH(QString, earlier);
        QFETCH(int, error);
        prepareDirectory(fault);
        const QByteArray unreadableBytes = "<Settings><Options><Serial>KEPT</Ser";
        if (earlier == "good") {
            Options::setSerial("OLD");
            QVERIFY(Options::writeToDisk());
        } else if (earlier == "unreadable") {
            QVERIFY(writeAll("options.xml", unreadableBytes));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not read options.xml: "));
            Options::readFromDisk(nullptr, nullptr, false, true);
        }
        QVERIFY(Options::lastWriteFailure().reason.isEmpty());
        std::vector<Options::WriteFailure> reported;
        Options::setWriteFailureHandler([&](const Options::WriteFailure &f) { reported.push_back(f); });
        auto unset = qScopeGuard([] { Options::setWriteFailureHandler({}); });

        startFault(fault, 40);
        if (earlier == "unreadable")
            QTest::ignoreMessage(QtWarningMsg, "Kept the unreadable options.xml as options.xml.bad");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not write options.xml"));
        Options::setSerial("NEW"); // saves at once, and fails
        endFault();

        // The failure says why, and where the earlier file stays.
        QCOMPARE(reported.size(), size_t(1));
        const Options::WriteFailure failure = reported.front();
        QVERIFY2(failure.reason.contains(QString::fromLocal8Bit(std::strerror(error))), qPrintable(failure.reason));
        const QString kept = earlier == "good"         ? QFileInfo("options.xml").absoluteFilePath()
                             : earlier == "unreadable" ? QFileInfo("options.xml.bad").absoluteFilePath()
                                                       : QString();
        QCOMPARE(failure.keptFile, kept);
        QCOMPARE(Options::lastWriteFailure().reason, failure.reason);
        QCOMPARE(Options::lastWriteFailure().keptFile, kept);
        if (earlier == "unreadable")
            QCOMPARE(readAll("options.xml.bad"), unreadableBytes);
        QCOMPARE(QFileInfo::exists("options.xml"), earlier == "good");

        // A save that succeeds clears it; a plain writeToDisk never calls
        // the handler.
        QVERIFY(Options::writeToDisk());
        QVERIFY(Options::lastWriteFailure().reason.isEmpty());
        QVERIFY(Options::lastWriteFailure().keptFile.isEmpty());
        QCOMPARE(reported.size(), size_t(1));
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
