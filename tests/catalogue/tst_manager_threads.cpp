#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <atomic>
#include <set>
#include <thread>

// The catalogue worker loads while other threads read the manager, as the
// UI thread does for its tables: every reader must see one whole catalogue.
class TestManagerThreads : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReferenceService> service;
    QTemporaryDir dir;
    QString originalDir;

private slots:
    void initTestCase()
    {
        service = quietService();
        QVERIFY(service->start());
        QVERIFY(dir.isValid());
        originalDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        qputenv("QUORVANTEL_CATALOGUE_HOST", service->hostPort().toLatin1());
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(originalDir);
        service.reset();
    }

    void readersDuringLoads()
    {
        Options::resetToDefaults();
        // Catalogues of different sizes, some asking for a flush; every
        // reader must see one of these sizes, never a mixture.
        const std::vector<int> sizes = {1500, 4500, 2600};
        std::vector<QByteArray> catalogues;
        for (size_t i = 0; i < sizes.size(); ++i) {
            auto entries = RefService::generateCatalogueEntries(sizes[i], service->hostPort(), quint32(i + 1));
            for (auto &e : entries) {
                e.format = QStringLiteral("WMP");
                e.adult = false;
            }
            RefService::CatalogueInfo info;
            info.motd = QStringLiteral("load %1").arg(i);
            if (i % 2 == 1)
                info.flush = QStringLiteral("True");
            catalogues.push_back(RefService::catalogueDocument(entries, info));
        }
        const std::set<size_t> allowed = {0, 1500, 4500, 2600};

        StreamsManager manager;
        manager.setAdultVisible(true);
        std::atomic<bool> done{false};
        std::atomic<int> badSnapshots{0};
        std::atomic<long> reads{0};

        auto reader = [&] {
            while (!done.load()) {
                const StreamsManager::Snapshot snap = manager.snapshot();
                std::set<int> ids;
                for (const StreamInfoPtr &s : *snap.streams) {
                    ids.insert(s->getId());
                    // Read every field a table shows.
                    if (s->getName().isNull() || s->getCategoryId() <= 0 || s->getCountryId() <= 0)
                        ++badSnapshots;
                    (void)s->getUrl().size();
                    (void)s->getBitrate();
                }
                if (!allowed.count(snap.streams->size()))
                    ++badSnapshots;
                if (!snap.streams->empty() && snap.streamMap->size() != ids.size())
                    ++badSnapshots;
                (void)manager.getAllStreams()->size();
                (void)manager.getStreamMap()->size();
                (void)manager.getLatest();
                (void)manager.getLatestStreamId();
                (void)manager.getMOTD();
                (void)manager.getUpdateUrl();
                (void)manager.getCategories().size();
                (void)manager.getCountries().size();
                (void)manager.getAdultVisible();
                ++reads;
            }
        };
        auto switcher = [&] {
            while (!done.load())
                manager.setAdultVisible(true);
        };

        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i)
            threads.emplace_back(reader);
        threads.emplace_back(switcher);

        std::atomic<int> loaded{0};
        std::atomic<int> failures{0};
        auto load = [&] {
            try {
                if (manager.fetchStreams())
                    ++loaded;
            } catch (const TulException &) {
                ++failures;
            }
        };
        // A second loader at the same time: the manager runs one load at a
        // time (it reads the cache or downloads, whichever is due).
        std::thread second([&] {
            for (int round = 0; round < 6; ++round)
                load();
        });
        for (int round = 0; round < 6; ++round) {
            service->setCatalogue(catalogues[size_t(round) % catalogues.size()]);
            service->setRevision(100 + round);
            load();
        }
        second.join();
        done = true;
        for (auto &t : threads)
            t.join();

        QCOMPARE(failures.load(), 0);
        QCOMPARE(loaded.load(), 12);
        QCOMPARE(badSnapshots.load(), 0);
        QVERIFY(reads.load() > 0);
        const auto final = manager.snapshot();
        QVERIFY(allowed.count(final.streams->size()));
        QVERIFY(final.motd.startsWith("load "));
    }

    void failedLoadLeavesReadersTheOldCatalogue()
    {
        Options::resetToDefaults();
        StreamsManager manager;
        service->setCatalogue(RefService::generateCatalogue(300, service->hostPort()));
        service->setRevision(1);
        manager.setAdultVisible(true);
        QVERIFY(manager.fetchStreams());
        const auto before = manager.getAllStreams();

        std::atomic<bool> done{false};
        std::atomic<int> changed{0};
        std::thread reader([&] {
            while (!done.load())
                if (manager.getAllStreams() != before)
                    ++changed;
        });
        service->setRevision(2);
        service->setStatus("/getstreams.php", 503);
        bool threw = false;
        try {
            manager.fetchStreams();
        } catch (const TulException &) {
            threw = true;
        }
        done = true;
        reader.join();
        service->clearSwitches();
        QVERIFY(threw);
        QCOMPARE(changed.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestManagerThreads)
#include "tst_manager_threads.moc"
