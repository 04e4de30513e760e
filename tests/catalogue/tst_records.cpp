#include "catalogue/LangMsg.h"
#include "catalogue/StreamInfo.h"
#include "catalogue/TulException.h"

#include <QtTest>
#include <algorithm>

namespace {
StreamInfoPtr record(int id, const QString &name, const QString &type, const QString &category = QString(),
                     const QString &country = QString(), const QString &language = QString())
{
    auto s = std::make_shared<StreamInfo>();
    s->setId(id);
    s->setName(name);
    if (!type.isNull())
        s->setType(type);
    if (!category.isNull())
        s->setCategory(category);
    if (!country.isNull())
        s->setCountry(country);
    if (!language.isNull())
        s->setLanguage(language);
    return s;
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void defaults()
    {
        StreamInfo s;
        QCOMPARE(s.getId(), 0);
        QVERIFY(s.getName().isNull());
        QVERIFY(s.getUrl().isNull());
        QCOMPARE(s.getRating(), 0);
        QVERIFY(!s.getLive() && !s.getAdult() && !s.getTopStream());
        PPVStreamInfo p;
        QCOMPARE(p.getTimeLeftInt(), 0);
        QCOMPARE(p.getTimeLeft(), p.getZeroTimeLeft());
    }

    void matchQueryCountry_data()
    {
        QTest::addColumn<QString>("recType");
        QTest::addColumn<int>("recCategory");
        QTest::addColumn<int>("recCountry");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("categoryId");
        QTest::addColumn<int>("countryId");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ALL matches any") << "Radio" << 1 << 1 << "ALL" << 0 << 0 << QString() << true;
        QTest::newRow("type ignores case") << "TV" << 1 << 1 << "tv" << 0 << 0 << QString() << true;
        QTest::newRow("lower all is a type") << "Radio" << 1 << 1 << "all" << 0 << 0 << QString() << false;
        QTest::newRow("unset type only ALL") << QString() << 1 << 1 << "Radio" << 0 << 0 << QString() << false;
        QTest::newRow("unset type with ALL") << QString() << 1 << 1 << "ALL" << 0 << 0 << QString() << true;
        QTest::newRow("category 3 hit") << "Radio" << 3 << 1 << "Radio" << 3 << 0 << "" << true;
        QTest::newRow("category 3 miss") << "Radio" << 2 << 1 << "Radio" << 3 << 0 << "" << false;
        QTest::newRow("country miss") << "Radio" << 3 << 4 << "Radio" << 0 << 5 << "" << false;
        QTest::newRow("country hit") << "Radio" << 3 << 5 << "Radio" << 0 << 5 << "" << true;
    }
    void matchQueryCountry()
    {
        QFETCH(QString, recType);
        QFETCH(int, recCategory);
        QFETCH(int, recCountry);
        QFETCH(QString, type);
        QFETCH(int, categoryId);
        QFETCH(int, countryId);
        QFETCH(QString, query);
        QFETCH(bool, expected);
        auto s = record(1, QStringLiteral("Name"), recType);
        s->setIndexIds(recCategory, 1, recCountry);
        QCOMPARE(s->matchQueryCountry(type, categoryId, countryId, query), expected);
    }

    void searchFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("expected");
        QTest::newRow("name capitals") << "ROCK FM" << "Pop" << "Norway" << "Norwegian" << true;
        QTest::newRow("category initial") << "Station" << "Rock" << "Norway" << "Norwegian" << true;
        QTest::newRow("country text") << "Station" << "Pop" << "Rockland" << "Norwegian" << true;
        QTest::newRow("language only") << "Station" << "Pop" << "Norway" << "Rockish" << false;
    }
    void searchFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, category);
        QFETCH(QString, country);
        QFETCH(QString, language);
        QFETCH(bool, expected);
        auto s = record(1, name, QStringLiteral("Radio"), category, country, language);
        QCOMPARE(s->matchQueryCountry(QStringLiteral("ALL"), 0, 0, QStringLiteral("rock")), expected);
    }

    void unicodeCase()
    {
        // A Norwegian catalogue: æ, ø, å match their capitals.
        auto s = record(1, QStringLiteral("Blåbær Radio"), QStringLiteral("Radio"), QStringLiteral("Økonomi"));
        QVERIFY(s->matchQuery(QStringLiteral("BLÅBÆR")));
        QVERIFY(s->matchQueryCountry(QStringLiteral("ALL"), 0, 0, QStringLiteral("økono")));
        auto t = record(2, QStringLiteral("ÆRLIG"), QStringLiteral("Radio"));
        auto u = record(3, QStringLiteral("ærlig"), QStringLiteral("Radio"));
        QCOMPARE(t->compareTo(*u), 0);
    }

    void matchQuery()
    {
        auto s = record(1, QStringLiteral("Jazz Radio"), QStringLiteral("Radio"), QStringLiteral("Blues"));
        QVERIFY(s->matchQuery(QString()));
        QVERIFY(s->matchQuery(QStringLiteral("")));
        QVERIFY(s->matchQuery(QStringLiteral("jazz")));
        QVERIFY(!s->matchQuery(QStringLiteral("blues")));
    }

    void timeTexts_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("timeLeft");
        QTest::addColumn<QString>("length");
        QTest::newRow("0") << 0 << "Dager: 0--00:00:00" << "00:00:00";
        QTest::newRow("59") << 59 << "Dager: 0--00:00:59" << "00:00:59";
        QTest::newRow("3599") << 3599 << "Dager: 0--00:59:59" << "00:59:59";
        QTest::newRow("3600") << 3600 << "Dager: 0--01:00:00" << "01:00:00";
        QTest::newRow("5400") << 5400 << "Dager: 0--01:30:00" << "01:30:00";
        QTest::newRow("86400") << 86400 << "Dager: 1--00:00:00" << "00:00:00";
        QTest::newRow("90000") << 90000 << "Dager: 1--01:00:00" << "01:00:00";
        QTest::newRow("93784") << 93784 << "Dager: 1--02:03:04" << "02:03:04";
    }
    void timeTexts()
    {
        QFETCH(int, seconds);
        QFETCH(QString, timeLeft);
        QFETCH(QString, length);
        PPVStreamInfo p;
        p.setTimeLeft(seconds);
        p.setLength(seconds);
        QCOMPARE(p.getTimeLeft(), timeLeft);
        QCOMPARE(p.getLength(), length);
        QCOMPARE(p.getTimeLeft() == p.getZeroTimeLeft(), seconds == 0);
    }

    void negativeTimeLeftIsNone()
    {
        PPVStreamInfo p;
        p.setTimeLeft(-5);
        QCOMPARE(p.getTimeLeftInt(), 0);
        QCOMPARE(p.getTimeLeft(), p.getZeroTimeLeft());
    }

    void selectorOrder()
    {
        std::vector<StreamFilterPtr> entries{std::make_shared<StreamFilter>(2, QStringLiteral("radio")),
                                             std::make_shared<StreamFilter>(0, QStringLiteral("All categories")),
                                             std::make_shared<StreamFilter>(1, QStringLiteral("News"))};
        sortSelectorEntries(entries);
        QCOMPARE(entries[0]->getId(), 0);
        QCOMPARE(entries[1]->getId(), 1);
        QCOMPARE(entries[2]->getId(), 2);

        StreamFilter abc(5, QStringLiteral("abc")), abd(4, QStringLiteral("ABD"));
        QVERIFY(abc.compareTo(abd) < 0);
        QVERIFY(StreamFilter::selectorLess(abc, abd));

        // The literal comparison is not antisymmetric for two "all" entries;
        // the sort keeps such entries in their input order.
        StreamFilter a0(0, QStringLiteral("x")), b0(0, QStringLiteral("y"));
        QCOMPARE(a0.compareTo(b0), -1);
        QCOMPARE(b0.compareTo(a0), -1);
        std::vector<StreamFilterPtr> twoAll{std::make_shared<StreamFilter>(7, QStringLiteral("b")),
                                            std::make_shared<StreamFilter>(0, QStringLiteral("second")),
                                            std::make_shared<StreamFilter>(0, QStringLiteral("first")),
                                            std::make_shared<StreamFilter>(3, QStringLiteral("a"))};
        sortSelectorEntries(twoAll);
        QCOMPARE(twoAll[0]->getText(), QStringLiteral("second"));
        QCOMPARE(twoAll[1]->getText(), QStringLiteral("first"));
        QCOMPARE(twoAll[2]->getText(), QStringLiteral("a"));
    }

    void strictWeakOrderOnManyEntries()
    {
        // Many "all" entries among others must not upset std::sort.
        std::vector<StreamFilter> v;
        for (int i = 0; i < 500; ++i)
            v.emplace_back(i % 7 == 0 ? 0 : i, QString::number(i % 13));
        std::sort(v.begin(), v.end(), StreamFilter::selectorLess);
        const auto firstNonZero = std::find_if(v.begin(), v.end(), [](const StreamFilter &f) { return f.getId() != 0; });
        QVERIFY(std::all_of(v.begin(), firstNonZero, [](const StreamFilter &f) { return f.getId() == 0; }));
        QVERIFY(std::is_sorted(v.begin(), v.end(), StreamFilter::selectorLess));
    }

    void exceptionForms()
    {
        TulException plain(QStringLiteral("ConnectError"));
        QCOMPARE(plain.getMsg(), QStringLiteral("Firewall blocking error"));
        QCOMPARE(plain.getTitle(), QStringLiteral("Unknown error"));
        QVERIFY(plain.getMessage().isNull());
        QVERIFY(plain.getStackTrace().isEmpty());

        std::runtime_error cause("disk went away");
        TulException detailed(QStringLiteral("data.dat"), QStringLiteral("ConnectError"), cause);
        QCOMPARE(detailed.getMsg(), QStringLiteral("data.dat: Firewall blocking error"));
        QCOMPARE(detailed.getMessage(), QStringLiteral("disk went away"));
        QVERIFY(!detailed.getStackTrace().isEmpty());
        // One line per frame, demangled to C++ names.
        QVERIFY2(detailed.getStackTrace().join(u'\n').contains(QStringLiteral("QTest::qExec(QObject*")),
                 qPrintable(detailed.getStackTrace().join(u'\n')));

        QVERIFY_THROWS_EXCEPTION(MissingResourceException, TulException(QStringLiteral("connecterror")));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
