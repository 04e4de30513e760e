// Reading media pages, HTML text escaping and the stream address check.

#include "platform/HtmlText.h"
#include "platform/MediaPage.h"
#include "platform/StreamAddress.h"

#include <QtTest>

class TestMediaPage : public QObject
{
    Q_OBJECT

private slots:
    void escapeRoundTrip_data();
    void escapeRoundTrip();
    void escapeAddsNoMarkup();
    void unescape_data();
    void unescape();

    void acceptedAddresses_data();
    void acceptedAddresses();
    void refusedAddresses_data();
    void refusedAddresses();
    void engineAddress_data();
    void engineAddress();

    void findsPlayerByClassId_data();
    void findsPlayerByClassId();
    void readsParameters();
    void parameterDefaults();
    void unescapesParameterValues_data();
    void unescapesParameterValues();
    void quotingForms();
    void ignoresParamsOutsideThePlayer();
    void commentsAndScriptsHideTags();
    void readsScriptSizing_data();
    void readsScriptSizing();
    void injectionStaysOneValue_data();
    void injectionStaysOneValue();
    void booleans_data();
    void booleans();
};

void TestMediaPage::escapeRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("http://host/stream");
    QTest::newRow("query") << QStringLiteral("http://host/a?b=1&c=2&amp;d");
    QTest::newRow("quotes") << QStringLiteral("http://host/\"x\"/'y'");
    QTest::newRow("brackets") << QStringLiteral("http://host/<b>&lt;");
    QTest::newRow("reference-like") << QStringLiteral("&#65;&#x41;&quot;");
    QTest::newRow("unicode") << QStringLiteral("http://h\u00f8st/\u00e6\u00f8\u00e5?\u20ac");
    QTest::newRow("empty") << QString();
}

void TestMediaPage::escapeRoundTrip()
{
    QFETCH(QString, text);
    QCOMPARE(HtmlText::unescape(HtmlText::escape(text)), text);
}

void TestMediaPage::escapeAddsNoMarkup()
{
    const QString escaped = HtmlText::escape(QStringLiteral("a\"b'c<d>e&f"));
    QCOMPARE(escaped, QStringLiteral("a&quot;b&#39;c&lt;d&gt;e&amp;f"));
    for (const QChar c : escaped)
        QVERIFY(c != u'"' && c != u'\'' && c != u'<' && c != u'>');
}

void TestMediaPage::unescape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named") << QStringLiteral("&amp;&quot;&lt;&gt;&apos;") << QStringLiteral("&\"<>'");
    QTest::newRow("decimal") << QStringLiteral("&#38;&#34;&#60;") << QStringLiteral("&\"<");
    QTest::newRow("hex") << QStringLiteral("&#x26;&#X3C;") << QStringLiteral("&<");
    QTest::newRow("astral") << QStringLiteral("&#128512;") << QString::fromUcs4(U"\U0001F600");
    QTest::newRow("unknown name stays") << QStringLiteral("&copy; &bogus;") << QStringLiteral("&copy; &bogus;");
    QTest::newRow("no semicolon stays") << QStringLiteral("a&amp b&#65") << QStringLiteral("a&amp b&#65");
    QTest::newRow("lone ampersand") << QStringLiteral("a & b") << QStringLiteral("a & b");
    QTest::newRow("invalid number") << QStringLiteral("&#0;&#xD800;&#1114112;") << QStringLiteral("\ufffd\ufffd\ufffd");
    QTest::newRow("not a number") << QStringLiteral("&#;&#x;&#12a;") << QStringLiteral("&#;&#x;&#12a;");
    QTest::newRow("no double decoding") << QStringLiteral("&amp;lt;") << QStringLiteral("&lt;");
}

void TestMediaPage::unescape()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(HtmlText::unescape(text), expected);
}

void TestMediaPage::acceptedAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("http") << QStringLiteral("http://radio.example/stream");
    QTest::newRow("https") << QStringLiteral("https://tv.example:8443/live.m3u8");
    QTest::newRow("mms") << QStringLiteral("mms://wm.example/channel");
    QTest::newRow("mmsh") << QStringLiteral("mmsh://wm.example/channel");
    QTest::newRow("rtsp") << QStringLiteral("rtsp://cam.example:554/a");
    QTest::newRow("rtmp") << QStringLiteral("rtmp://live.example/app/key");
    QTest::newRow("upper case scheme") << QStringLiteral("HTTP://radio.example/");
    QTest::newRow("blanks around") << QStringLiteral("  http://radio.example/x  ");
    QTest::newRow("loopback") << QStringLiteral("http://127.0.0.1:8000/x");
    QTest::newRow("odd characters") << QStringLiteral("http://h.example/a\"b<c>&d='e'");
}

void TestMediaPage::acceptedAddresses()
{
    QFETCH(QString, address);
    QString reason = QStringLiteral("unset");
    QVERIFY2(StreamAddress::isAccepted(address, &reason), qPrintable(reason));
    QVERIFY(reason.isEmpty());
}

void TestMediaPage::refusedAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("path") << QStringLiteral("/etc/passwd");
    QTest::newRow("relative") << QStringLiteral("clip.mp4");
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
    QTest::newRow("data") << QStringLiteral("data:text/html,<script>alert(1)</script>");
    QTest::newRow("ftp") << QStringLiteral("ftp://files.example/a.mp3");
    QTest::newRow("engine pseudo protocol") << QStringLiteral("av://lavfi:sine");
    QTest::newRow("wrapped") << QStringLiteral("lavf://http://h.example/");
    QTest::newRow("edl") << QStringLiteral("edl://http://h.example/a;file:///etc/passwd");
    QTest::newRow("no host") << QStringLiteral("http:///path");
    QTest::newRow("no slashes") << QStringLiteral("http:h.example");
    QTest::newRow("newline") << QStringLiteral("http://h.example/a\nfile:///etc/passwd");
    QTest::newRow("nul") << QStringLiteral("http://h.example/a") + QChar(0) + QStringLiteral("b");
}

void TestMediaPage::refusedAddresses()
{
    QFETCH(QString, address);
    QString reason;
    QVERIFY(!StreamAddress::isAccepted(address, &reason));
    QVERIFY(!reason.isEmpty());
}

void TestMediaPage::engineAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("http unchanged") << QStringLiteral("http://h/x?a=1&b=2") << QStringLiteral("http://h/x?a=1&b=2");
    QTest::newRow("mms over http") << QStringLiteral("mms://h/ch") << QStringLiteral("mmsh://h/ch");
    QTest::newRow("mms upper case") << QStringLiteral("MMS://h/ch") << QStringLiteral("mmsh://h/ch");
    QTest::newRow("trimmed, inner blanks") << QStringLiteral(" http://h/a b ") << QStringLiteral("http://h/a%20b");
}

void TestMediaPage::engineAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(StreamAddress::engineAddress(address), expected);
}

void TestMediaPage::findsPlayerByClassId_data()
{
    QTest::addColumn<QString>("classId");
    QTest::addColumn<bool>("found");
    QTest::newRow("as written") << QStringLiteral("CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6") << true;
    QTest::newRow("lower case") << QStringLiteral("clsid:6bf52a52-394a-11d3-b153-00c04f79faa6") << true;
    QTest::newRow("upper case") << QStringLiteral("CLSID:6BF52A52-394A-11D3-B153-00C04F79FAA6") << true;
    QTest::newRow("blanks") << QStringLiteral("  CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6 ") << true;
    QTest::newRow("other control") << QStringLiteral("CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95") << false;
    QTest::newRow("no prefix") << QStringLiteral("6BF52A52-394A-11d3-B153-00C04F79FAA6") << false;
}

void TestMediaPage::findsPlayerByClassId()
{
    QFETCH(QString, classId);
    QFETCH(bool, found);
    const QString html = QStringLiteral("<html><body><OBJECT ID=\"P\" CLASSID=\"%1\"><PARAM NAME=\"URL\" VALUE=\"http://h/s\"></OBJECT></body></html>").arg(classId);
    const MediaPage page = parseMediaPage(html);
    QCOMPARE(page.hasPlayer, found);
    if (found) {
        QCOMPARE(page.player.id, QStringLiteral("P"));
        QCOMPARE(page.player.url(), QStringLiteral("http://h/s"));
    }
}

void TestMediaPage::readsParameters()
{
    const QString html = QStringLiteral(
        "<object id=\"Player\" width=\"320\" height=\"240\"\r\n"
        "  classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">\r\n"
        "  <param name=\"autoStart\" value=\"False\">\r\n"
        "  <param name=\"uiMode\" value=\"Mini\">\r\n"
        "  <param name=\"stretchToFit\" value=\"True\">\r\n"
        "  <param name=\"PlayCount\" value=\"9999\">\r\n"
        "\r\n"
        "  <param name=\"url\"\r\n"
        "value=\"http://h/stream\">\r\n"
        "</object>");
    const MediaPage page = parseMediaPage(html);
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.params.size(), 5);
    QCOMPARE(page.player.width, 320);
    QCOMPARE(page.player.height, 240);
    QCOMPARE(page.player.autoStart(), false);
    QCOMPARE(page.player.uiMode(), QStringLiteral("mini"));
    QCOMPARE(page.player.stretchToFit(), true);
    QCOMPARE(page.player.playCount(), 9999);
    QCOMPARE(page.player.url(), QStringLiteral("http://h/stream"));
    // Parameter names in any case.
    QCOMPARE(page.player.param(QStringLiteral("PLAYCOUNT")), QStringLiteral("9999"));
    QCOMPARE(page.player.param(QStringLiteral("missing")), QString());
    QCOMPARE(page.shrinkWidth, -1);
}

void TestMediaPage::parameterDefaults()
{
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">"
        "<param name=\"PlayCount\" value=\"zero\"><param name=\"FileName\" value=\"http://h/old\"></object>"));
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.autoStart(), true);
    QCOMPARE(page.player.uiMode(), QStringLiteral("full"));
    QCOMPARE(page.player.stretchToFit(), false);
    QCOMPARE(page.player.playCount(), 1);
    QCOMPARE(page.player.url(), QStringLiteral("http://h/old"));
    QCOMPARE(page.player.width, -1);
}

void TestMediaPage::unescapesParameterValues_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("url");
    QTest::newRow("ampersand") << QStringLiteral("http://h/a?x=1&amp;y=2") << QStringLiteral("http://h/a?x=1&y=2");
    QTest::newRow("quote") << QStringLiteral("http://h/&quot;q&quot;") << QStringLiteral("http://h/\"q\"");
    QTest::newRow("brackets") << QStringLiteral("http://h/&lt;b&gt;") << QStringLiteral("http://h/<b>");
    QTest::newRow("numeric") << QStringLiteral("http://h/&#37;20&#x27;") << QStringLiteral("http://h/%20'");
    QTest::newRow("bare ampersand") << QStringLiteral("http://h/a?x=1&y=2") << QStringLiteral("http://h/a?x=1&y=2");
}

void TestMediaPage::unescapesParameterValues()
{
    QFETCH(QString, written);
    QFETCH(QString, url);
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"%1\"></object>").arg(written));
    QCOMPARE(page.player.url(), url);
}

void TestMediaPage::quotingForms()
{
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<object classid='CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6' id=P>"
        "<param name='url' value='http://h/a\"b'>"
        "<param name=uiMode value=none/>"
        "<param name = \"autoStart\" value = \"0\" >"
        "</object>"));
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.id, QStringLiteral("P"));
    QCOMPARE(page.player.url(), QStringLiteral("http://h/a\"b"));
    QCOMPARE(page.player.uiMode(), QStringLiteral("none/"));
    QCOMPARE(page.player.autoStart(), false);
}

void TestMediaPage::ignoresParamsOutsideThePlayer()
{
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<param name=\"url\" value=\"http://before/\">"
        "<object classid=\"CLSID:0000\"><param name=\"url\" value=\"http://other/\"></object>"
        "<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"http://mine/\"></object>"
        "<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"http://second/\"></object>"
        "<param name=\"url\" value=\"http://after/\">"));
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.params.size(), 1);
    QCOMPARE(page.player.url(), QStringLiteral("http://mine/"));
}

void TestMediaPage::commentsAndScriptsHideTags()
{
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<!-- <object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"http://comment/\"></object> -->"
        "<script>var s = '<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">';</script>"
        "<object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"http://real/\"></object>"));
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.url(), QStringLiteral("http://real/"));
}

void TestMediaPage::readsScriptSizing_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("shrinkWidth");
    QTest::addColumn<int>("shrinkHeight");
    QTest::newRow("page") << QStringLiteral("Player.width = document.body.offsetWidth - 25;\r\n"
                                            "Player.height = document.body.offsetHeight - 25;")
                          << 25 << 25;
    QTest::newRow("tight") << QStringLiteral("Player.width=document.body.offsetWidth-3;Player.height=document.body.offsetHeight;")
                           << 3 << 0;
    QTest::newRow("other object") << QStringLiteral("Other.width = document.body.offsetWidth - 25;") << -1 << -1;
    QTest::newRow("none") << QString() << -1 << -1;
}

void TestMediaPage::readsScriptSizing()
{
    QFETCH(QString, script);
    QFETCH(int, shrinkWidth);
    QFETCH(int, shrinkHeight);
    const MediaPage page = parseMediaPage(QStringLiteral(
        "<script>%1</script><object id=\"Player\" classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"></object>").arg(script));
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.shrinkWidth, shrinkWidth);
    QCOMPARE(page.shrinkHeight, shrinkHeight);
}

void TestMediaPage::injectionStaysOneValue_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("script") << QStringLiteral("http://h/\"><script>alert(1)</script>");
    QTest::newRow("second param") << QStringLiteral("http://h/x\"><param name=\"url\" value=\"file:///etc/passwd");
    QTest::newRow("close object") << QStringLiteral("http://h/x\"></object><object classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\"><param name=\"url\" value=\"file:///x");
    QTest::newRow("single quote") << QStringLiteral("http://h/x' onload='alert(1)");
    QTest::newRow("reference text") << QStringLiteral("http://h/?a=&quot;&amp;b=&#34;");
}

void TestMediaPage::injectionStaysOneValue()
{
    QFETCH(QString, url);
    const QString html = QStringLiteral(
        "<object id=\"Player\" classid=\"CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6\">"
        "<param name=\"autoStart\" value=\"True\"><param name=\"url\" value=\"%1\"></object>").arg(HtmlText::escape(url));
    const MediaPage page = parseMediaPage(html);
    QVERIFY(page.hasPlayer);
    QCOMPARE(page.player.params.size(), 2);
    QCOMPARE(page.player.url(), url);
    QCOMPARE(html.count(QLatin1String("<script"), Qt::CaseInsensitive), 0);
    QCOMPARE(html.count(QLatin1String("<param"), Qt::CaseInsensitive), 2);
}

void TestMediaPage::booleans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fallback");
    QTest::addColumn<bool>("expected");
    QTest::newRow("True") << QStringLiteral("True") << false << true;
    QTest::newRow("yes") << QStringLiteral(" YES ") << false << true;
    QTest::newRow("-1") << QStringLiteral("-1") << false << true;
    QTest::newRow("1") << QStringLiteral("1") << false << true;
    QTest::newRow("false") << QStringLiteral("false") << true << false;
    QTest::newRow("0") << QStringLiteral("0") << true << false;
    QTest::newRow("no") << QStringLiteral("No") << true << false;
    QTest::newRow("other keeps fallback") << QStringLiteral("maybe") << true << true;
    QTest::newRow("empty keeps fallback") << QString() << false << false;
}

void TestMediaPage::booleans()
{
    QFETCH(QString, text);
    QFETCH(bool, fallback);
    QFETCH(bool, expected);
    QCOMPARE(parseHtmlBoolean(text, fallback), expected);
}

QTEST_GUILESS_MAIN(TestMediaPage)
#include "tst_mediapage.moc"
