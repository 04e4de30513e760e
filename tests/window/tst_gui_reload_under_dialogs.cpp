// A catalogue reload that ends while a dialog, a message box or a context
// menu that a table opened is still open: the rebuild replaces the tables
// under it. Each entry point is taken the way a user takes it (a double-click
// on a row, an entry of a table's context menu); the reload's pay-per-view
// reply is held by the service until the dialog is open, so the rebuild
// comes inside the dialog's own event loop. The table the call started from
// must outlive the call, and what the dialog decided must still happen.
#include "tests/window/GuiTestSupport.h"

#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/PPVDialog.h"
#include "window/dialogs/TulErrorDialog.h"
#include "window/players/MediaPlayerStaticImage.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QWebEngineView>

namespace {

const QString PPV_PATH = QStringLiteral("/getppv.php");
constexpr int WAIT_MS = 15000;

// Two Tv streams, a radio and an adult stream, playing from url.
QByteArray catalogue(const QString &url)
{
    std::vector<RefService::CatalogueEntry> entries = {
        entry(11, QStringLiteral("Bravo News"), QStringLiteral("TV"), QStringLiteral("News"), QStringLiteral("Norway"),
              300, false, url),
        entry(12, QStringLiteral("Charlie Kids"), QStringLiteral("TV"), QStringLiteral("Kids"),
              QStringLiteral("Austria"), 128, false, url),
        entry(21, QStringLiteral("Radio One"), QStringLiteral("Radio"), QStringLiteral("Pop"), QStringLiteral("Sweden"),
              128, false, url),
        entry(41, QStringLiteral("Late Show"), QStringLiteral("Erotic"), QStringLiteral("Adult"),
              QStringLiteral("Spain"), 500, true, url),
    };
    RefService::CatalogueInfo info;
    info.withInfo = true;
    return RefService::catalogueDocument(entries, info);
}

// A RealPlayer favourite (the catalogue lists Windows Media streams only;
// the settings file may hold others): with the media engine switched off,
// its player cannot be made and the error display opens.
StreamInfoPtr realPlayerFavorite(const QString &url)
{
    auto s = std::make_shared<StreamInfo>();
    s->setId(900);
    s->setName(QStringLiteral("Real Channel"));
    s->setType(QStringLiteral("TV"));
    s->setFormat(QStringLiteral("RM"));
    s->setUrl(url);
    return s;
}

RefService::PpvMovie movie(int id, const QString &name)
{
    RefService::PpvMovie m;
    m.id = id;
    m.name = name;
    m.category = QStringLiteral("Drama");
    m.length = 3000;
    return m;
}

int rowNamed(RecordTableModel *model, const QString &name)
{
    for (int i = 0; i < model->rowCount(); ++i) {
        if (model->element(i)->getName() == name)
            return i;
    }
    return -1;
}

QPoint rowCenter(RecordTableView *table, int row)
{
    return table->visualRect(table->model()->index(row, 0)).center();
}

// Selects the row and double-clicks it.
void doubleClickRow(RecordTableView *table, int row)
{
    clickRow(table, row);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(table, row));
}

// A right-click on the row: the press selects it and makes the table
// current, then the window system's context-menu event opens the menu.
QMenu *rightClickMenu(RecordTableView *table, int row)
{
    const QPoint pos = rowCenter(table, row);
    QTest::mousePress(table->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    QTest::mouseRelease(table->viewport(), Qt::RightButton, Qt::NoModifier, pos);
    clickRow(table, row);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, table->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(table->viewport(), &event);
    auto *menu = table->findChild<QMenu *>();
    return menu && QTest::qWaitFor([menu] { return menu->isVisible(); }, WAIT_MS) ? menu : nullptr;
}

// Clicks the menu's entry with this text.
bool chooseEntry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            return true;
        }
    }
    return false;
}

// What a test sees of the rebuild that comes while a dialog is open.
struct UnderDialog
{
    bool opened = false;
    bool rebuilt = false;
    bool tableKept = false;
    bool dialogStillOpen = false;
};

} // namespace

class TestGuiReloadUnderDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void payPerViewDialog_data();
    void payPerViewDialog();
    void playerErrorDisplay_data();
    void playerErrorDisplay();
    void brokenStreamReport_data();
    void brokenStreamReport();
    void contextMenuOpen_data();
    void contextMenuOpen();

private:
    // Starts a reload (the Update database entry) whose pay-per-view reply
    // the service holds.
    bool startHeldReload();
    // Lets the held reply go and waits until the rebuild has come and the
    // load has ended; records what the dialog and the table look like then.
    void releaseUnder(QWidget *dialog, const QPointer<RecordTableView> &table, UnderDialog *seen);
    RecordTableView *entryTable(const QString &table);
    // After the call returned: the table it started from goes, and only the
    // new tabs are in the folder.
    void checkRebuiltTables(const QPointer<RecordTableView> &oldTable);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
    std::unique_ptr<QSignalSpy> m_loads;
};

void TestGuiReloadUnderDialogs::initTestCase()
{
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiReloadUnderDialogs::init()
{
    qunsetenv("QUORVANTEL_MPV_DISABLE");
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setCatalogue(catalogue(heldMedia(*m_service)));
    m_service->setPpvMovies({movie(801, QStringLiteral("Not Rented")), movie(802, QStringLiteral("Rented Movie"))});
    m_service->clearRentals();
    m_service->setGlobalRental(802, 7200);
    m_gui = std::make_unique<Gui>();
    QVERIFY(openAndWaitForLoad(*m_gui));
    QVERIFY(m_gui->streamTabs()->bottomTab(1));
    QVERIFY(m_gui->streamTabs()->bottomTab(9));
    m_gui->addFavoriteStream(realPlayerFavorite(m_service->mediaUrl(QStringLiteral("held.mp4"))));
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    m_loads = std::make_unique<QSignalSpy>(m_gui.get(), &Gui::loadFinished);
}

void TestGuiReloadUnderDialogs::cleanup()
{
    m_loads.reset();
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
    qunsetenv("QUORVANTEL_MPV_DISABLE");
}

bool TestGuiReloadUnderDialogs::startHeldReload()
{
    m_service->holdReplies(PPV_PATH);
    probe(m_gui).actionUpdateDatabase()->trigger();
    return QTest::qWaitFor([this] { return m_service->heldRequestCount(PPV_PATH) == 1; }, WAIT_MS) &&
           m_gui->isLoadRunning();
}

void TestGuiReloadUnderDialogs::releaseUnder(QWidget *dialog, const QPointer<RecordTableView> &table,
                                             UnderDialog *seen)
{
    seen->opened = true;
    m_service->releaseReplies(PPV_PATH);
    seen->rebuilt = QTest::qWaitFor([this] { return m_loads->count() == 1; }, WAIT_MS);
    seen->tableKept = !table.isNull();
    seen->dialogStillOpen = dialog->isVisible();
}

RecordTableView *TestGuiReloadUnderDialogs::entryTable(const QString &table)
{
    if (table == QLatin1String("favorites"))
        return probe(m_gui).favoritesTable();
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    probe(m_gui).cBottomTab()->setCurrentWidget(tv);
    return tv->getTable();
}

void TestGuiReloadUnderDialogs::checkRebuiltTables(const QPointer<RecordTableView> &oldTable)
{
    QTRY_VERIFY(oldTable.isNull());
    // No tab of the previous load is left, in the folder or out of it.
    const QList<BottomList *> tabs = m_gui->streamTabs()->liveTabs();
    QTRY_COMPARE(m_gui->findChildren<BottomList *>().size(), tabs.size());
    QCOMPARE(m_gui->findChildren<RecordTableView *>().size(), tabs.size() + (probe(m_gui).ppvTable() ? 2 : 1));
    QVERIFY(!tabs.isEmpty());
    QCOMPARE(probe(m_gui).cBottomTab()->count(), int(tabs.size()));
    for (BottomList *tab : tabs)
        QVERIFY(probe(m_gui).cBottomTab()->indexOf(tab) >= 0);
    QVERIFY(probe(m_gui).favoritesTable());
    QCOMPARE(probe(m_gui).cTabFavLoc()->indexOf(probe(m_gui).favoritesTab()), 0);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
}

void TestGuiReloadUnderDialogs::payPerViewDialog_data()
{
    QTest::addColumn<bool>("confirmOrder");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel without an order") << false << false;
    QTest::newRow("Escape without an order") << false << true;
    QTest::newRow("Cancel after a confirmed order") << true << false;
}

void TestGuiReloadUnderDialogs::payPerViewDialog()
{
    QFETCH(bool, confirmOrder);
    QFETCH(bool, byEscape);
    BottomList *ppv = m_gui->streamTabs()->bottomTab(9);
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(ppv));
    QPointer<RecordTableView> table = ppv->getTable();
    const int row = rowNamed(ppv->getTableViewer(), QStringLiteral("Not Rented"));
    QVERIFY(row >= 0);
    QVERIFY(startHeldReload());

    UnderDialog seen;
    bool verified = !confirmOrder;
    const QString verify = m_service->baseUrl() + QStringLiteral("/ppv/ppvorder_verify.php?serial=&videoid=801");
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *dialog = qobject_cast<PpvDescriptionBrowserDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        if (confirmOrder) {
            dialog->browser()->load(QUrl(verify));
            verified = QTest::qWaitFor(
                [dialog] { return dialog->browser()->url().toString().contains(QLatin1String("ppvorder_verify")); },
                WAIT_MS);
        }
        releaseUnder(dialog, table, &seen);
        if (byEscape) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("Cancel"))
                QTest::mousePress(button, Qt::LeftButton);
        }
        if (dialog->isVisible())
            dialog->close();
    });
    doubleClickRow(table, row);
    // Whether the closed dialog asked for a load, seen before anything else
    // runs.
    const bool loadAsked = m_gui->isLoadRunning() || m_gui->isReloadPending();

    QCOMPARE(answers.handled(), 1);
    QVERIFY(seen.opened);
    QVERIFY(verified);
    QVERIFY(seen.rebuilt);
    QVERIFY(seen.dialogStillOpen);
    QVERIFY(seen.tableKept);
    checkRebuiltTables(table);
    QVERIFY(m_gui->streamTabs()->bottomTab(9));
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    if (confirmOrder) {
        // The order still reloads the catalogue: the movie is rented now.
        QVERIFY(loadAsked);
        QVERIFY(waitForLoads(*m_loads, 2));
        QVERIFY(probe(m_gui).ppvTableViewer());
        QCOMPARE(probe(m_gui).ppvTableViewer()->rowCount(), 2);
    } else {
        QVERIFY(!loadAsked);
        QCOMPARE(m_loads->count(), 1);
        QCOMPARE(probe(m_gui).ppvTableViewer()->rowCount(), 1);
    }
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiReloadUnderDialogs::playerErrorDisplay_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("menuEntry");
    QTest::newRow("favourite double-clicked") << "favorites" << QString();
    QTest::newRow("favourites menu Play") << "favorites" << "Play";
}

void TestGuiReloadUnderDialogs::playerErrorDisplay()
{
    QFETCH(QString, table);
    QFETCH(QString, menuEntry);
    qputenv("QUORVANTEL_MPV_DISABLE", "1");
    QPointer<RecordTableView> from = entryTable(table);
    const int row = rowNamed(from->recordModel(), QStringLiteral("Real Channel"));
    QVERIFY(row >= 0);
    QVERIFY(startHeldReload());

    UnderDialog seen;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        if (qobject_cast<TulErrorDialog *>(w))
            releaseUnder(w, from, &seen);
        w->close();
    });
    if (menuEntry.isEmpty()) {
        doubleClickRow(from, row);
    } else {
        QMenu *menu = rightClickMenu(from, row);
        QVERIFY(menu);
        QVERIFY(chooseEntry(menu, menuEntry));
    }

    QCOMPARE(answers.handled(), 1);
    QVERIFY(seen.opened);
    QVERIFY(seen.rebuilt);
    QVERIFY(seen.dialogStillOpen);
    QVERIFY(seen.tableKept);
    checkRebuiltTables(from);
    // The play went on to the player after the error: the kind is recorded,
    // the idle picture refused the address.
    QCOMPARE(m_gui->playback()->currentStream()->getName(), QStringLiteral("Real Channel"));
    QCOMPARE(m_gui->playback()->currentPlayer(), PlaybackControl::RP);
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QTRY_COMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("Could not change stream, try again."));
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiReloadUnderDialogs::brokenStreamReport_data()
{
    QTest::addColumn<bool>("serverFails");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("sent");
    QTest::newRow("reload under the question, Yes") << false << int(QMessageBox::Yes) << true;
    QTest::newRow("reload under the question, No") << false << int(QMessageBox::No) << false;
    QTest::newRow("reload under the failure shown") << true << int(QMessageBox::Yes) << true;
}

void TestGuiReloadUnderDialogs::brokenStreamReport()
{
    QFETCH(bool, serverFails);
    QFETCH(int, answer);
    QFETCH(bool, sent);
    const QString reportPath = QStringLiteral("/brokenstreamreport.php");
    if (serverFails)
        m_service->setStatus(reportPath, 500);
    QPointer<RecordTableView> from = entryTable(QStringLiteral("tv"));
    const int row = rowNamed(from->recordModel(), QStringLiteral("Bravo News"));
    QVERIFY(row >= 0);
    const QString status = probe(m_gui).statusLine()->text();
    QVERIFY(startHeldReload());

    UnderDialog seen;
    bool questionAsked = false;
    bool failureShown = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        questionAsked = box && box->objectName() == QLatin1String("reportQuestion");
        if (!serverFails)
            releaseUnder(w, from, &seen);
        if (QAbstractButton *button = box ? box->button(QMessageBox::StandardButton(answer)) : nullptr)
            button->click();
        else
            w->close();
    });
    if (serverFails) {
        answers.then([&](QWidget *w) {
            failureShown = qobject_cast<TulErrorDialog *>(w) != nullptr;
            releaseUnder(w, from, &seen);
            w->close();
        });
    }
    QMenu *menu = rightClickMenu(from, row);
    QVERIFY(menu);
    QVERIFY(chooseEntry(menu, QStringLiteral("Report this stream as not working")));

    QVERIFY(questionAsked);
    QCOMPARE(failureShown, serverFails);
    QCOMPARE(answers.handled(), serverFails ? 2 : 1);
    QVERIFY(seen.opened);
    QVERIFY(seen.rebuilt);
    QVERIFY(seen.dialogStillOpen);
    QVERIFY(seen.tableKept);
    checkRebuiltTables(from);
    // What the user answered still happens, for the stream the question
    // named.
    const std::vector<RefService::LoggedRequest> reports = m_service->requests(reportPath);
    QCOMPARE(reports.size(), size_t(sent ? 1 : 0));
    if (sent)
        QCOMPARE(reports.front().query, QByteArray("id=11"));
    if (sent && !serverFails)
        QCOMPARE(probe(m_gui).statusLine()->text(), QStringLiteral("The report has been sent"));
    else
        QCOMPARE(probe(m_gui).statusLine()->text(), status);
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiReloadUnderDialogs::contextMenuOpen_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("Tv") << "tv";
    QTest::newRow("favourites") << "favorites";
}

void TestGuiReloadUnderDialogs::contextMenuOpen()
{
    // The menu is open, nothing of it chosen yet, when the rebuild comes: it
    // goes with its table, and the new table's menu works.
    QFETCH(QString, table);
    QPointer<RecordTableView> from = entryTable(table);
    QVERIFY(startHeldReload());
    QPointer<QMenu> menu = rightClickMenu(from, 0);
    QVERIFY(menu);
    m_service->releaseReplies(PPV_PATH);
    QVERIFY(waitForLoads(*m_loads, 1));
    QTRY_VERIFY(menu.isNull() || !menu->isVisible());
    checkRebuiltTables(from);

    RecordTableView *now = entryTable(table);
    QMenu *again = rightClickMenu(now, 0);
    QVERIFY(again);
    ModalAnswers answers;
    QVERIFY(chooseEntry(again, QStringLiteral("Play")));
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), now->recordModel()->element(0).get());
    QCOMPARE(answers.unexpected(), 0);
}

QTEST_MAIN(TestGuiReloadUnderDialogs)
#include "tst_gui_reload_under_dialogs.moc"
