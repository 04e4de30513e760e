#include "service/ReferenceService.h"

#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace RefService;
Q_DECLARE_METATYPE(RefService::Encoding)
Q_DECLARE_METATYPE(RefService::UpdateMode)

namespace {

QByteArray toBytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// A client that shows the bytes as sent: no decompression, no extra
// Accept-Encoding.
std::unique_ptr<httplib::Client> client(const ReferenceService &service)
{
    auto c = std::make_unique<httplib::Client>("127.0.0.1", service.port());
    c->set_decompress(false);
    c->set_connection_timeout(5);
    c->set_read_timeout(10);
    return c;
}

struct RawReply
{
    QByteArray head;        // status line and headers
    QByteArray body;        // what followed until the connection closed
    QByteArray firstBody;   // the body as far as it had come when its first bytes arrived
    bool ok = false;
};

// One GET over a plain socket, reading until the server closes.
RawReply rawGet(int port, const QByteArray &target, const QByteArray &extraHeaders = {})
{
    RawReply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return reply;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return reply;
    }
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "Connection: close\r\n\r\n";
    if (::send(fd, request.constData(), size_t(request.size()), 0) != request.size()) {
        ::close(fd);
        return reply;
    }
    QByteArray all;
    char buffer[65536];
    bool firstBodyDone = false;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            ::close(fd);
            return reply;
        }
        if (n == 0)
            break;
        all.append(buffer, qsizetype(n));
        if (!firstBodyDone) {
            const qsizetype end = all.indexOf("\r\n\r\n");
            if (end >= 0 && all.size() > end + 4) {
                firstBodyDone = true;
                reply.firstBody = all.mid(end + 4);
            }
        }
    }
    ::close(fd);
    const qsizetype end = all.indexOf("\r\n\r\n");
    if (end < 0)
        return reply;
    reply.head = all.left(end);
    reply.body = all.mid(end + 4);
    reply.ok = true;
    return reply;
}

QByteArray headerValue(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

int countElements(const QByteArray &xml, const QString &name)
{
    QXmlStreamReader reader(xml);
    int n = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == name)
            ++n;
    }
    return reader.hasError() ? -1 : n;
}

// Text of every child element with this name, in document order.
QStringList elementTexts(const QByteArray &xml, const QString &name)
{
    QXmlStreamReader reader(xml);
    QStringList out;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == name)
            out << reader.readElementText();
    }
    return out;
}

ReferenceService::Config quietConfig(const QString &dataDir)
{
    ReferenceService::Config config;
    config.dataDir = dataDir;
    config.logToStderr = false;
    return config;
}

} // namespace

class TestService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bindsAnyFreePort();
    void portInUseFailsToStart();
    void revisionBody();
    void catalogueEncodings_data();
    void catalogueEncodings();
    void acceptEncodingRefusal_data();
    void acceptEncodingRefusal();
    void demoCatalogueContent();
    void updateUrlInCatalogue();
    void customCatalogueServedAsSet();
    void generatedCatalogue();
    void ppvDocumentRentals();
    void orderFlowRecordsRental();
    void ppvShowRedirectsToMedia();
    void descriptionAndOrderPagesEscapeInput();
    void serviceRequestsAnswerOkAndAreLogged_data();
    void serviceRequestsAnswerOkAndAreLogged();
    void replySwitches_data();
    void replySwitches();
    void splitReplyArrivesInTwoReads();
    void statusAndHeaderSwitchesOnAnyPath();
    void delayIsEndedByStop();
    void heldReplyWaitsForRelease();
    void directory();
    void forumPage();
    void updateModes_data();
    void updateModes();
    void mediaByteRanges();
    void codecsRoundTrip();
    void parallelRequestsAreAllLogged();
    void https();
    void mediaGeneration();
    void programPrintsPortAndEndsOnSigterm();
    void programAnnouncesUpdate_data();
    void programAnnouncesUpdate();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ReferenceService> m_service;
};

void TestService::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_service = std::make_unique<ReferenceService>(quietConfig(m_dir->path()));
    QVERIFY(m_service->start());
}

void TestService::cleanup()
{
    m_service.reset();
    m_dir.reset();
}

void TestService::bindsAnyFreePort()
{
    ReferenceService other(quietConfig(m_dir->path()));
    QVERIFY(other.start());
    QVERIFY(m_service->port() > 0);
    QVERIFY(other.port() > 0);
    QVERIFY(other.port() != m_service->port());
    QCOMPARE(m_service->hostPort(), QStringLiteral("127.0.0.1:%1").arg(m_service->port()));
    QCOMPARE(m_service->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_service->port()));
    auto res = client(other)->Get("/cacheversion.txt");
    QVERIFY(res);
    QCOMPARE(res->status, 200);
    other.stop();
    QVERIFY(!other.isRunning());
    QCOMPARE(other.port(), 0);
    // A stopped service can start again.
    QVERIFY(other.start());
    QVERIFY(client(other)->Get("/cacheversion.txt"));
}

void TestService::portInUseFailsToStart()
{
    ReferenceService::Config config = quietConfig(m_dir->path());
    config.port = quint16(m_service->port());
    ReferenceService second(config);
    QVERIFY(!second.start());
    QVERIFY(!second.isRunning());
    // The running one is unharmed.
    QVERIFY(client(*m_service)->Get("/cacheversion.txt"));
}

void TestService::revisionBody()
{
    auto c = client(*m_service);
    auto res = c->Get("/cacheversion.txt");
    QVERIFY(res);
    QCOMPARE(toBytes(res->body), QByteArray("1\n"));
    m_service->setRevision(13);
    QCOMPARE(toBytes(c->Get("/cacheversion.txt")->body), QByteArray("13\n"));
    m_service->setRevisionBody("12\n13");
    QCOMPARE(toBytes(c->Get("/cacheversion.txt")->body), QByteArray("12\n13"));
    m_service->setRevisionBody("");
    res = c->Get("/cacheversion.txt");
    QCOMPARE(res->status, 200);
    QVERIFY(res->body.empty());
}

void TestService::catalogueEncodings_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<QByteArray>("expectedHeader");
    QTest::addColumn<int>("decoder"); // 0 none, 1 gzip, 2 raw deflate, 3 zlib

    const QByteArray both = "gzip, deflate";
    QTest::newRow("plain") << Encoding::Plain << QByteArray() << both << QByteArray() << 0;
    QTest::newRow("gzip") << Encoding::Gzip << QByteArray() << both << QByteArray("gzip") << 1;
    QTest::newRow("GZIP") << Encoding::GzipUpper << QByteArray() << both << QByteArray("GZIP") << 1;
    QTest::newRow("raw deflate") << Encoding::Deflate << QByteArray() << both << QByteArray("deflate") << 2;
    QTest::newRow("zlib deflate") << Encoding::ZlibDeflate << QByteArray() << both << QByteArray("deflate") << 3;
    QTest::newRow("bogus gzip") << Encoding::BogusGzip << QByteArray() << both << QByteArray("gzip") << 0;
    QTest::newRow("unknown coding") << Encoding::Unknown << QByteArray() << both << QByteArray("br") << 0;
    QTest::newRow("gzip, none accepted") << Encoding::Gzip << QByteArray() << QByteArray() << QByteArray() << 0;
    QTest::newRow("gzip, deflate only") << Encoding::Gzip << QByteArray() << QByteArray("deflate") << QByteArray() << 0;
    QTest::newRow("deflate, gzip only") << Encoding::Deflate << QByteArray() << QByteArray("gzip") << QByteArray() << 0;
    QTest::newRow("gzip, star") << Encoding::Gzip << QByteArray() << QByteArray("*") << QByteArray("gzip") << 1;
    // A text body is never compressed behind the service's back.
    QTest::newRow("plain, br accepted") << Encoding::Plain << QByteArray() << QByteArray("br, gzip") << QByteArray() << 0;
}

void TestService::catalogueEncodings()
{
    QFETCH(Encoding, encoding);
    QFETCH(QByteArray, accept);
    QFETCH(QByteArray, expectedHeader);
    QFETCH(int, decoder);

    m_service->setCatalogueEncoding(encoding);
    const QByteArray extra = accept.isNull() ? QByteArray() : "Accept-Encoding: " + accept + "\r\n";
    const RawReply reply = rawGet(m_service->port(), "/getstreams.php?version=10.0.0&serial=&lang=", extra);
    QVERIFY(reply.ok);
    QVERIFY(reply.head.startsWith("HTTP/1.1 200"));
    QCOMPARE(headerValue(reply.head, "Content-Encoding"), expectedHeader);
    QCOMPARE(headerValue(reply.head, "Content-Length").toLongLong(), qint64(reply.body.size()));
    std::optional<QByteArray> decoded = reply.body;
    if (decoder == 1)
        decoded = gzipDecompress(reply.body);
    else if (decoder == 2)
        decoded = rawInflate(reply.body);
    else if (decoder == 3)
        decoded = zlibInflate(reply.body);
    QVERIFY(decoded);
    QCOMPARE(*decoded, m_service->catalogue());
    if (decoder == 2)
        QVERIFY(!zlibInflate(reply.body)); // no zlib header
    // Asked a second time (from the kept encoded form): the same bytes.
    QCOMPARE(rawGet(m_service->port(), "/getstreams.php", extra).body, reply.body);
}

void TestService::acceptEncodingRefusal_data()
{
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<bool>("gzipped");
    QTest::newRow("q=0") << QByteArray("gzip;q=0, deflate") << false;
    QTest::newRow("q=0.0 with blanks") << QByteArray("deflate, gzip ; q=0.0") << false;
    QTest::newRow("q=0.5") << QByteArray("gzip;q=0.5") << true;
    QTest::newRow("upper case") << QByteArray("GZIP") << true;
    QTest::newRow("identity") << QByteArray("identity") << false;
    QTest::newRow("x-gzip is not gzip") << QByteArray("x-gzip") << false;
}

void TestService::acceptEncodingRefusal()
{
    QFETCH(QByteArray, accept);
    QFETCH(bool, gzipped);
    m_service->setCatalogueEncoding(Encoding::Gzip);
    const RawReply reply = rawGet(m_service->port(), "/getstreams.php", "Accept-Encoding: " + accept + "\r\n");
    QVERIFY(reply.ok);
    QCOMPARE(headerValue(reply.head, "Content-Encoding"), gzipped ? QByteArray("gzip") : QByteArray());
    QCOMPARE(gzipped ? gzipDecompress(reply.body).value_or("") : reply.body, m_service->catalogue());
}

void TestService::demoCatalogueContent()
{
    m_service->setCatalogueEncoding(Encoding::Plain);
    auto res = client(*m_service)->Get("/getstreams.php?version=10.0.0&serial=K&lang=en");
    QVERIFY(res);
    const QByteArray xml = toBytes(res->body);
    QVERIFY(xml.startsWith("<?xml"));
    QCOMPARE(res->get_header_value("Content-Type"), std::string("text/xml; charset=UTF-8"));

    const std::vector<CatalogueEntry> entries = demoCatalogueEntries(m_service->hostPort());
    QVERIFY(entries.size() >= 30);
    QCOMPARE(countElements(xml, QStringLiteral("Stream")), int(entries.size()));
    QCOMPARE(countElements(xml, QStringLiteral("Streams")), 1);
    QCOMPARE(elementTexts(xml, QStringLiteral("MOTD")).size(), 1);
    QCOMPARE(countElements(xml, QStringLiteral("UpdateUrl")), 0);

    const QStringList types = elementTexts(xml, QStringLiteral("Type"));
    for (const char *type : {"TV", "Radio", "Videoclip", "Erotic", "Movie", "Webcam"})
        QVERIFY2(types.contains(QLatin1String(type)), type);
    const QStringList formats = elementTexts(xml, QStringLiteral("Format"));
    QVERIFY(formats.count(QStringLiteral("WMP")) > int(entries.size()) / 2);
    QVERIFY(formats.contains(QStringLiteral("RM")));
    QVERIFY(formats.contains(QStringLiteral("QT")));
    QVERIFY(formats.contains(QStringLiteral("wmp")));
    QVERIFY(elementTexts(xml, QStringLiteral("Language")).contains(QStringLiteral("Norsk")));
    QStringList countries = elementTexts(xml, QStringLiteral("Country"));
    countries.removeDuplicates();
    QVERIFY(countries.size() >= 5);
    const QString names = elementTexts(xml, QStringLiteral("Name")).join(QLatin1Char('|'));
    QVERIFY(names.contains(QChar(0xe6)) && names.contains(QChar(0xf8)) && names.contains(QChar(0xe5))); // æ ø å
    QVERIFY(xml.contains("adult=\"true\""));
    QVERIFY(xml.contains("topstream=\"true\""));
    const QString media = QStringLiteral("http://%1/media/").arg(m_service->hostPort());
    for (const QString &url : elementTexts(xml, QStringLiteral("Url")))
        QVERIFY2(url.startsWith(media), qPrintable(url));
    // Every stream carries its three attributes and nine children.
    for (const char *child : {"Name", "Language", "Country", "Bitrate", "Format", "Type", "Live", "Category", "Url"})
        QCOMPARE(countElements(xml, QLatin1String(child)), int(entries.size()));
}

void TestService::updateUrlInCatalogue()
{
    m_service->setCatalogueEncoding(Encoding::Plain);
    m_service->setUpdateUrl(m_service->updateFileUrl());
    m_service->setMotd(QStringLiteral("  Hello  "));
    auto c = client(*m_service);
    QByteArray xml = toBytes(c->Get("/getstreams.php")->body);
    QCOMPARE(elementTexts(xml, QStringLiteral("UpdateUrl")), QStringList{m_service->baseUrl() + QStringLiteral("/update/latest.bin")});
    QCOMPARE(elementTexts(xml, QStringLiteral("MOTD")), QStringList{QStringLiteral("  Hello  ")});
    m_service->setUpdateUrl(QString());
    xml = toBytes(c->Get("/getstreams.php")->body);
    QCOMPARE(countElements(xml, QStringLiteral("UpdateUrl")), 0);

    ReferenceService::Config config = quietConfig(m_dir->path());
    config.updateUrl = QStringLiteral("http://127.0.0.1:9/new.bin");
    ReferenceService configured(config);
    QVERIFY(configured.start());
    configured.setCatalogueEncoding(Encoding::Plain);
    xml = toBytes(client(configured)->Get("/getstreams.php")->body);
    QCOMPARE(elementTexts(xml, QStringLiteral("UpdateUrl")), QStringList{config.updateUrl});
}

void TestService::customCatalogueServedAsSet()
{
    const QByteArray doc = "<r><Streams flush=\"True\"/><Info><MOTD> x </MOTD></Info></r>";
    m_service->setCatalogue(doc);
    m_service->setCatalogueEncoding(Encoding::Plain);
    QCOMPARE(toBytes(client(*m_service)->Get("/getstreams.php")->body), doc);
    m_service->setCatalogueEncoding(Encoding::Gzip);
    QCOMPARE(gzipDecompress(rawGet(m_service->port(), "/getstreams.php", "Accept-Encoding: gzip\r\n").body).value_or(""), doc);
    // A second document replaces the first one, also in its encoded form.
    const QByteArray other = "<r><Streams/></r>";
    m_service->setCatalogue(other);
    QCOMPARE(gzipDecompress(rawGet(m_service->port(), "/getstreams.php", "Accept-Encoding: gzip\r\n").body).value_or(""), other);
    // Null: back to the demo catalogue.
    m_service->setCatalogue(QByteArray());
    QCOMPARE(m_service->catalogue(), demoCatalogue(m_service->hostPort()));

    CatalogueInfo info;
    info.flush = QStringLiteral("TRUE");
    info.withInfo = false;
    CatalogueEntry e;
    e.id = -4;
    e.name = QStringLiteral("Rock & Roll <Live>");
    const QByteArray built = catalogueDocument({e}, info);
    QVERIFY(built.contains("flush=\"TRUE\""));
    QVERIFY(!built.contains("<Info"));
    QCOMPARE(elementTexts(built, QStringLiteral("Name")), QStringList{e.name});
    QVERIFY(built.contains("id=\"-4\""));
}

void TestService::generatedCatalogue()
{
    const QString hp = m_service->hostPort();
    const QByteArray a = generateCatalogue(1000, hp, 7);
    QCOMPARE(countElements(a, QStringLiteral("Stream")), 1000);
    QCOMPARE(a, generateCatalogue(1000, hp, 7));
    QVERIFY(a != generateCatalogue(1000, hp, 8));
    const std::vector<CatalogueEntry> entries = generateCatalogueEntries(1000, hp, 7);
    QCOMPARE(entries.front().id, 1);
    QCOMPARE(entries.back().id, 1000);
    int wmp = 0;
    int adult = 0;
    for (const CatalogueEntry &e : entries) {
        wmp += e.format == QLatin1String("WMP");
        adult += e.adult;
        QVERIFY(e.url.startsWith(QStringLiteral("http://%1/media/").arg(hp)));
    }
    QVERIFY(wmp > 900 && wmp < 1000);
    QVERIFY(adult > 0);
    QCOMPARE(countElements(generateCatalogue(0, hp), QStringLiteral("Stream")), 0);
}

void TestService::ppvDocumentRentals()
{
    m_service->setPpvEncoding(Encoding::Plain);
    m_service->clearRentals();
    m_service->setGlobalRental(503, 600);
    m_service->setRental(QStringLiteral("KEY1"), 504, 7200);
    m_service->setRental(QStringLiteral("KEY1"), 504, 7300); // replaces
    auto c = client(*m_service);
    const QByteArray one = toBytes(c->Get("/getppv.php?serial=KEY1")->body);
    QCOMPARE(countElements(one, QStringLiteral("Entry")), int(demoPpvMovies().size()));
    QCOMPARE(countElements(one, QStringLiteral("Catalog")), 1);
    QVERIFY(one.contains("<Purchased videoid=\"503\" timeleft=\"600\"/>"));
    QVERIFY(one.contains("<Purchased videoid=\"504\" timeleft=\"7300\"/>"));
    QCOMPARE(countElements(one, QStringLiteral("Purchased")), 2);
    QVERIFY(one.contains("adult=\"true\""));
    const QByteArray two = toBytes(c->Get("/getppv.php?serial=OTHER")->body);
    QCOMPARE(countElements(two, QStringLiteral("Purchased")), 1);

    m_service->setPpvEncoding(Encoding::Gzip);
    const RawReply gz = rawGet(m_service->port(), "/getppv.php?serial=KEY1", "Accept-Encoding: gzip, deflate\r\n");
    QCOMPARE(headerValue(gz.head, "Content-Encoding"), QByteArray("gzip"));
    QCOMPARE(gzipDecompress(gz.body).value_or(""), one);

    m_service->setPpvDocument("<x/>");
    m_service->setPpvEncoding(Encoding::Plain);
    QCOMPARE(toBytes(c->Get("/getppv.php?serial=KEY1")->body), QByteArray("<x/>"));

    QCOMPARE(ppvDocument({}, {}), ppvDocument({}, {}));
    QCOMPARE(countElements(ppvDocument({}, {}), QStringLiteral("Inventory")), 1);
}

void TestService::orderFlowRecordsRental()
{
    m_service->clearRentals();
    m_service->setPpvEncoding(Encoding::Plain);
    auto c = client(*m_service);
    auto order = c->Get("/ppv/ppvorder.php?serial=ABC&videoid=502");
    QVERIFY(order);
    QCOMPARE(order->status, 200);
    const QByteArray page = toBytes(order->body);
    QVERIFY(page.contains("Fjellets Hemmelighet"));
    const QRegularExpression link(QStringLiteral("href=\"([^\"]*ppvorder_verify[^\"]*)\""));
    const QRegularExpressionMatch m = link.match(QString::fromUtf8(page));
    QVERIFY(m.hasMatch());
    const QString target = m.captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    QCOMPARE(target, QStringLiteral("/ppv/ppvorder_verify.php?serial=ABC&videoid=502"));
    QVERIFY(page.contains("action=\"/ppv/ppvorder_verify.php\""));
    // Nothing rented before the order is confirmed.
    QVERIFY(!toBytes(c->Get("/getppv.php?serial=ABC")->body).contains("Purchased"));

    auto verify = c->Get(target.toStdString());
    QVERIFY(verify);
    QCOMPARE(verify->status, 200);
    QVERIFY(toBytes(verify->body).contains("confirmed"));
    // The confirmation page can close its own window, which ends the
    // program's order dialog on this address.
    QVERIFY(toBytes(verify->body).contains("onclick=\"window.close()\""));
    const QByteArray doc = toBytes(c->Get("/getppv.php?serial=ABC")->body);
    QVERIFY(doc.contains("<Purchased videoid=\"502\" timeleft=\"172800\"/>"));
    QVERIFY(!toBytes(c->Get("/getppv.php?serial=XYZ")->body).contains("Purchased"));
    QCOMPARE(m_service->rentals(QStringLiteral("ABC")).size(), size_t(1));

    // A second order of the same movie renews it instead of adding one.
    m_service->setOrderRentalSeconds(60);
    QCOMPARE(c->Get(target.toStdString())->status, 200);
    const std::vector<PpvRental> rentals = m_service->rentals(QStringLiteral("ABC"));
    QCOMPARE(rentals.size(), size_t(1));
    QCOMPARE(rentals.front().timeLeft, 60);

    // The order page also takes "id"; an unknown movie is a 404.
    QCOMPARE(c->Get("/ppv/ppvorder.php?serial=ABC&id=503")->status, 200);
    QCOMPARE(c->Get("/ppv/ppvorder.php?serial=ABC&videoid=9999")->status, 404);
    QCOMPARE(c->Get("/ppv/ppvorder_verify.php?serial=ABC&videoid=9999")->status, 404);
    QCOMPARE(m_service->rentals(QStringLiteral("ABC")).size(), size_t(1));
}

void TestService::ppvShowRedirectsToMedia()
{
    auto c = client(*m_service);
    auto res = c->Get("/ppvshow.php?serial=S&videoid=503");
    QVERIFY(res);
    QCOMPARE(res->status, 302);
    QCOMPARE(QString::fromStdString(res->get_header_value("Location")), m_service->mediaUrl(QStringLiteral("test-blue.mp4")));
    QCOMPARE(c->Get("/ppvshow.php?serial=S&videoid=0")->status, 404);
    QCOMPARE(c->Get("/ppvshow.php?serial=S")->status, 404);

    m_service->setPpvShowRequiresRental(true);
    m_service->clearRentals();
    QCOMPARE(c->Get("/ppvshow.php?serial=S&videoid=503")->status, 403);
    m_service->setRental(QStringLiteral("S"), 503, 10);
    QCOMPARE(c->Get("/ppvshow.php?serial=S&videoid=503")->status, 302);
    m_service->setRental(QStringLiteral("S"), 503, 0);
    QCOMPARE(c->Get("/ppvshow.php?serial=S&videoid=503")->status, 403);
}

void TestService::descriptionAndOrderPagesEscapeInput()
{
    auto c = client(*m_service);
    auto res = c->Get("/getPPVDescription.php?serial=K&id=501");
    QVERIFY(res);
    QCOMPARE(res->status, 200);
    QVERIFY(res->get_header_value("Content-Type").rfind("text/html", 0) == 0);
    const QByteArray page = toBytes(res->body);
    QVERIFY(page.contains("The Lighthouse Keeper"));
    QVERIFY(page.contains("01:33:00"));
    QCOMPARE(c->Get("/getPPVDescription.php?serial=K&id=77")->status, 404);
    QCOMPARE(c->Get("/getPPVDescription.php?serial=K&id=abc")->status, 404);

    // An account key with markup in it comes back escaped.
    const QByteArray order = toBytes(c->Get("/ppv/ppvorder.php?serial=%3Cscript%3E%22&videoid=501")->body);
    QVERIFY(!order.contains("<script>"));
    QVERIFY(order.contains("&lt;script&gt;&quot;"));
    QVERIFY(order.contains("serial=%3Cscript%3E%22&amp;videoid=501"));
}

void TestService::serviceRequestsAnswerOkAndAreLogged_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("broken stream") << QByteArray("/brokenstreamreport.php?id=-12");
    QTest::newRow("stream tips") << QByteArray("/tul/prog/streamtips.php?version=10.0.0&serial=&streamname=Rock+%26+Roll&streambitrate=-1");
    QTest::newRow("recruit person") << QByteArray("/tul/prog/recruitperson.php?version=10.0.0&serial=K&email=a+b@example.org");
}

void TestService::serviceRequestsAnswerOkAndAreLogged()
{
    QFETCH(QByteArray, target);
    m_service->clearRequests();
    const RawReply reply = rawGet(m_service->port(), target);
    QVERIFY(reply.ok);
    QVERIFY(reply.head.startsWith("HTTP/1.1 200"));
    QCOMPARE(reply.body, QByteArray("OK"));
    const std::vector<LoggedRequest> log = m_service->requests();
    QCOMPARE(log.size(), size_t(1));
    const qsizetype q = target.indexOf('?');
    QCOMPARE(log[0].path, QString::fromLatin1(target.left(q)));
    QCOMPARE(log[0].query, target.mid(q + 1));
    QCOMPARE(log[0].target, target);
    QCOMPARE(log[0].method, QStringLiteral("GET"));
    QCOMPARE(log[0].status, 200);
    QVERIFY(!log[0].https);
    QCOMPARE(log[0].headers.value(QStringLiteral("host")), QStringLiteral("127.0.0.1"));
    QCOMPARE(m_service->requestCount(log[0].path), 1);
    QCOMPARE(m_service->requestCount(QStringLiteral("/nothing")), 0);
}

void TestService::replySwitches_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::newRow("ok") << QStringLiteral("/tul/prog/streamtips.php") << QByteArray("ok") << 0;
    QTest::newRow("OK line end") << QStringLiteral("/tul/prog/recruitperson.php") << QByteArray("OK\r\n") << 0;
    QTest::newRow("empty") << QStringLiteral("/brokenstreamreport.php") << QByteArray("") << 0;
    QTest::newRow("Error") << QStringLiteral("/brokenstreamreport.php") << QByteArray("Error") << 0;
    QTest::newRow("500") << QStringLiteral("/tul/prog/streamtips.php") << QByteArray() << 500;
    QTest::newRow("404") << QStringLiteral("/tul/prog/recruitperson.php") << QByteArray() << 404;
}

void TestService::replySwitches()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    if (status)
        m_service->setStatus(path, status);
    else
        m_service->setReply(path, reply);
    const QByteArray target = path.toLatin1() + "?version=10.0.0";
    RawReply r = rawGet(m_service->port(), target);
    QVERIFY(r.ok);
    QVERIFY2(r.head.startsWith("HTTP/1.1 " + QByteArray::number(status ? status : 200)), r.head.constData());
    if (!status) {
        QCOMPARE(r.body, reply);
        QVERIFY(headerValue(r.head, "Content-Encoding").isEmpty());
    }
    QCOMPARE(m_service->requests(path).back().status, status ? status : 200);
    m_service->clearSwitches();
    r = rawGet(m_service->port(), target);
    QCOMPARE(r.body, QByteArray("OK"));
}

void TestService::splitReplyArrivesInTwoReads()
{
    m_service->setSplitReply(QStringLiteral("/brokenstreamreport.php"), "O", "K", 1000);
    const RawReply r = rawGet(m_service->port(), "/brokenstreamreport.php?id=3");
    QVERIFY(r.ok);
    QCOMPARE(headerValue(r.head, "Content-Length"), QByteArray("2"));
    QCOMPARE(r.firstBody, QByteArray("O"));
    QCOMPARE(r.body, QByteArray("OK"));
}

void TestService::statusAndHeaderSwitchesOnAnyPath()
{
    QFile file(m_service->dataDir() + QStringLiteral("/media/clip.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    auto c = client(*m_service);
    QCOMPARE(c->Get("/media/clip.bin")->status, 200);
    m_service->setStatus(QStringLiteral("/media/clip.bin"), 404);
    m_service->setStatus(QStringLiteral("/getstreams.php"), 500);
    m_service->setStatus(QStringLiteral("/cacheversion.txt"), 503);
    QCOMPARE(c->Get("/media/clip.bin")->status, 404);
    QCOMPARE(c->Get("/getstreams.php?version=1")->status, 500);
    QCOMPARE(c->Get("/cacheversion.txt")->status, 503);
    QCOMPARE(c->Get("/yp.xml")->status, 200);
    m_service->setStatus(QStringLiteral("/getstreams.php"), 0);
    QCOMPARE(c->Get("/getstreams.php")->status, 200);

    m_service->setHeader(QStringLiteral("/yp.xml"), "X-Test", "yes");
    auto res = c->Get("/yp.xml");
    QCOMPARE(res->get_header_value("X-Test"), std::string("yes"));
    QVERIFY(!c->Get("/cacheversion.txt")->has_header("X-Test"));
    QCOMPARE(c->Get("/no/such/path")->status, 404);
}

void TestService::delayIsEndedByStop()
{
    // A delay longer than the client waits: the client gives up.
    m_service->setDelay(QStringLiteral("/cacheversion.txt"), 3000);
    auto impatient = client(*m_service);
    impatient->set_read_timeout(0, 200000);
    QVERIFY(!impatient->Get("/cacheversion.txt"));

    // A long delay ends at stop(): neither the client nor stop() hangs.
    m_service->setDelay(QStringLiteral("/yp.xml"), 60000);
    std::atomic<bool> done{false};
    std::thread waiting([&] {
        auto c = client(*m_service);
        c->set_read_timeout(90);
        auto res = c->Get("/yp.xml");
        done = !res || res->status == 503;
    });
    QTest::qWait(200);
    m_service->stop();
    waiting.join();
    QVERIFY(done);
}

void TestService::heldReplyWaitsForRelease()
{
    const QString path = QStringLiteral("/getppv.php");
    m_service->holdReplies(path);
    // Another path is not held.
    QCOMPARE(client(*m_service)->Get("/cacheversion.txt")->status, 200);

    std::atomic<int> status{0};
    std::thread waiting([&] {
        auto c = client(*m_service);
        c->set_read_timeout(90);
        auto res = c->Get("/getppv.php?serial=");
        status = res ? res->status : -1;
    });
    QVERIFY(m_service->waitForHeldRequest(path));
    QCOMPARE(m_service->heldRequestCount(path), 1);
    // Nothing is answered, nor logged, until the release.
    QCOMPARE(status.load(), 0);
    QCOMPARE(m_service->requestCount(path), 0);
    m_service->releaseReplies(path, true);
    waiting.join();
    QCOMPARE(status.load(), 200);
    QCOMPARE(m_service->requestCount(path), 1);
    QCOMPARE(m_service->heldRequestCount(path), 0);

    // Still holding: the next request waits again, and stop() ends it.
    std::atomic<bool> ended{false};
    std::thread second([&] {
        auto c = client(*m_service);
        c->set_read_timeout(90);
        auto res = c->Get("/getppv.php");
        ended = !res || res->status == 503;
    });
    QVERIFY(m_service->waitForHeldRequest(path));
    m_service->stop();
    second.join();
    QVERIFY(ended);
    QVERIFY(!m_service->waitForHeldRequest(path, 10));
}

void TestService::directory()
{
    auto c = client(*m_service);
    const RawReply gz = rawGet(m_service->port(), "/yp.xml", "Accept-Encoding: gzip, deflate\r\n");
    QCOMPARE(headerValue(gz.head, "Content-Encoding"), QByteArray("gzip"));
    const QByteArray xml = gzipDecompress(gz.body).value_or("");
    QCOMPARE(xml, demoDirectory(m_service->hostPort()));
    QCOMPARE(countElements(xml, QStringLiteral("entry")), 30);
    for (const char *child : {"server_name", "genre", "bitrate", "listen_url"})
        QCOMPARE(countElements(xml, QLatin1String(child)), 30);
    const QStringList bitrates = elementTexts(xml, QStringLiteral("bitrate"));
    QVERIFY(bitrates.contains(QStringLiteral("1000")) && bitrates.contains(QStringLiteral("1001")));
    QVERIFY(elementTexts(xml, QStringLiteral("listen_url")).first().startsWith(m_service->mediaUrl(QString())));

    // Without Accept-Encoding: plain.
    auto res = c->Get("/yp.xml");
    QVERIFY(!res->has_header("Content-Encoding"));
    QCOMPARE(toBytes(res->body), xml);

    m_service->setDirectoryCount(500);
    QCOMPARE(countElements(toBytes(c->Get("/yp.xml")->body), QStringLiteral("entry")), 500);
    m_service->setDirectoryEncoding(Encoding::Deflate);
    const RawReply deflated = rawGet(m_service->port(), "/yp.xml", "Accept-Encoding: gzip, deflate\r\n");
    QCOMPARE(headerValue(deflated.head, "Content-Encoding"), QByteArray("deflate"));
    QCOMPARE(countElements(rawInflate(deflated.body).value_or(""), QStringLiteral("entry")), 500);
    m_service->setDirectory("<directory/>");
    QCOMPARE(toBytes(c->Get("/yp.xml")->body), QByteArray("<directory/>"));
    m_service->setDirectoryCount(-1);
    QCOMPARE(toBytes(c->Get("/yp.xml")->body), xml);
}

void TestService::forumPage()
{
    auto res = client(*m_service)->Get("/viewforum.php?f=11");
    QVERIFY(res);
    QCOMPARE(res->status, 200);
    QVERIFY(res->get_header_value("Content-Type").rfind("text/html", 0) == 0);
    QVERIFY(toBytes(res->body).contains("<html"));
}

void TestService::updateModes_data()
{
    QTest::addColumn<UpdateMode>("mode");
    QTest::addColumn<qint64>("partial");
    QTest::newRow("normal") << UpdateMode::Normal << qint64(-1);
    QTest::newRow("chunked") << UpdateMode::Chunked << qint64(-1);
    QTest::newRow("no length") << UpdateMode::NoLength << qint64(-1);
    QTest::newRow("partial, half") << UpdateMode::Partial << qint64(-1);
    QTest::newRow("partial, 1000 bytes") << UpdateMode::Partial << qint64(1000);
}

void TestService::updateModes()
{
    QFETCH(UpdateMode, mode);
    QFETCH(qint64, partial);
    const QByteArray body = defaultUpdateBody();
    QCOMPARE(body.size(), 1000000);
    QVERIFY(body.startsWith("#!/bin/sh\nexit 0\n"));
    m_service->setUpdateMode(mode, partial);
    QCOMPARE(m_service->updateFileUrl(), m_service->baseUrl() + QStringLiteral("/update/latest.bin"));
    const RawReply r = rawGet(m_service->port(), "/update/latest.bin");
    QVERIFY(r.ok);
    QVERIFY(r.head.startsWith("HTTP/1.1 200"));
    const QByteArray length = headerValue(r.head, "Content-Length");
    const QByteArray transfer = headerValue(r.head, "Transfer-Encoding");
    switch (mode) {
    case UpdateMode::Normal:
        QCOMPARE(length, QByteArray("1000000"));
        QCOMPARE(r.body, body);
        break;
    case UpdateMode::Chunked: {
        QVERIFY(length.isEmpty());
        QCOMPARE(transfer, QByteArray("chunked"));
        // The library's client reassembles the chunks.
        auto res = client(*m_service)->Get("/update/latest.bin");
        QVERIFY(res);
        QCOMPARE(toBytes(res->body), body);
        break;
    }
    case UpdateMode::NoLength:
        QVERIFY(length.isEmpty());
        QVERIFY(transfer.isEmpty());
        QCOMPARE(r.body, body);
        break;
    case UpdateMode::Partial:
        QCOMPARE(length, QByteArray("1000000"));
        QCOMPARE(r.body, body.left(partial < 0 ? body.size() / 2 : partial));
        break;
    }

    // Moved to another path, with another body.
    m_service->setUpdateMode(UpdateMode::Normal);
    m_service->setUpdatePath(QStringLiteral("/files/new.exe"));
    m_service->setUpdateBody("abc");
    QCOMPARE(rawGet(m_service->port(), "/files/new.exe").body, QByteArray("abc"));
    QVERIFY(rawGet(m_service->port(), "/update/latest.bin").head.startsWith("HTTP/1.1 404"));
}

void TestService::mediaByteRanges()
{
    QByteArray data;
    for (int i = 0; i < 100000; ++i)
        data.append(char(i * 7));
    QFile file(m_service->dataDir() + QStringLiteral("/media/test.mp4"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();

    auto c = client(*m_service);
    auto whole = c->Get("/media/test.mp4");
    QVERIFY(whole);
    QCOMPARE(whole->status, 200);
    QCOMPARE(toBytes(whole->body), data);
    QCOMPARE(whole->get_header_value("Content-Type"), std::string("video/mp4"));

    auto part = c->Get("/media/test.mp4", {{"Range", "bytes=1000-1999"}});
    QVERIFY(part);
    QCOMPARE(part->status, 206);
    QCOMPARE(toBytes(part->body), data.mid(1000, 1000));
    QCOMPARE(part->get_header_value("Content-Range"), std::string("bytes 1000-1999/100000"));

    auto tail = c->Get("/media/test.mp4", {{"Range", "bytes=99990-"}});
    QCOMPARE(tail->status, 206);
    QCOMPARE(toBytes(tail->body), data.right(10));

    QCOMPARE(c->Get("/media/missing.mp4")->status, 404);
    QCOMPARE(c->Get("/media/../tls/key.pem")->status, 404);
}

void TestService::codecsRoundTrip()
{
    const QByteArray text = demoCatalogue(QStringLiteral("127.0.0.1:1"));
    QCOMPARE(gzipDecompress(gzipCompress(text)).value_or(""), text);
    QCOMPARE(rawInflate(rawDeflate(text)).value_or(""), text);
    QCOMPARE(zlibInflate(zlibDeflate(text)).value_or(""), text);
    QCOMPARE(gzipDecompress(gzipCompress(QByteArray())).value_or("x"), QByteArray());
    const QByteArray gz = gzipCompress(text);
    QVERIFY(!gzipDecompress(gz.left(gz.size() / 2)));
    QVERIFY(!gzipDecompress(text));
    QVERIFY(!rawInflate(QByteArray("not deflate at all")));
    QCOMPARE(encodeBody(text, Encoding::BogusGzip), text);
    QCOMPARE(encodingHeader(Encoding::Plain), QByteArray());
    QCOMPARE(encodingHeader(Encoding::GzipUpper), QByteArray("GZIP"));
    QCOMPARE(RefService::revisionBody(-1), QByteArray("-1\n"));
}

void TestService::parallelRequestsAreAllLogged()
{
    m_service->clearRequests();
    std::vector<std::thread> threads;
    std::atomic<int> okCount{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                auto c = client(*m_service);
                auto res = c->Get(QStringLiteral("/brokenstreamreport.php?id=%1").arg(t * 100 + i).toStdString());
                if (res && res->body == "OK")
                    ++okCount;
                m_service->setRevision(i); // changes while serving
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(okCount.load(), 80);
    QCOMPARE(m_service->requestCount(QStringLiteral("/brokenstreamreport.php")), 80);
}

void TestService::https()
{
    if (!ReferenceService::httpsSupported())
        QSKIP("cpp-httplib without OpenSSL");
    ReferenceService::Config config = quietConfig(m_dir->path());
    config.https = true;
    ReferenceService secure(config);
    QVERIFY(secure.start());
    QVERIFY(secure.httpsRunning());
    QVERIFY(secure.httpsPort() > 0);
    QCOMPARE(secure.httpsBaseUrl(), QStringLiteral("https://127.0.0.1:%1").arg(secure.httpsPort()));
    QVERIFY(QFileInfo(secure.certificatePath()).size() > 0);
    QVERIFY(QFileInfo(secure.certificateKeyPath()).size() > 0);

    httplib::SSLClient c("127.0.0.1", secure.httpsPort());
    c.set_ca_cert_path(secure.certificatePath().toStdString().c_str());
    c.enable_server_certificate_verification(true);
    c.set_decompress(false);
    auto res = c.Get("/ppv/ppvorder.php?serial=Z&videoid=501");
    QVERIFY2(res, httplib::to_string(res.error()).c_str());
    QCOMPARE(res->status, 200);
    QVERIFY(toBytes(res->body).contains("ppvorder_verify"));
    QVERIFY(c.Get("/ppv/ppvorder_verify.php?serial=Z&videoid=501"));
    QCOMPARE(secure.rentals(QStringLiteral("Z")).back().videoId, 501);
    const std::vector<LoggedRequest> log = secure.requests(QStringLiteral("/ppv/ppvorder.php"));
    QCOMPARE(log.size(), size_t(1));
    QVERIFY(log[0].https);
    // The update file is served over HTTPS as well.
    auto update = c.Get("/update/latest.bin");
    QVERIFY(update);
    QCOMPARE(update->get_header_value("Content-Length"), std::string("1000000"));

    // The plain listener still answers, and a second start reuses the certificate.
    QVERIFY(client(secure)->Get("/cacheversion.txt"));
    const QDateTime made = QFileInfo(secure.certificatePath()).lastModified();
    secure.stop();
    QVERIFY(secure.start());
    QCOMPARE(QFileInfo(secure.certificatePath()).lastModified(), made);
}

void TestService::mediaGeneration()
{
    if (!ffmpegAvailable())
        QSKIP("ffmpeg is not installed");
    QTemporaryDir dir;
    const MediaSet set = ensureMedia(dir.path(), 1);
    QVERIFY2(set.ok, qPrintable(set.error));
    const QStringList names = MediaSet::fileNames();
    QCOMPARE(names.size(), 5);
    for (const QString &path : {set.video, set.videoRed, set.videoBlue, set.audioMp3, set.audioOgg}) {
        QVERIFY(QFileInfo(path).size() > 1000);
        QVERIFY(names.contains(QFileInfo(path).fileName()));
    }
    QFile video(set.video);
    QVERIFY(video.open(QIODevice::ReadOnly));
    QCOMPARE(video.read(12).mid(4, 4), QByteArray("ftyp")); // MP4
    QFile ogg(set.audioOgg);
    QVERIFY(ogg.open(QIODevice::ReadOnly));
    QCOMPARE(ogg.read(4), QByteArray("OggS"));
    // No temporary files left behind; a second call makes nothing new.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);
    const QDateTime made = QFileInfo(set.video).lastModified();
    const MediaSet again = ensureMedia(dir.path(), 1);
    QVERIFY(again.ok);
    QCOMPARE(QFileInfo(again.video).lastModified(), made);
    QCOMPARE(existingMedia(dir.path()).audioMp3, set.audioMp3);
    QVERIFY(!existingMedia(dir.path() + QStringLiteral("/none")).ok);
}

void TestService::programPrintsPortAndEndsOnSigterm()
{
    QProcess program;
    program.setProgram(QStringLiteral(QV_SERVICE_PROGRAM));
    program.setArguments({QStringLiteral("--no-media"), QStringLiteral("--data-dir"), m_dir->path(),
                          QStringLiteral("--revision"), QStringLiteral("42")});
    program.start();
    QVERIFY(program.waitForStarted(10000));
    QByteArray out;
    while (!out.contains('\n') && program.waitForReadyRead(10000))
        out += program.readAllStandardOutput();
    const QRegularExpression line(QStringLiteral("^quorvantel-service listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(out));
    QVERIFY2(m.hasMatch(), out.constData());
    const int port = m.captured(1).toInt();
    QVERIFY(port > 0);

    httplib::Client c("127.0.0.1", port);
    auto res = c.Get("/cacheversion.txt");
    QVERIFY(res);
    QCOMPARE(toBytes(res->body), QByteArray("42\n"));

    program.terminate(); // SIGTERM
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QByteArray log = program.readAllStandardError();
    QVERIFY2(log.contains("GET /cacheversion.txt -> 200"), log.constData());
}

void TestService::programAnnouncesUpdate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // $http / $https: the service's base addresses
    QTest::newRow("plain service") << QStringList{QStringLiteral("--update")} << "$http/update/latest.bin";
    QTest::newRow("with https") << QStringList{QStringLiteral("--update"), QStringLiteral("--https")}
                                << "$https/update/latest.bin";
    QTest::newRow("address given") << QStringList{QStringLiteral("--https"), QStringLiteral("--update-url"),
                                                  QStringLiteral("https://127.0.0.1:9/new.bin")}
                                   << "https://127.0.0.1:9/new.bin";
}

void TestService::programAnnouncesUpdate()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const bool https = arguments.contains(QStringLiteral("--https"));
    if (https && !ReferenceService::httpsSupported())
        QSKIP("cpp-httplib without OpenSSL");

    QProcess program;
    program.setProgram(QStringLiteral(QV_SERVICE_PROGRAM));
    program.setArguments(QStringList{QStringLiteral("--no-media"), QStringLiteral("--quiet"), QStringLiteral("--data-dir"),
                                     m_dir->path(), QStringLiteral("--encoding"), QStringLiteral("plain")}
                         + arguments);
    program.start();
    QVERIFY(program.waitForStarted(10000));
    const QRegularExpression plainLine(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    const QRegularExpression httpsLine(QStringLiteral("https on 127\\.0\\.0\\.1:(\\d+) "));
    QByteArray out;
    auto complete = [&] {
        return plainLine.match(QString::fromUtf8(out)).hasMatch()
               && (!https || httpsLine.match(QString::fromUtf8(out)).hasMatch());
    };
    while (!complete() && program.waitForReadyRead(20000))
        out += program.readAllStandardOutput();
    QVERIFY2(complete(), out.constData());
    const QString port = plainLine.match(QString::fromUtf8(out)).captured(1);
    expected.replace(QLatin1String("$https"), QStringLiteral("https://127.0.0.1:") + httpsLine.match(QString::fromUtf8(out)).captured(1));
    expected.replace(QLatin1String("$http"), QStringLiteral("http://127.0.0.1:") + port);

    httplib::Client c("127.0.0.1", port.toInt());
    auto res = c.Get("/getstreams.php");
    QVERIFY(res);
    QCOMPARE(elementTexts(toBytes(res->body), QStringLiteral("UpdateUrl")), QStringList{expected});

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
