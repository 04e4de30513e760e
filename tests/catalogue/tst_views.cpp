#include "catalogue/Options.h"
#include "catalogue/StreamOrderIndex.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "service/ReferenceService.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using RefService::CatalogueEntry;

namespace {
CatalogueEntry entry(int id, const QString &name, const QString &type = QStringLiteral("TV"),
                     const QString &category = QStringLiteral("News"), const QString &country = QStringLiteral("Norway"),
                     bool live = false, int bitrate = 300)
{
    CatalogueEntry e;
    e.id = id;
    e.name = name;
    e.type = type;
    e.category = category;
    e.country = country;
    e.language = QStringLiteral("Norwegian");
    e.live = live;
    e.bitrate = bitrate;
    e.url = QStringLiteral("http://127.0.0.1/stream/%1").arg(id);
    return e;
}

QList<int> ids(const std::vector<StreamInfoPtr> &rows)
{
    QList<int> out;
    for (const auto &s : rows)
        out.append(s->getId());
    return out;
}

QStringList texts(const std::vector<StreamFilterPtr> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out.append(e->getText());
    return out;
}

// The rows as the literal rule gives them: the catalogue's matching records
// in catalogue order, stably sorted with the column's comparator, reversed
// when descending.
std::vector<StreamInfoPtr> reference(std::vector<StreamInfoPtr> rows, int sorter, bool ascending)
{
    std::stable_sort(rows.begin(), rows.end(), StreamsView::StreamInfoSorter(sorter));
    if (!ascending)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

// The records of list at the index's positions.
std::vector<StreamInfoPtr> atPositions(const StreamList &list, const std::vector<std::uint32_t> &positions)
{
    std::vector<StreamInfoPtr> out;
    out.reserve(positions.size());
    for (std::uint32_t pos : positions)
        out.push_back(list[pos]);
    return out;
}

bool samePointers(const std::vector<StreamInfoPtr> &a, const std::vector<StreamInfoPtr> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].get() != b[i].get())
            return false;
    return true;
}
} // namespace

class TestViews : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_oldCurrent;

    // Loads entries into manager through the cache-file path: data.dat
    // holds the catalogue, the stored revision matches the one the
    // (unreachable) catalogue server cannot tell.
    void load(StreamsManager &manager, const std::vector<CatalogueEntry> &entries, int lastStreamId = 0)
    {
        QFile file(QDir(m_dir.path()).filePath(QStringLiteral("data.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        RefService::CatalogueInfo info;
        info.withInfo = false;
        file.write(RefService::gzipCompress(RefService::catalogueDocument(entries, info)));
        file.close();
        Options::setCacheRevision(7);
        Options::setLastStreamId(lastStreamId);
        QVERIFY(manager.fetchStreams());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        // Nothing listens on port 1: the revision check fails at once.
        qputenv("QUORVANTEL_CATALOGUE_HOST", "127.0.0.1:1");
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldCurrent); }
    void init() { Options::resetToDefaults(); }

    void latestView_data()
    {
        QTest::addColumn<int>("lastStreamId");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("no flag") << 0 << QList<int>{};
        // threshold = 1000 - 25
        QTest::newRow("threshold 975") << 1000 << QList<int>{1010, 990, 976};
    }
    void latestView()
    {
        QFETCH(int, lastStreamId);
        QFETCH(QList<int>, expected);
        StreamsManager manager;
        load(manager, {entry(975, "a"), entry(976, "b", "Radio"), entry(990, "c", "Movie"), entry(1010, "d"), entry(5, "e")},
             lastStreamId);
        StreamsView latest(&manager, StreamsView::FILTER_LATEST);
        latest.selectSorter(StreamsView::SORT_ID, false);
        QCOMPARE(ids(latest.getActiveStreams()), expected);
    }

    void nameTies()
    {
        StreamsManager manager;
        load(manager, {entry(7, "Same"), entry(2, "beta"), entry(3, "SAME"), entry(1, "alpha")});
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        QCOMPARE(ids(tv.getActiveStreams()), (QList<int>{1, 2, 3, 7}));
        tv.selectSorter(StreamsView::SORT_NAME, false);
        QCOMPARE(ids(tv.getActiveStreams()), (QList<int>{7, 3, 2, 1}));
    }

    void liveColumn()
    {
        StreamsManager manager;
        load(manager, {entry(4, "d", "TV", "N", "No", true), entry(2, "b", "TV", "N", "No", false),
                       entry(3, "c", "TV", "N", "No", true), entry(1, "a", "TV", "N", "No", false),
                       entry(5, "e", "TV", "N", "No", false)});
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        tv.selectSorter(StreamsView::SORT_LIVE, true);
        const auto rows = tv.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{1, 2, 5, 3, 4}));
        QVERIFY(!rows[2]->getLive() && rows[3]->getLive());
    }

    void typeFilter_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("all") << StreamsView::FILTER_ALL << QList<int>{1, 2, 3, 4, 5, 6};
        QTest::newRow("tv ignores case") << StreamsView::FILTER_TV << QList<int>{1, 2};
        QTest::newRow("radio") << StreamsView::FILTER_RADIO << QList<int>{3};
        QTest::newRow("movies") << StreamsView::FILTER_MOVIES << QList<int>{4};
        QTest::newRow("erotic") << StreamsView::FILTER_EROTIC << QList<int>{5};
        QTest::newRow("webcam") << StreamsView::FILTER_WEBCAM << QList<int>{6};
        QTest::newRow("videoclip") << StreamsView::FILTER_VIDEOCLIP << QList<int>{};
        QTest::newRow("unknown number keeps all") << 42 << QList<int>{1, 2, 3, 4, 5, 6};
    }
    void typeFilter()
    {
        QFETCH(int, filter);
        QFETCH(QList<int>, expected);
        StreamsManager manager;
        manager.setAdultVisible(true);
        load(manager, {entry(1, "a", "TV"), entry(2, "b", "tv"), entry(3, "c", "Radio"), entry(4, "d", "Movie"),
                       entry(5, "e", "Erotic"), entry(6, "f", "Webcam")});
        StreamsView view(&manager, filter);
        QCOMPARE(ids(view.getActiveStreams()), expected);
    }

    void sharedRecords()
    {
        StreamsManager manager;
        load(manager, {entry(2, "b"), entry(1, "a")});
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        const auto rows = tv.getActiveStreams();
        const auto all = manager.getAllStreams();
        QCOMPARE(rows.size(), std::size_t(2));
        QCOMPARE(rows[0].get(), (*all)[1].get());
        QCOMPARE(rows[1].get(), (*all)[0].get());
    }

    void countries_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all") << 0 << QString() << QString()
                             << QStringList{"All Countries", "Denmark", "norway", "Sweden"};
        QTest::newRow("country selected") << 0 << "Sweden" << QString() << QStringList{"All Countries", "Sweden"};
        QTest::newRow("search text") << 0 << QString() << "rock" << QStringList{"All Countries", "Denmark", "norway"};
        QTest::newRow("search matches a country") << 0 << QString() << "SWED" << QStringList{"All Countries", "Sweden"};
        QTest::newRow("category") << 2 << QString() << QString() << QStringList{"All Countries", "Sweden"};
    }
    void countries()
    {
        QFETCH(int, category);
        QFETCH(QString, country);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        StreamsManager manager;
        load(manager, {entry(1, "Rock One", "Radio", "Music", "norway"), entry(2, "Talk", "Radio", "Talk", "Sweden"),
                       entry(3, "rock two", "Radio", "Music", "Denmark"), entry(4, "Other", "TV", "Music", "Finland")});
        StreamsView radio(&manager, StreamsView::FILTER_RADIO);
        const auto categories = manager.getCategories();
        const auto talk = std::find_if(categories.begin(), categories.end(),
                                       [](const StreamFilterPtr &f) { return f->getText() == "Talk"; });
        QVERIFY(talk != categories.end());
        QCOMPARE((*talk)->getId(), 2);
        radio.selectCategory(category);
        if (!country.isNull()) {
            const auto all = manager.getAllStreams();
            const auto it = std::find_if(all->begin(), all->end(),
                                         [&](const StreamInfoPtr &s) { return s->getCountry() == country; });
            QVERIFY(it != all->end());
            radio.selectCountry((*it)->getCountryId());
        }
        radio.searchForString(search);
        const auto entries = radio.getCountries();
        QCOMPARE(texts(entries), expected);
        QCOMPARE(entries.front()->getId(), 0);
    }

    void languages()
    {
        StreamsManager manager;
        auto a = entry(1, "a", "Radio");
        a.language = "English";
        auto b = entry(2, "b", "Radio");
        b.language = "danish";
        load(manager, {a, b, entry(3, "c", "TV")});
        StreamsView radio(&manager, StreamsView::FILTER_RADIO);
        QCOMPARE(texts(radio.getLanguages()), (QStringList{QStringLiteral("Alle språk"), "danish", "English"}));
    }

    void categories()
    {
        StreamsManager manager;
        load(manager, {entry(1, "Rock One", "Radio", "Music", "Norway"), entry(2, "Talk", "Radio", "talk", "Sweden"),
                       entry(3, "Film", "TV", "Films", "Norway"), entry(4, "Fake", "Radio", "Alle kategorier", "Norway"),
                       entry(5, "again", "Radio", "Music", "Norway")});
        StreamsView radio(&manager, StreamsView::FILTER_RADIO);
        // Neither the chosen category, the country nor the search text apply.
        radio.selectCategory(12345);
        radio.selectCountry(999);
        radio.searchForString("nothing matches this");
        QVERIFY(radio.getActiveStreams().empty());
        const auto entries = radio.getCategories();
        QCOMPARE(texts(entries), (QStringList{"Alle kategorier", "Music", "talk"}));
        QCOMPARE(entries.front()->getId(), 0);
        StreamsView all(&manager, StreamsView::FILTER_ALL);
        QCOMPARE(texts(all.getCategories()), (QStringList{"Alle kategorier", "Films", "Music", "talk"}));
    }

    void flipWithoutRebuild()
    {
        StreamsManager manager;
        load(manager, {entry(3, "c"), entry(1, "a"), entry(2, "b")});
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        tv.selectSorter(StreamsView::SORT_NAME, true);
        const auto first = tv.getActiveStreams();
        QCOMPARE(ids(first), (QList<int>{1, 2, 3}));
        // A new catalogue is not noticed until the rows are marked for
        // rebuilding: the flips show the rows already built.
        load(manager, {entry(9, "z")});
        tv.selectSorter(StreamsView::SORT_NAME, false);
        auto flipped = tv.getActiveStreams();
        QCOMPARE(ids(flipped), (QList<int>{3, 2, 1}));
        std::reverse(flipped.begin(), flipped.end());
        QVERIFY(samePointers(flipped, first));
        tv.selectSorter(StreamsView::SORT_NAME, true);
        QVERIFY(samePointers(tv.getActiveStreams(), first));
        tv.selectCategory(0);
        QCOMPARE(ids(tv.getActiveStreams()), (QList<int>{9}));
    }

    void everyColumn_data()
    {
        QTest::addColumn<int>("sorter");
        QTest::addColumn<bool>("ascending");
        for (int sorter = 0; sorter < StreamsView::NUM_SORTERS + 2; ++sorter) {
            const int number = sorter < StreamsView::NUM_SORTERS ? sorter : (sorter == StreamsView::NUM_SORTERS ? 42 : -1);
            QTest::addRow("column %d ascending", number) << number << true;
            QTest::addRow("column %d descending", number) << number << false;
        }
    }
    void everyColumn()
    {
        QFETCH(int, sorter);
        QFETCH(bool, ascending);
        // Mixed case, shared long prefixes, non-Latin letters, characters
        // outside the BMP, equal values and repeated identifiers.
        const QStringList fragments{"radio ", "Radio ", "RADIO", "Ärlig ", "ärlig", "Σίγμα", "σΊΓΜΑ", "ß", "SS", "ss",
                                 "\U0001F3B5 ", "\U00010400", "\U00010428", "x", "X", "", "Jazz FM Oslo Long Name "};
        QRandomGenerator random(sorter + 100);
        std::vector<CatalogueEntry> entries;
        for (int i = 0; i < 600; ++i) {
            QString name;
            const int parts = random.bounded(4);
            for (int p = 0; p < parts; ++p)
                name += fragments[random.bounded(int(fragments.size()))];
            const int id = random.bounded(400) - 200;
            auto e = entry(id, name.trimmed().isEmpty() ? QStringLiteral("n") : name, random.bounded(2) ? "TV" : "Radio",
                           fragments[random.bounded(int(fragments.size()))].trimmed() + "c",
                           fragments[random.bounded(int(fragments.size()))].trimmed() + "k", random.bounded(2) == 0,
                           int(random.bounded(7)) * 1000 - 3000);
            e.language = fragments[random.bounded(int(fragments.size()))].trimmed() + "l";
            entries.push_back(e);
        }
        StreamsManager manager;
        load(manager, entries);
        // The order index on its own: the whole list, ascending.
        {
            const auto list = manager.getAllStreams();
            StreamOrderIndex index(list);
            QVERIFY(samePointers(atPositions(*list, index.order(sorter)), reference(*list, sorter, true)));
        }
        StreamsView all(&manager, StreamsView::FILTER_ALL);
        StreamsView radio(&manager, StreamsView::FILTER_RADIO);
        for (StreamsView *view : {&all, &radio}) {
            view->selectSorter(sorter, ascending);
            QCOMPARE(view->getSelectedSorter(), sorter);
            std::vector<StreamInfoPtr> matching;
            for (const auto &s : *manager.getAllStreams())
                if (s->matchQueryCountry(view->getSelectedType(), 0, 0, QString()))
                    matching.push_back(s);
            QVERIFY(samePointers(view->getActiveStreams(), reference(matching, sorter, ascending)));
            // The other direction, then back.
            view->selectSorter(sorter, !ascending);
            QVERIFY(samePointers(view->getActiveStreams(), reference(matching, sorter, !ascending)));
            view->selectSorter(sorter, ascending);
            QVERIFY(samePointers(view->getActiveStreams(), reference(matching, sorter, ascending)));
        }
    }

    void foldingOfEveryLetter()
    {
        // Names of every kind of letter the documents can carry, with their
        // case partners: the view's name order is the comparator's.
        std::vector<CatalogueEntry> entries;
        int id = 0;
        for (char32_t c = 0x21; c < 0x30000; c += (c < 0x600 ? 1 : 7)) {
            if ((c >= 0xD800 && c < 0xE000) || c == 0xFFFE || c == 0xFFFF || (c >= 0xFDD0 && c <= 0xFDEF))
                continue;
            const QString letter = QString::fromUcs4(&c, 1);
            for (const QString &form : {letter, letter.toUpper(), letter.toLower()})
                entries.push_back(entry(++id, form + QStringLiteral("x"), "TV"));
        }
        StreamsManager manager;
        load(manager, entries);
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        const auto rows = tv.getActiveStreams();
        QCOMPARE(rows.size(), entries.size());
        QVERIFY(samePointers(rows, reference(*manager.getAllStreams(), StreamsView::SORT_NAME, true)));
    }

    void searchSequence()
    {
        StreamsManager manager;
        std::vector<CatalogueEntry> entries{entry(1, "Radio Rock"), entry(2, "radar", "TV", "Weather"),
                                            entry(3, "Straße FM", "TV", "Music", "Deutschland"),
                                            entry(4, "Strasse", "TV", "News", "Austria"), entry(5, "Rad", "Radio")};
        load(manager, entries);
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        const QStringList searches{"r", "ra", "rad", "radi", "ad", "", "s", "ss", "ß", "STRASSE", "st", QString(), "ROCK"};
        for (const QString &q : searches) {
            tv.searchForString(q);
            StreamsView fresh(&manager, StreamsView::FILTER_TV);
            fresh.searchForString(q);
            std::vector<StreamInfoPtr> expected;
            for (const auto &s : *manager.getAllStreams())
                if (s->matchQueryCountry("TV", 0, 0, q))
                    expected.push_back(s);
            expected = reference(expected, StreamsView::SORT_NAME, true);
            QVERIFY2(samePointers(tv.getActiveStreams(), expected), qPrintable(q));
            QVERIFY2(samePointers(fresh.getActiveStreams(), expected), qPrintable(q));
        }
    }

    void prepared()
    {
        // Views built before the load: the load publishes the new list with
        // its order index, prepared, and every view of the list uses it.
        StreamsManager manager;
        StreamsView all(&manager, StreamsView::FILTER_ALL);
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        load(manager, {entry(3, "c", "Radio"), entry(1, "B"), entry(2, "a")});
        const StreamsManager::Snapshot snapshot = manager.snapshot();
        QVERIFY(snapshot.order);
        QCOMPARE(snapshot.order->list.get(), snapshot.streams.get());
        QCOMPARE(ids(all.getActiveStreams()), (QList<int>{2, 1, 3}));
        QCOMPARE(ids(tv.getActiveStreams()), (QList<int>{2, 1}));
        all.selectSorter(StreamsView::SORT_CATEGORY, false);
        all.searchForString("b");
        QCOMPARE(ids(all.getActiveStreams()), (QList<int>{1}));
        // An emptied catalogue comes with an index of its own.
        manager.flushCache();
        const StreamsManager::Snapshot flushed = manager.snapshot();
        QVERIFY(flushed.order);
        QCOMPARE(flushed.order->list.get(), flushed.streams.get());
        all.selectCategory(0);
        QVERIFY(all.getActiveStreams().empty());
    }

    void orderIndexAlone()
    {
        // An index of a list that no manager published, asked from several
        // threads at once while its own thread prepares it: every column's
        // order is the comparator's, and the fields and search texts are the
        // records'.
        StreamList list;
        const QStringList names{"b", "A", "a", "\u00C4rlig", "\u00E4rlig", "", "zz", "Z"};
        for (int i = 0; i < 400; ++i) {
            auto s = std::make_shared<StreamInfo>();
            s->setId((i * 37) % 101 - 50);
            s->setName(names[i % names.size()] + QString::number(i % 3));
            s->setCategory(names[(i / 3) % names.size()]);
            s->setCountry(names[(i / 5) % names.size()]);
            s->setLanguage(names[(i / 7) % names.size()]);
            s->setFormat(i % 2 ? QStringLiteral("WMP") : QStringLiteral("wmp"));
            s->setBitrate((i % 9) * 100);
            s->setLive(i % 4 == 0);
            if (i % 6)
                s->setType(i % 2 ? QStringLiteral("TV") : QStringLiteral("Radio"));
            list.push_back(s);
        }
        const auto shared = std::make_shared<const StreamList>(list);
        StreamOrderIndex index(shared);
        index.prepareInBackground();
        index.prepareInBackground(); // a second call starts nothing more
        std::atomic<int> wrong{0};
        std::vector<std::thread> askers;
        for (int t = 0; t < 3; ++t) {
            askers.emplace_back([&, t] {
                for (int k = 0; k < StreamsView::NUM_SORTERS; ++k) {
                    const int column = (k + 3 * t) % StreamsView::NUM_SORTERS;
                    if (!samePointers(atPositions(*shared, index.order(column)), reference(list, column, true)))
                        ++wrong;
                }
            });
        }
        for (auto &asker : askers)
            asker.join();
        QCOMPARE(wrong.load(), 0);
        QVERIFY(samePointers(atPositions(*shared, index.order(-1)), reference(list, StreamsView::SORT_ID, true)));
        const StreamOrderIndex::Fields &f = index.fields();
        const StreamOrderIndex::Texts &t = index.texts();
        for (std::size_t i = 0; i < list.size(); ++i) {
            const StreamInfo &s = *list[i];
            QCOMPARE(f.id[i], s.getId());
            QCOMPARE(f.category[i], s.getCategoryId());
            QCOMPARE(f.country[i], s.getCountryId());
            QCOMPARE(f.typeTexts[f.type[i]], s.getType());
            QCOMPARE(t.name(std::uint32_t(i)).toString(), s.getName().toUpper());
            QCOMPARE(t.categoryTexts[t.category[i]], s.getCategory().toUpper());
            QCOMPARE(t.countryTexts[t.country[i]], s.getCountry().toUpper());
        }
    }

    void loadWhileReading()
    {
        // A worker thread reloads two catalogues in turn while this thread
        // searches, sorts and switches like the window does: every answer is
        // the complete rows of one of the two catalogues.
        const std::vector<CatalogueEntry> first{entry(1, "Rock A"), entry(2, "Pop B", "Radio"), entry(3, "Rock C")};
        const std::vector<CatalogueEntry> second{entry(10, "Rock X"), entry(11, "Rock Y"), entry(12, "Jazz Z"),
                                                 entry(13, "Rock W")};
        auto write = [&](const std::vector<CatalogueEntry> &entries, const QString &name) {
            QFile file(QDir(m_dir.path()).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            RefService::CatalogueInfo info;
            info.withInfo = false;
            file.write(RefService::gzipCompress(RefService::catalogueDocument(entries, info)));
        };
        write(first, "first.dat");
        write(second, "second.dat");
        StreamsManager manager;
        QFile::remove("data.dat");
        QVERIFY(QFile::copy("first.dat", "data.dat"));
        Options::setCacheRevision(7);
        QVERIFY(manager.fetchStreams());
        StreamsView tv(&manager, StreamsView::FILTER_TV);
        std::atomic<bool> done{false};
        std::atomic<int> failures{0};
        std::thread worker([&] {
            for (int i = 0; i < 30; ++i) {
                // The cache file is read at each load; switching it between
                // loads is safe, nothing reads it in between.
                QFile::remove("data.dat");
                QFile::copy(i % 2 ? "first.dat" : "second.dat", "data.dat");
                try {
                    manager.fetchStreams();
                } catch (...) {
                    ++failures;
                }
            }
            done = true;
        });
        const QList<QList<int>> rock{{1, 3}, {13, 10, 11}};
        const QList<QList<int>> everything{{1, 3}, {12, 13, 10, 11}};
        int rounds = 0;
        bool good = true;
        while (!done || rounds < 50) {
            ++rounds;
            tv.selectCategory(0);
            tv.selectCountry(0);
            tv.searchForString(rounds % 2 ? QStringLiteral("rock") : QString());
            tv.selectSorter(StreamsView::SORT_NAME, true);
            const QList<int> rows = ids(tv.getActiveStreams());
            const auto &allowed = rounds % 2 ? rock : everything;
            if (!allowed.contains(rows)) {
                qWarning() << "rows" << rows;
                good = false;
            }
            tv.getCountries();
            tv.getCategories();
        }
        worker.join();
        QVERIFY(good);
        QCOMPARE(failures.load(), 0);
    }

    void comparator_data()
    {
        QTest::addColumn<int>("sorter");
        QTest::addColumn<QString>("textA");
        QTest::addColumn<QString>("textB");
        QTest::addColumn<int>("numberA");
        QTest::addColumn<int>("numberB");
        QTest::addColumn<int>("expected");
        QTest::newRow("unset equals empty, id decides") << 2 << QString() << "" << 0 << 0 << -1;
        QTest::newRow("unset before text") << 3 << QString() << "a" << 0 << 0 << -1;
        QTest::newRow("prefix first") << 0 << "Rock" << "rock fm" << 0 << 0 << -1;
        QTest::newRow("case ignored, id decides") << 5 << "WMP" << "wmp" << 0 << 0 << -1;
        QTest::newRow("extreme bit rates") << 4 << "" << "" << INT_MIN << INT_MAX << -1;
        QTest::newRow("extreme bit rates reversed") << 4 << "" << "" << INT_MAX << INT_MIN << 1;
        QTest::newRow("rating always equal") << 6 << "" << "" << 5 << 1 << -1;
        QTest::newRow("id only ignores name") << 9 << "b" << "a" << 0 << 0 << -1;
    }
    void comparator()
    {
        QFETCH(int, sorter);
        QFETCH(QString, textA);
        QFETCH(QString, textB);
        QFETCH(int, numberA);
        QFETCH(int, numberB);
        QFETCH(int, expected);
        // a has the smaller identifier.
        auto make = [&](int id, const QString &text, int number) {
            auto s = std::make_shared<StreamInfo>();
            s->setId(id);
            if (!text.isNull()) {
                s->setName(text);
                s->setCategory(text);
                s->setLanguage(text);
                s->setCountry(text);
                s->setFormat(text);
            }
            s->setBitrate(number);
            return s;
        };
        const auto a = make(-5, textA, numberA);
        const auto b = make(INT_MAX, textB, numberB);
        const StreamsView::StreamInfoSorter sorter_(sorter);
        QCOMPARE(sorter_.compare(*a, *b), expected);
        QCOMPARE(sorter_.compare(*b, *a), -expected);
        QCOMPARE(sorter_.compare(*a, *a), 0);
    }
};

QTEST_GUILESS_MAIN(TestViews)
#include "tst_views.moc"
