#include "catalogue/Options.h"
#include "catalogue/ServerConfig.h"

#include <QRegularExpression>
#include <QtTest>
#include <functional>

using ServerConfig::Server;

namespace {

const char *const CATALOGUE = "127.0.0.1:18080";
const char *const ORDER = "127.0.0.1:18443";
const char *const FORUM = "127.0.0.1:18081";

const QList<Server> allServers = {Server::Catalogue, Server::Order, Server::Forum, Server::Maker, Server::Icecast};

void unsetAll()
{
    for (Server s : allServers)
        qunsetenv(ServerConfig::environmentVariable(s));
}

const std::vector<std::function<QString()>> &builderList()
{
    static const std::vector<std::function<QString()>> list = {
        [] { return Options::getCacheRevisionUrl(); },
        [] { return Options::getFetchstreamsUrl(); },
        [] { return Options::getPpvUrlFetch(); },
        [] { return Options::getPpvMovieUrl(4711); },
        [] { return Options::getPpvMovieUrl(0); },
        [] { return Options::getPpvMovieUrl(-3); },
        [] { return Options::getPpvDescriptionUrl(); },
        [] { return Options::getReportBrokenLinkUrl(42); },
        [] { return Options::getReportBrokenLinkUrl(-1); },
        [] { return Options::getPpvUrl(); },
        [] { return Options::getManualUrl(); },
    };
    return list;
}

} // namespace

class TestAddresses : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        Options::resetToDefaults();
        unsetAll();
        qputenv("QUORVANTEL_CATALOGUE_HOST", CATALOGUE);
        qputenv("QUORVANTEL_ORDER_HOST", ORDER);
        qputenv("QUORVANTEL_FORUM_HOST", FORUM);
    }
    void cleanupTestCase() { unsetAll(); }

    void builders_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("builder");
        QTest::addColumn<QString>("expected");
        const QString cat = QStringLiteral("http://127.0.0.1:18080");
        QTest::newRow("revision") << "ABC123" << "en" << 0 << cat + "/cacheversion.txt";
        QTest::newRow("streams") << "ABC123" << "en" << 1
                                 << cat + "/getstreams.php?version=10.0.0&serial=ABC123&lang=en";
        QTest::newRow("streams no key") << QString() << "no" << 1
                                        << cat + "/getstreams.php?version=10.0.0&serial=&lang=no";
        QTest::newRow("streams no key no language")
            << QString() << QString() << 1 << cat + "/getstreams.php?version=10.0.0&serial=&lang=";
        QTest::newRow("ppv fetch") << "ABC123" << "en" << 2 << cat + "/getppv.php?serial=ABC123";
        QTest::newRow("ppv fetch no key") << QString() << "en" << 2 << cat + "/getppv.php?serial=";
        QTest::newRow("ppv movie") << "k9" << "en" << 3 << cat + "/ppvshow.php?serial=k9&videoid=4711";
        QTest::newRow("ppv movie 0") << "k9" << "en" << 4 << cat + "/ppvshow.php?serial=k9&videoid=0";
        QTest::newRow("ppv movie negative") << "k9" << "en" << 5 << cat + "/ppvshow.php?serial=k9&videoid=-3";
        QTest::newRow("ppv description") << "k9" << "en" << 6 << cat + "/getPPVDescription.php?serial=k9";
        QTest::newRow("broken link") << "k9" << "en" << 7 << cat + "/brokenstreamreport.php?id=42";
        QTest::newRow("broken link negative") << "k9" << "en" << 8 << cat + "/brokenstreamreport.php?id=-1";
        QTest::newRow("order page") << "k9" << "en" << 9 << "https://127.0.0.1:18443/ppv/ppvorder.php?serial=k9";
        QTest::newRow("manual") << "k9" << "en" << 10 << "http://127.0.0.1:18081/viewforum.php?f=11";
    }
    void builders()
    {
        QFETCH(QString, serial);
        QFETCH(QString, language);
        QFETCH(int, builder);
        QFETCH(QString, expected);
        QTemporaryDir dir; // setSerial writes the settings file
        QVERIFY(dir.isValid());
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (!serial.isNull())
            Options::setSerial(serial);
        Options::setLanguage(language);
        const QString url = builderList().at(size_t(builder))();
        QDir::setCurrent(old);
        QCOMPARE(url, expected);
    }

    void valuesAreReadAtEachCall()
    {
        QCOMPARE(Options::getFetchstreamsUrl(), "http://127.0.0.1:18080/getstreams.php?version=10.0.0&serial=&lang=en");
        Options::setLanguage("no");
        QVERIFY(Options::getFetchstreamsUrl().endsWith("&lang=no"));
        qputenv("QUORVANTEL_CATALOGUE_HOST", "127.0.0.1:9");
        QCOMPARE(Options::getCacheRevisionUrl(), "http://127.0.0.1:9/cacheversion.txt");
    }

    void encoding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plain") << "Abc123" << "Abc123";
        QTest::newRow("unreserved") << "a-b.c_d~e" << "a-b.c_d~e";
        QTest::newRow("ampersand") << "a&b" << "a%26b";
        QTest::newRow("plus") << "a+b" << "a%2Bb";
        QTest::newRow("hash") << "a#b" << "a%23b";
        QTest::newRow("blanks") << " en " << "%20en%20";
        QTest::newRow("equals and percent") << "x=1%" << "x%3D1%25";
        QTest::newRow("slash and question") << "/?" << "%2F%3F";
        QTest::newRow("e-mail") << "ann+tv@example.org" << "ann%2Btv%40example.org";
        QTest::newRow("non-ascii") << QString::fromUtf8("bl\u00e5") << "bl%C3%A5";
        QTest::newRow("empty") << "" << "";
    }
    void encoding()
    {
        QFETCH(QString, value);
        QFETCH(QString, encoded);
        QCOMPARE(Options::encodeQueryValue(value), encoded);
    }

    void encodedInAddresses()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Options::setSerial("a&b+c#d e");
        QDir::setCurrent(old);
        Options::setLanguage(" en ");
        QCOMPARE(Options::getFetchstreamsUrl(),
                 "http://127.0.0.1:18080/getstreams.php?version=10.0.0&serial=a%26b%2Bc%23d%20e&lang=%20en%20");
        QCOMPARE(Options::getPpvMovieUrl(7), "http://127.0.0.1:18080/ppvshow.php?serial=a%26b%2Bc%23d%20e&videoid=7");
        QCOMPARE(Options::getPpvUrl(), "https://127.0.0.1:18443/ppv/ppvorder.php?serial=a%26b%2Bc%23d%20e");
    }

    void hostOverride_data()
    {
        QTest::addColumn<int>("server");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("accepted");
        const int cat = int(Server::Catalogue);
        QTest::newRow("host") << cat << QByteArray("127.0.0.1") << true;
        QTest::newRow("host:port") << cat << QByteArray("127.0.0.1:8080") << true;
        QTest::newRow("name:port") << int(Server::Maker) << QByteArray("local-host.test:1") << true;
        QTest::newRow("ipv6") << int(Server::Icecast) << QByteArray("[::1]:65535") << true;
        QTest::newRow("order") << int(Server::Order) << QByteArray("127.0.0.1:443") << true;
        QTest::newRow("forum") << int(Server::Forum) << QByteArray("127.0.0.1") << true;
        QTest::newRow("path") << cat << QByteArray("127.0.0.1/evil") << false;
        QTest::newRow("query") << cat << QByteArray("127.0.0.1?x=1") << false;
        QTest::newRow("fragment") << cat << QByteArray("127.0.0.1#x") << false;
        QTest::newRow("user") << cat << QByteArray("user@127.0.0.1") << false;
        QTest::newRow("blank") << cat << QByteArray("127.0.0.1 :80") << false;
        QTest::newRow("scheme") << int(Server::Order) << QByteArray("http://127.0.0.1") << false;
        QTest::newRow("port zero") << cat << QByteArray("127.0.0.1:0") << false;
        QTest::newRow("port too big") << cat << QByteArray("127.0.0.1:65536") << false;
        QTest::newRow("empty port") << cat << QByteArray("127.0.0.1:") << false;
        QTest::newRow("two ports") << cat << QByteArray("127.0.0.1:80:81") << false;
        QTest::newRow("port only") << int(Server::Forum) << QByteArray(":80") << false;
    }
    void hostOverride()
    {
        QFETCH(int, server);
        QFETCH(QByteArray, value);
        QFETCH(bool, accepted);
        const Server s = Server(server);
        const char *variable = ServerConfig::environmentVariable(s);
        qunsetenv(variable);
        const QString fallback = ServerConfig::host(s);
        QVERIFY(!fallback.isEmpty());
        qputenv(variable, value);
        if (!accepted) {
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Ignoring " + QString::fromLatin1(variable) + "=.*"));
        }
        QCOMPARE(ServerConfig::host(s), accepted ? QString::fromLatin1(value) : fallback);
        // Said once per value, not at every address.
        QCOMPARE(ServerConfig::host(s), accepted ? QString::fromLatin1(value) : fallback);
    }

    void emptyVariableIsUnset()
    {
        for (Server s : allServers) {
            const char *variable = ServerConfig::environmentVariable(s);
            qunsetenv(variable);
            const QString fallback = ServerConfig::host(s);
            qputenv(variable, "");
            QCOMPARE(ServerConfig::host(s), fallback);
        }
    }

    void variableNames()
    {
        QCOMPARE(ServerConfig::environmentVariable(Server::Catalogue), "QUORVANTEL_CATALOGUE_HOST");
        QCOMPARE(ServerConfig::environmentVariable(Server::Order), "QUORVANTEL_ORDER_HOST");
        QCOMPARE(ServerConfig::environmentVariable(Server::Forum), "QUORVANTEL_FORUM_HOST");
        QCOMPARE(ServerConfig::environmentVariable(Server::Maker), "QUORVANTEL_MAKER_HOST");
        QCOMPARE(ServerConfig::environmentVariable(Server::Icecast), "QUORVANTEL_ICECAST_HOST");
    }

    void rejectedHostFallsBackInAddresses()
    {
        qunsetenv("QUORVANTEL_FORUM_HOST");
        const QString fallback = Options::getManualUrl();
        qputenv("QUORVANTEL_FORUM_HOST", "127.0.0.1/x?");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Ignoring QUORVANTEL_FORUM_HOST="));
        QCOMPARE(Options::getManualUrl(), fallback);
        QVERIFY(fallback.startsWith("http://"));
        QVERIFY(fallback.endsWith("/viewforum.php?f=11"));
    }
};

QTEST_GUILESS_MAIN(TestAddresses)
#include "tst_addresses.moc"
