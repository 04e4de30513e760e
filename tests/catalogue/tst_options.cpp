#include "catalogue/Options.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray HEAD = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// A settings file as the program writes it, with the given "Options" children.
QByteArray settings(const QByteArray &options, const QByteArray &favorites = "<Favorites/>")
{
    return HEAD + "<Settings><Options>" + options + "</Options>" + favorites + "</Settings>\n";
}

QString passwordElement(const QByteArray &file)
{
    static const QRegularExpression re("<Password>([^<]*)</Password>");
    const QRegularExpressionMatch m = re.match(QString::fromUtf8(file));
    return m.hasMatch() ? m.captured(1) : QString();
}

// The hash that the first program versions stored, computed here
// independently: XOR of (signed byte + 1).
QString oldHash(const QByteArray &bytes)
{
    int h = 0;
    for (char c : bytes)
        h ^= int(static_cast<signed char>(c)) + 1;
    return QString::number(h);
}

StreamInfoPtr record(int id, const QString &name, const QString &format, bool adult = false)
{
    auto s = std::make_shared<StreamInfo>();
    s->setId(id);
    s->setName(name);
    s->setFormat(format);
    s->setAdult(adult);
    return s;
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;

    QString file() const { return m_dir->filePath("options.xml"); }

private slots:
    void initTestCase() { m_oldCurrent = QDir::currentPath(); }

    void init()
    {
        Options::resetToDefaults();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(m_oldCurrent);
        m_dir.reset();
        Options::resetToDefaults();
    }

    void initialValues()
    {
        QCOMPARE(Options::getSerial(), QString(""));
        QVERIFY(Options::getUpdateEnabled());
        QVERIFY(!Options::getMode().has_value());
        QVERIFY(!Options::getModeNotPersistent().has_value());
        QVERIFY(Options::getUserWizardEnabled());
        QCOMPARE(Options::getCacheRevision(), 0);
        QCOMPARE(Options::getLanguage(), QString("en"));
        QCOMPARE(Options::getLastStreamId(), 0);
        QVERIFY(Options::evalPasswd(""));
        QVERIFY(Options::evalPasswd("anything"));
        QCOMPARE(Options::getVersion(), QString("10.0.0"));
        QVERIFY(!Options::loadFavorites().has_value());
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("update");
        QTest::addColumn<int>("mode"); // -1 unset, 0 limited, 1 full
        QTest::addColumn<bool>("wizard");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("lastId");
        QTest::addColumn<bool>("passwordSet");

        const QByteArray rest = "<UserWizardEnabled>false</UserWizardEnabled><CacheRevision>12</CacheRevision>"
                                "<Password/><Language>no</Language>";
        auto withMode = [&](const QByteArray &mode) {
            return settings("<Serial>K1</Serial><UpdateEnabled>true</UpdateEnabled>" + mode + rest);
        };
        QTest::newRow("no file") << QByteArray() << "" << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("mode true") << withMode("<Mode>true</Mode>") << "K1" << true << 1 << false << 12 << "no" << 0
                                   << false;
        QTest::newRow("mode false") << withMode("<Mode>false</Mode>") << "K1" << true << 0 << false << 12 << "no"
                                    << 0 << false;
        QTest::newRow("mode other text") << withMode("<Mode>yes</Mode>") << "K1" << true << 0 << false << 12 << "no"
                                         << 0 << false;
        QTest::newRow("mode True is exact") << withMode("<Mode>True</Mode>") << "K1" << true << 0 << false << 12
                                            << "no" << 0 << false;
        QTest::newRow("mode trimmed") << withMode("<Mode>\n true\t</Mode>") << "K1" << true << 1 << false << 12
                                      << "no" << 0 << false;
        QTest::newRow("mode empty") << withMode("<Mode/>") << "K1" << true << -1 << false << 12 << "no" << 0
                                    << false;
        QTest::newRow("mode blank") << withMode("<Mode> </Mode>") << "K1" << true << -1 << false << 12 << "no" << 0
                                    << false;
        QTest::newRow("mode absent") << withMode("") << "K1" << true << -1 << false << 12 << "no" << 0 << false;
        QTest::newRow("update True is false")
            << settings("<Serial/><UpdateEnabled>True</UpdateEnabled><Mode/><UserWizardEnabled>TRUE"
                        "</UserWizardEnabled><CacheRevision>3</CacheRevision><Password/><Language>en</Language>")
            << "" << false << -1 << false << 3 << "en" << 0 << false;
        QTest::newRow("booleans trimmed")
            << settings("<UpdateEnabled> true\n</UpdateEnabled><UserWizardEnabled>\ttrue </UserWizardEnabled>"
                        "<CacheRevision>3</CacheRevision><Language>en</Language>")
            << "" << true << -1 << true << 3 << "en" << 0 << false;
        QTest::newRow("language untrimmed")
            << settings("<Serial>  K2 </Serial><UpdateEnabled>false</UpdateEnabled><Mode>true</Mode>"
                        "<UserWizardEnabled>true</UserWizardEnabled><CacheRevision> -5 </CacheRevision>"
                        "<Password></Password><Language> en </Language>")
            << "K2" << false << 1 << true << -5 << " en " << 0 << false;
        QTest::newRow("language absent")
            << settings("<UpdateEnabled>true</UpdateEnabled><UserWizardEnabled>true</UserWizardEnabled>"
                        "<CacheRevision>1</CacheRevision>")
            << "" << true << -1 << true << 1 << "" << 0 << false;
        QTest::newRow("last stream id") << settings("<CacheRevision>4</CacheRevision><Language>en</Language>"
                                                    "<LastStreamId>1000</LastStreamId>")
                                        << "" << true << -1 << true << 4 << "en" << 1000 << false;
        QTest::newRow("bad numbers keep values")
            << settings("<UpdateEnabled>false</UpdateEnabled><CacheRevision>12a</CacheRevision>"
                        "<Language>en</Language><LastStreamId>x</LastStreamId>")
            << "" << false << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("numbers out of range")
            << settings("<CacheRevision>99999999999</CacheRevision><Language>en</Language>"
                        "<LastStreamId>-2147483649</LastStreamId>")
            << "" << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("empty numbers")
            << settings("<CacheRevision/><Language>en</Language><LastStreamId> </LastStreamId>")
            << "" << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("no options element") << QByteArray(HEAD + "<Settings><Favorites/></Settings>") << "" << true
                                            << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("other root name")
            << QByteArray("<Foo><Options><Serial>Z</Serial><Mode>true</Mode><Language>en</Language></Options></Foo>")
            << "Z" << true << 1 << true << 0 << "en" << 0 << false;
        QTest::newRow("not well-formed")
            << QByteArray(HEAD + "<Settings><Options><Serial>K9</Serial><Mode>true</Mode>") << "" << true << -1
            << true << 0 << "en" << 0 << false;
        QTest::newRow("empty file") << QByteArray(" ") << "" << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("escaped and cdata")
            << settings("<Serial>&lt;&amp;&gt;<![CDATA[&x]]></Serial><Language>en</Language>") << "<&>&x" << true
            << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("entity not expanded")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE Settings [<!ENTITY x \"boom\">]>"
                          "<Settings><Options><Serial>&x;</Serial><Language>en</Language></Options></Settings>")
            << "&x;" << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("utf-8 text")
            << settings("<Serial>bl\xc3\xa5</Serial><Language>en</Language>") << QString::fromUtf8("bl\u00e5")
            << true << -1 << true << 0 << "en" << 0 << false;
        QTest::newRow("password set") << settings("<Password> 101 </Password><Language>en</Language>") << "" << true
                                      << -1 << true << 0 << "en" << 0 << true;
        QTest::newRow("password zero") << settings("<Password>0</Password><Language>en</Language>") << "" << true
                                       << -1 << true << 0 << "en" << 0 << false;
    }
    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, serial);
        QFETCH(bool, update);
        QFETCH(int, mode);
        QFETCH(bool, wizard);
        QFETCH(int, revision);
        QFETCH(QString, language);
        QFETCH(int, lastId);
        QFETCH(bool, passwordSet);
        if (!content.isEmpty())
            QVERIFY(writeAll(file(), content));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), serial);
        QCOMPARE(Options::getUpdateEnabled(), update);
        QCOMPARE(Options::getMode().has_value(), mode != -1);
        if (mode != -1)
            QCOMPARE(*Options::getMode(), mode == 1);
        QCOMPARE(Options::getUserWizardEnabled(), wizard);
        QCOMPARE(Options::getCacheRevision(), revision);
        QCOMPARE(Options::getLanguage(), language);
        QCOMPARE(Options::getLastStreamId(), lastId);
        QCOMPARE(!Options::evalPasswd(""), passwordSet);
        if (language.startsWith(' '))
            QVERIFY(Options::getFetchstreamsUrl().endsWith("&lang=%20en%20"));
    }

    void golden_data()
    {
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("initial values")
            << true
            << QByteArray(HEAD + "<Settings><Options><Serial/><UpdateEnabled>true</UpdateEnabled><Mode/>"
                                 "<UserWizardEnabled>true</UserWizardEnabled><CacheRevision>0</CacheRevision>"
                                 "<Password/><Language>en</Language><LastStreamId>0</LastStreamId></Options>"
                                 "<Favorites/></Settings>\n");
        QTest::newRow("values and favourites")
            << false
            << QByteArray(HEAD + "<Settings><Options><Serial>K&lt;&amp;&gt;1</Serial>"
                                 "<UpdateEnabled>false</UpdateEnabled><Mode>false</Mode>"
                                 "<UserWizardEnabled>false</UserWizardEnabled><CacheRevision>-1</CacheRevision>"
                                 "<Password>0</Password><Language> en </Language>"
                                 "<LastStreamId>1234</LastStreamId></Options><Favorites>"
                                 "<Entry index=\"0\" format=\"WMP\"><StreamId>42</StreamId>"
                                 "<Name>News &amp; more</Name><Adult>false</Adult></Entry>"
                                 "<Entry index=\"1\" format=\"Icecast\"><StreamId>0</StreamId><Name>Jazz \xc3\xa5</Name>"
                                 "<Adult>true</Adult><Bitrate>128</Bitrate><Url>http://127.0.0.1:8000/j?a=1&amp;b=2</Url>"
                                 "</Entry><Entry index=\"2\"><StreamId>7</StreamId><Name/><Adult>false</Adult></Entry>"
                                 "<Entry index=\"1\" format=\"Icecast\"><StreamId>0</StreamId><Name>Jazz \xc3\xa5</Name>"
                                 "<Adult>true</Adult><Bitrate>128</Bitrate><Url>http://127.0.0.1:8000/j?a=1&amp;b=2</Url>"
                                 "</Entry></Favorites></Settings>\n");
    }
    void golden()
    {
        QFETCH(bool, fresh);
        QFETCH(QByteArray, expected);
        if (!fresh) {
            Options::setSerial("K<&>1");
            Options::setUpdateEnabled(false);
            Options::setMode(false);
            Options::setUserWizardEnabled(false);
            Options::setCacheRevision(-1);
            Options::setPasswd("");
            Options::setLanguage(" en ");
            Options::setLastStreamId(1234);
            Options::addFavorite(record(42, "News & more", "WMP"));
            auto jazz = record(0, QString::fromUtf8("Jazz \u00e5"), "Icecast", true);
            jazz->setBitrate(128);
            jazz->setUrl("http://127.0.0.1:8000/j?a=1&b=2");
            Options::addFavorite(jazz);
            Options::addFavorite(record(7, QString(), QString())); // no format, no name
            Options::addFavorite(jazz); // a directory stream may be listed twice
        }
        QVERIFY(Options::writeToDisk());
        QCOMPARE(readAll(file()), expected);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("no mode") << -1;
        QTest::newRow("limited") << 0;
        QTest::newRow("full") << 1;
    }
    void roundTrip()
    {
        QFETCH(int, mode);
        const QString serial = QString::fromUtf8("a<b>&c\"d' \u00e5\u4e2d");
        if (mode != -1)
            Options::setMode(mode == 1);
        Options::setSerial(serial);
        Options::setUpdateEnabled(false);
        Options::setUserWizardEnabled(false);
        Options::setCacheRevision(-7);
        Options::setLanguage(" no\t");
        Options::setLastStreamId(99);
        Options::setPasswd("secret word");
        QVERIFY(Options::writeToDisk());
        const QByteArray written = readAll(file());

        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), serial);
        QCOMPARE(Options::getUpdateEnabled(), false);
        QCOMPARE(Options::getMode().has_value(), mode != -1);
        if (mode != -1)
            QCOMPARE(*Options::getMode(), mode == 1);
        QCOMPARE(Options::getUserWizardEnabled(), false);
        QCOMPARE(Options::getCacheRevision(), -7);
        QCOMPARE(Options::getLanguage(), QString(" no\t"));
        QCOMPARE(Options::getLastStreamId(), 99);
        QVERIFY(!Options::evalPasswd(""));
        QVERIFY(Options::evalPasswd("secret word"));
        QVERIFY(!Options::evalPasswd("word secret"));
        // Reading and writing again gives the same file.
        QVERIFY(Options::writeToDisk());
        QCOMPARE(readAll(file()), written);
    }

    void controlCharactersKeepFileWellFormed()
    {
        Options::setSerial(QString("A") + QChar(1) + "B" + QChar(0xFFFF));
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getSerial(), QString("AB"));
    }

    void lastStreamIdIsLastChild()
    {
        Options::setLastStreamId(5123);
        QVERIFY(Options::writeToDisk());
        QVERIFY(readAll(file()).contains("<Language>en</Language><LastStreamId>5123</LastStreamId></Options>"));
    }

    void failedWriteKeepsOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only directory") << "readonly";
        QTest::newRow("file size limit") << "fsize";
    }
    void failedWriteKeepsOldFile()
    {
        QFETCH(QString, fault);
        Options::setSerial("OLD");
        const QByteArray before = readAll(file());
        QVERIFY(before.contains("<Serial>OLD</Serial>"));
        {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not write options.xml"));
            const QByteArray dir = QFile::encodeName(m_dir->path());
            rlimit oldLimit{};
            bool ok = false;
            if (fault == "readonly") {
                QCOMPARE(::chmod(dir.constData(), 0555), 0);
                // The super-user writes anywhere: act as an ordinary user.
                const bool root = ::geteuid() == 0;
                if (root)
                    QCOMPARE(::seteuid(65534), 0);
                Options::setUpdateEnabled(false);
                ok = Options::writeToDisk();
                if (root)
                    QCOMPARE(::seteuid(0), 0);
                QCOMPARE(::chmod(dir.constData(), 0700), 0);
            } else {
                std::signal(SIGXFSZ, SIG_IGN);
                QCOMPARE(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
                rlimit small = oldLimit;
                small.rlim_cur = 40;
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
                Options::setUpdateEnabled(false);
                ok = Options::writeToDisk();
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &oldLimit), 0);
            }
            QVERIFY(!ok);
        }
        QCOMPARE(readAll(file()), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"options.xml"});
        QVERIFY(Options::writeToDisk());
        QVERIFY(readAll(file()).contains("<UpdateEnabled>false</UpdateEnabled>"));
    }

    void password_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty, empty") << "" << "" << true;
        QTest::newRow("empty, blanks") << "" << " \t" << true;
        QTest::newRow("empty, text") << "" << "x" << false;
        QTest::newRow("empty, even letters") << "" << "aa" << false;
        QTest::newRow("same") << "abc" << "abc" << true;
        QTest::newRow("anagram") << "abc" << "cba" << false;
        QTest::newRow("other case") << "abc" << "ABC" << false;
        QTest::newRow("empty entry") << "abc" << "" << false;
        QTest::newRow("even letters set") << "aa" << "" << false;
        QTest::newRow("even letters") << "aa" << "aa" << true;
        QTest::newRow("set with blanks") << " abc " << "abc" << true;
        QTest::newRow("entered with blanks") << "abc" << "\tabc\n" << true;
        QTest::newRow("inner blank counts") << "a bc" << "abc" << false;
        QTest::newRow("non-ascii") << QString::fromUtf8("bl\u00e5b\u00e6r") << QString::fromUtf8("bl\u00e5b\u00e6r")
                                   << true;
        QTest::newRow("built-in, empty") << "qelmorvintashk" << "" << false;
    }
    void password()
    {
        QFETCH(QString, password);
        QFETCH(QString, entry);
        QFETCH(bool, accepted);
        Options::setPasswd(password);
        QCOMPARE(Options::evalPasswd(entry), accepted);
        // The same after a save and a start.
        QVERIFY(Options::writeToDisk());
        const QString stored = passwordElement(readAll(file()));
        if (password.trimmed().isEmpty())
            QCOMPARE(stored, QString("0"));
        else
            QVERIFY2(stored.startsWith("$argon2id$"), qPrintable(stored));
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::evalPasswd(entry), accepted);
    }

    void saltedHash()
    {
        Options::setPasswd("abc");
        QVERIFY(Options::writeToDisk());
        const QString first = passwordElement(readAll(file()));
        Options::setPasswd("abc");
        QVERIFY(Options::writeToDisk());
        const QString second = passwordElement(readAll(file()));
        QVERIFY(first != second);
        QVERIFY(Options::evalPasswd("abc"));
    }

    void olderFilePassword_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("upgraded");
        QTest::newRow("legacy right") << oldHash("abc") << "abc" << true << true;
        QTest::newRow("legacy wrong") << oldHash("abc") << "abd" << false << false;
        QTest::newRow("legacy trimmed") << " " + oldHash("abc") + " " << " abc" << true << true;
        QTest::newRow("legacy negative") << oldHash("\xe9") << QString::fromLatin1("\xe9") << true << true;
        QTest::newRow("legacy utf-8") << oldHash("\xc3\xa9x") << QString::fromUtf8("\u00e9x") << true << true;
        QTest::newRow("legacy zero, empty") << "0" << "" << true << false;
        QTest::newRow("legacy zero, even") << "0" << "aa" << false << false;
        QTest::newRow("garbage, empty") << "xyz" << "" << false << false;
        QTest::newRow("garbage, same text") << "xyz" << "xyz" << false << false;
    }
    void olderFilePassword()
    {
        QFETCH(QString, stored);
        QFETCH(QString, entry);
        QFETCH(bool, accepted);
        QFETCH(bool, upgraded);
        QVERIFY(writeAll(file(), settings("<Password>" + stored.toUtf8() + "</Password><Language>en</Language>")));
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::evalPasswd(entry), accepted);
        QVERIFY(Options::writeToDisk());
        const QString now = passwordElement(readAll(file()));
        QCOMPARE(now.startsWith("$argon2id$"), upgraded);
        if (upgraded) {
            // From now on only the text entered passes, not its anagrams.
            QVERIFY(Options::evalPasswd(entry));
            QVERIFY(!Options::evalPasswd(""));
            if (entry.trimmed() == "abc")
                QVERIFY(!Options::evalPasswd("cba"));
        }
    }

    void limitedModeLocks_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<bool>("locked");
        QTest::newRow("limited") << QByteArray("<Mode>false</Mode>") << true;
        QTest::newRow("full") << QByteArray("<Mode>true</Mode>") << false;
        QTest::newRow("no mode") << QByteArray("<Mode/>") << false;
    }
    void limitedModeLocks()
    {
        QFETCH(QByteArray, mode);
        QFETCH(bool, locked);
        QVERIFY(writeAll(file(), settings(mode + "<Password>0</Password><Language>en</Language>")));
        Options::readFromDisk(nullptr, nullptr, false, true);
        // The start-up read does not apply the mode yet.
        QVERIFY(Options::evalPasswd(""));
        Options::readFromDisk(nullptr, nullptr, false, false);
        QCOMPARE(Options::evalPasswd(""), !locked);
        if (locked) {
            QVERIFY(Options::evalPasswd("qelmorvintashk"));
            QVERIFY(Options::evalPasswd(" qelmorvintashk\t"));
            QVERIFY(!Options::evalPasswd("kqelmorvintash"));
            QVERIFY(!Options::evalPasswd("0"));
        }
    }

    void setModeAndSerialWriteAtOnce()
    {
        QVERIFY(!QFile::exists(file()));
        Options::setUpdateEnabled(false);
        Options::setCacheRevision(5);
        QVERIFY(!QFile::exists(file()));

        Options::setMode(false);
        QByteArray now = readAll(file());
        QVERIFY(now.contains("<Mode>false</Mode>"));
        QVERIFY(now.contains("<CacheRevision>5</CacheRevision>"));

        Options::setPasswd("lock");
        Options::setMode(true); // full mode clears the password
        now = readAll(file());
        QVERIFY(now.contains("<Mode>true</Mode>"));
        QVERIFY(now.contains("<Password>0</Password>"));
        QVERIFY(Options::evalPasswd(""));

        Options::setSerial("S1");
        QVERIFY(readAll(file()).contains("<Serial>S1</Serial>"));
        Options::setLanguage("no");
        QVERIFY(readAll(file()).contains("<Language>en</Language>"));
    }

    void modeNotPersistent()
    {
        Options::setModeNotPersistent(true);
        QCOMPARE(Options::getModeNotPersistent(), std::optional<bool>(true));
        Options::setModeNotPersistent(false);
        QCOMPARE(Options::getModeNotPersistent(), std::optional<bool>(false));
        QVERIFY(!Options::getMode().has_value());
        QVERIFY(Options::writeToDisk());
        QVERIFY(readAll(file()).contains("<Mode/>"));
    }

    void resetRestoresInitialValues()
    {
        Options::setSerial("X");
        Options::setMode(false);
        Options::setModeNotPersistent(true);
        Options::setLanguage("no");
        Options::setLastStreamId(3);
        Options::setCacheRevision(3);
        Options::setPasswd("p");
        Options::addFavorite(record(1, "One", "WMP"));
        Options::resetToDefaults();
        initialValues();
    }

    // The catalogue worker reads and writes while the UI thread saves.
    void concurrentUse()
    {
        std::atomic<bool> stop{false};
        std::thread worker([&] {
            int i = 0;
            while (!stop.load()) {
                Options::setCacheRevision(i);
                Options::setLastStreamId(Options::getCacheRevision() + 1);
                (void)Options::getFetchstreamsUrl();
                ++i;
            }
        });
        for (int i = 0; i < 20; ++i) {
            Options::setLanguage(i % 2 ? "no" : "en");
            QVERIFY(Options::writeToDisk());
        }
        stop = true;
        worker.join();
        Options::setCacheRevision(77);
        Options::setLastStreamId(78);
        QVERIFY(Options::writeToDisk());
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        QCOMPARE(Options::getCacheRevision(), 77);
        QCOMPARE(Options::getLastStreamId(), 78);
        QCOMPARE(Options::getLanguage(), QString("no"));
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
