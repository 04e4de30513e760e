// Zlib on its own: the streaming inflater fed in pieces, and the whole-buffer
// gzip compression and decompression of the cache file.

#include "catalogue/Zlib.h"
#include "service/ReferenceService.h"

#include <QtTest>

#include <algorithm>
#include <stdexcept>

namespace {

QByteArray sampleText(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "<Stream id=\"" + QByteArray::number(i) + "\"><Name>Station " + QByteArray::number(i * 7) + "</Name>\n";
    return text;
}

// Feeds data to an inflater in pieces of piece bytes (all at once for 0).
Zlib::Inflater::Failure inflatePieces(Zlib::Inflater::Format format, const QByteArray &data, qint64 maxBytes,
                                      qsizetype piece, QByteArray &out)
{
    Zlib::Inflater inflater(format, out, maxBytes);
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(data.size(), 1);
    for (qsizetype offset = 0; offset < data.size(); offset += step)
        if (!inflater.feed(data.constData() + offset, size_t(std::min(step, data.size() - offset))))
            return inflater.failure();
    if (!inflater.finish())
        return inflater.failure();
    return Zlib::Inflater::Failure::None;
}

} // namespace

class TestZlib : public QObject
{
    Q_OBJECT

private slots:
    void inflaterDecodes_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray text = sampleText(3000);
        // A raw deflate stream whose first two bytes also pass as a zlib
        // header (a stored block of one byte, then an empty final one).
        const QByteArray lookalike("\x78\x01\x00\xfe\xff" "A" "\x01\x00\x00\xff\xff", 11);
        const int gzip = int(Zlib::Inflater::Format::Gzip);
        const int deflate = int(Zlib::Inflater::Format::Deflate);
        QTest::newRow("gzip") << gzip << Zlib::gzipCompress(text) << text;
        QTest::newRow("two gzip members") << gzip << Zlib::gzipCompress(text.left(99)) + Zlib::gzipCompress(text.mid(99))
                                          << text;
        QTest::newRow("gzip, trailing garbage") << gzip << Zlib::gzipCompress(text) + "garbage" << text;
        QTest::newRow("gzip, one trailing byte") << gzip << Zlib::gzipCompress(text) + "g" << text;
        QTest::newRow("raw deflate") << deflate << RefService::rawDeflate(text) << text;
        QTest::newRow("zlib deflate") << deflate << RefService::zlibDeflate(text) << text;
        QTest::newRow("zlib-looking raw deflate") << deflate << lookalike << QByteArray("A");
        QTest::newRow("empty raw deflate") << deflate << RefService::rawDeflate(QByteArray()) << QByteArray();
    }
    void inflaterDecodes()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(2), qsizetype(5), qsizetype(4096)}) {
            QByteArray out;
            QCOMPARE(inflatePieces(Zlib::Inflater::Format(format), data, 1 << 20, piece, out),
                     Zlib::Inflater::Failure::None);
            QCOMPARE(out, expected);
        }
    }

    void inflaterFails_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("failure");
        const QByteArray text = sampleText(300);
        const QByteArray gz = Zlib::gzipCompress(text);
        const int gzip = int(Zlib::Inflater::Format::Gzip);
        const int deflate = int(Zlib::Inflater::Format::Deflate);
        QTest::newRow("text as gzip") << gzip << text << qint64(1 << 20) << int(Zlib::Inflater::Failure::Invalid);
        QTest::newRow("gzip cut short") << gzip << gz.left(gz.size() - 3) << qint64(1 << 20)
                                        << int(Zlib::Inflater::Failure::Truncated);
        QTest::newRow("deflate garbage") << deflate << QByteArray("\xff\xff\xff\xff") << qint64(1 << 20)
                                         << int(Zlib::Inflater::Failure::Invalid);
        QTest::newRow("gzip over the bound") << gzip << gz << qint64(text.size() - 1)
                                             << int(Zlib::Inflater::Failure::TooLarge);
        QTest::newRow("gzip at the bound") << gzip << gz << qint64(text.size()) << int(Zlib::Inflater::Failure::None);
    }
    void inflaterFails()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, data);
        QFETCH(qint64, limit);
        QFETCH(int, failure);
        for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(3)}) {
            QByteArray out;
            QCOMPARE(inflatePieces(Zlib::Inflater::Format(format), data, limit, piece, out),
                     Zlib::Inflater::Failure(failure));
            QVERIFY(out.size() <= limit + 1);
        }
    }

    void gzipRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << QByteArray("catalogue");
        // More than a run of the parallel compressor: several runs joined.
        QTest::newRow("several runs") << sampleText(150000);
    }
    void gzipRoundTrip()
    {
        QFETCH(QByteArray, text);
        const QByteArray gz = Zlib::gzipCompress(text);
        QCOMPARE(Zlib::gzipDecompress(gz, text.size()), text);
        QByteArray out;
        QCOMPARE(inflatePieces(Zlib::Inflater::Format::Gzip, gz, text.size(), 0, out), Zlib::Inflater::Failure::None);
        QCOMPARE(out, text);
    }

    void gzipDecompressRefuses_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("message");
        const QByteArray text = sampleText(300);
        const QByteArray gz = Zlib::gzipCompress(text);
        QTest::newRow("empty") << QByteArray() << qint64(1 << 20) << "Not in gzip format";
        QTest::newRow("text") << text << qint64(1 << 20) << "Not in gzip format";
        QTest::newRow("cut short") << gz.left(gz.size() - 3) << qint64(1 << 20) << "Unexpected end of the gzip data";
        QTest::newRow("over the bound") << gz << qint64(text.size() - 1)
                                        << "The decoded data is larger than " + QString::number(text.size() - 1)
                                               + " bytes";
    }
    void gzipDecompressRefuses()
    {
        QFETCH(QByteArray, data);
        QFETCH(qint64, limit);
        QFETCH(QString, message);
        try {
            Zlib::gzipDecompress(data, limit);
            QFAIL("no error");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
    }

    void gzipDecompressMembers()
    {
        const QByteArray text = sampleText(500);
        const QByteArray two = Zlib::gzipCompress(text.left(1000)) + Zlib::gzipCompress(text.mid(1000));
        QCOMPARE(Zlib::gzipDecompress(two, 1 << 20), text);
        QCOMPARE(Zlib::gzipDecompress(Zlib::gzipCompress(text) + "trailing", 1 << 20), text);
    }
};

QTEST_GUILESS_MAIN(TestZlib)
#include "tst_zlib.moc"
