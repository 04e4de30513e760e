// The character encoding named in a document's XML declaration, for the
// three documents from outside: the catalogue (downloaded and from the cache
// file), the Icecast directory and the pay-per-view catalogue, each served by
// the reference service.
#include "catalogue/IcecastFetcher.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVFetcher.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/TulException.h"
#include "catalogue/Zlib.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

namespace {

QByteArray declaration(const QByteArray &encoding)
{
    if (encoding.isNull())
        return QByteArray();
    if (encoding.startsWith('\''))
        return "<?xml version=\"1.0\" encoding=" + encoding + "?>";
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
}

QByteArray catalogueDocument(const QByteArray &encoding, const QByteArray &name)
{
    return declaration(encoding)
           + "<Catalogue><Streams><Stream id=\"1\" adult=\"false\" topstream=\"false\"><Name>" + name
           + "</Name><Language>English</Language><Country>Norway</Country><Bitrate>300</Bitrate>"
             "<Format>WMP</Format><Type>Radio</Type><Live>True</Live><Category>Jazz</Category>"
             "<Url>mms://127.0.0.1/1</Url></Stream></Streams></Catalogue>";
}

QByteArray directoryDocument(const QByteArray &encoding, const QByteArray &name)
{
    return declaration(encoding) + "<directory><entry><server_name>" + name
           + "</server_name><genre>Jazz</genre><bitrate>128</bitrate>"
             "<listen_url>http://127.0.0.1/a</listen_url></entry></directory>";
}

QByteArray ppvDocument(const QByteArray &encoding, const QByteArray &name)
{
    return declaration(encoding) + "<r><PPV><Catalog><Entry id=\"1\" adult=\"false\"><Name>" + name
           + "</Name><Bitrate>300</Bitrate><Category>Film</Category><Length>60</Length></Entry></Catalog>"
             "<Inventory/></PPV></r>";
}

QString catalogueName(StreamsFetcher &fetcher)
{
    CatalogueIndexes indexes;
    int latest = 0;
    const auto list = fetcher.getStreamList(indexes, latest);
    return list && list->size() == 1 ? list->at(0)->getName() : QStringLiteral("(no record)");
}

// The name read, or the key of the failure.
QString outcome(const std::function<QString()> &read)
{
    try {
        return read();
    } catch (const TulException &e) {
        return QStringLiteral("error: ") + e.getMsg();
    }
}

} // namespace

class TestDocumentEncodings : public QObject, ServiceInTempDir
{
    Q_OBJECT

private slots:
    void initTestCase() { startService(); }
    void cleanupTestCase() { service.reset(); }

    void init()
    {
        enterTempDir();
        if (QTest::currentTestFailed())
            return;
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
        service->setDirectoryEncoding(RefService::Encoding::Gzip);
        service->setPpvEncoding(RefService::Encoding::Gzip);
    }
    void cleanup()
    {
        service->setCatalogue(QByteArray());
        service->setDirectory(QByteArray());
        service->setPpvDocument(QByteArray());
        leaveTempDir();
    }

    void declaredEncoding_data()
    {
        QTest::addColumn<QByteArray>("encoding"); // null: no declaration
        QTest::addColumn<QByteArray>("name");     // the name's bytes in that encoding
        QTest::addColumn<QString>("expected");    // the name read; empty: a ParseError

        QTest::newRow("windows-1252") << QByteArray("windows-1252") << QByteArray("Caf\xe9 \x80 \x93Jazz\x94")
                                      << QString::fromUtf8("Café € “Jazz”");
        QTest::newRow("WINDOWS-1252 in single quotes")
            << QByteArray("'WINDOWS-1252'") << QByteArray("Caf\xe9 \x80") << QString::fromUtf8("Café €");
        QTest::newRow("ISO-8859-15") << QByteArray("ISO-8859-15") << QByteArray("\xa4uro \xbd uvre")
                                     << QString::fromUtf8("€uro œ uvre");
        QTest::newRow("KOI8-R") << QByteArray("KOI8-R") << QByteArray("\xf0\xd2\xc9\xd7\xc5\xd4")
                                << QString::fromUtf8("Привет");
        QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS") << QByteArray("\x93\xfa\x96\x7b")
                                   << QString::fromUtf8("日本");
        QTest::newRow("ISO8859-1 spelled otherwise")
            << QByteArray("ISO8859-1") << QByteArray("Caf\xe9") << QString::fromUtf8("Café");
        QTest::newRow("iso-8859-1") << QByteArray("iso-8859-1") << QByteArray("\xa4 Caf\xe9")
                                    << QString::fromUtf8("¤ Café");
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("Caf\xc3\xa9 \xe2\x82\xac")
                               << QString::fromUtf8("Café €");
        QTest::newRow("no declaration") << QByteArray() << QByteArray("Caf\xc3\xa9") << QString::fromUtf8("Café");
        QTest::newRow("a byte windows-1252 has no character for")
            << QByteArray("windows-1252") << QByteArray("A\x81" "B") << QString::fromUtf8("A\xef\xbf\xbd" "B");
        QTest::newRow("unknown encoding") << QByteArray("x-no-such-encoding") << QByteArray("Caf\xe9") << QString();
        QTest::newRow("not an encoding name") << QByteArray("UTF-8//TRANSLIT") << QByteArray("Caf\xe9") << QString();
    }
    void declaredEncoding()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, name);
        QFETCH(QString, expected);
        const QString parseError = QStringLiteral("error: ") + LangMsg::getMsg("ParseError");

        // The catalogue, downloaded.
        const QByteArray catalogue = catalogueDocument(encoding, name);
        service->setCatalogue(catalogue);
        StreamsFetcher fetcher;
        QCOMPARE(outcome([&] {
                     fetcher.openURL(service->baseUrl() + "/getstreams.php");
                     return catalogueName(fetcher);
                 }),
                 expected.isEmpty() ? parseError : expected);

        // The catalogue from the cache file, which holds the bytes as sent.
        QVERIFY(writeAll("data.dat", Zlib::gzipCompress(catalogue)));
        StreamsFetcher cached;
        QCOMPARE(outcome([&] {
                     cached.openGZipFile("data.dat");
                     return catalogueName(cached);
                 }),
                 expected.isEmpty() ? "error: data.dat: " + LangMsg::getMsg("FileReadError") : expected);

        // The Icecast directory.
        service->setDirectory(directoryDocument(encoding, name));
        IcecastFetcher icecast;
        QCOMPARE(outcome([&] {
                     icecast.openUrl(service->baseUrl() + "/yp.xml");
                     const auto list = icecast.getStreamList();
                     return list && list->size() == 1 ? list->at(0)->getName() : QStringLiteral("(no record)");
                 }),
                 expected.isEmpty() ? parseError : expected);

        // The pay-per-view catalogue.
        service->setPpvDocument(ppvDocument(encoding, name));
        PPVFetcher ppv;
        QCOMPARE(outcome([&] {
                     ppv.openURL(service->baseUrl() + "/getppv.php?serial=");
                     const auto list = ppv.getStreamList();
                     return list && list->size() == 1 ? list->at(0)->getName() : QStringLiteral("(no record)");
                 }),
                 expected.isEmpty() ? parseError : expected);
    }
};

QTEST_GUILESS_MAIN(TestDocumentEncodings)
#include "tst_document_encodings.moc"
