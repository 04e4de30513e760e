// Texts from outside of any length the download lets through: a catalogue
// whose one stream has a 10 MB name (or category, or country), an Icecast
// directory and a pay-per-view catalogue with 10 MB fields. The window shows
// the rows, draws every tab, sorts and searches them, takes the stream into
// the favourites, asks the broken-stream question and sends the report, and
// closes with its settings saved, answering all the while. The records keep
// their whole texts; only what is shown is cut.
#include "tests/window/GuiTestSupport.h"

#include "window/BottomList.h"
#include "window/PlaybackControl.h"
#include "window/Program.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/PlainText.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace {

// A text of about 10 MB: words, so that a layout has line-break chances, and
// a mark at the start that the tests search for.
QString longText(const QString &mark)
{
    const QString word = QStringLiteral("Lengthy ");
    QString text = mark + QLatin1Char(' ');
    text.reserve(10'000'000 + mark.size() + 1);
    while (text.size() < 10'000'000)
        text += word;
    // No blank at the end, which a document's reader may drop.
    text += QStringLiteral("end");
    return text;
}

void clickHeader(BottomList *tab, int column)
{
    QHeaderView *header = tab->getTable()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

// Whether the UI thread, asked to draw every table of the window again, then
// runs a call posted to it behind the drawing.
bool windowAnswers(Gui &gui)
{
    for (RecordTableView *table : gui.findChildren<RecordTableView *>())
        table->viewport()->update();
    auto ran = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(&gui, [ran] { *ran = true; }, Qt::QueuedConnection);
    return QTest::qWaitFor([&] { return *ran; });
}

// The display text of every row of the table, and whether a row's record
// carries text in one of its fields.
bool showsRecordWith(RecordTableView *table, const QString &text)
{
    RecordTableModel *model = table->recordModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const StreamInfoPtr record = model->element(row);
        if (record->getName() == text || record->getCategory() == text || record->getCountry() == text)
            return true;
    }
    return false;
}

// No cell of the table hands the view more than the shown bound.
bool cellsBounded(RecordTableView *table)
{
    RecordTableModel *model = table->recordModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QString shown = model->data(model->index(row, column), Qt::DisplayRole).toString();
            if (shown.size() > SHOWN_TEXT_LIMIT + 2)
                return false;
        }
    }
    return true;
}

} // namespace

class TestGuiLongText : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void everyTabAnswers_data();
    void everyTabAnswers();
    void reportAndFavorite();
    void playingStatusLine();
    void quitAnswers();

private:
    // The window on a catalogue whose stream 11 has the long field, with an
    // Icecast directory and a pay-per-view catalogue, one of whose fields may
    // be the long text too; the movie is rented, so the rentals show it.
    bool startWindow(const QString &field, const QString &text);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiLongText::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

bool TestGuiLongText::startWindow(const QString &field, const QString &text)
{
    m_service = startService();
    if (!m_service)
        return false;
    auto pick = [&](const char *name, const QString &normal) { return field == QLatin1String(name) ? text : normal; };

    RefService::DirectoryEntry station;
    station.serverName = pick("icecast name", QStringLiteral("Ice Only"));
    station.genre = pick("icecast genre", QStringLiteral("Rock"));
    station.bitrate = QStringLiteral("128");
    station.listenUrl = unreachableUrl(QStringLiteral("/ice"));
    RefService::DirectoryEntry other = station;
    other.serverName = QStringLiteral("Ice Other");
    other.genre = QStringLiteral("Jazz");
    m_service->setDirectory(RefService::directoryDocument({station, other}));

    RefService::PpvMovie rented = movie(701, pick("ppv name", QStringLiteral("Rented Movie")), 5400,
                                        pick("ppv category", QStringLiteral("Drama")));
    rented.description = pick("ppv description", QStringLiteral("A movie"));
    m_service->setPpvMovies({rented, movie(702, QStringLiteral("Other Movie"), 3600)});
    m_service->clearRentals();
    m_service->setGlobalRental(701, 600);

    std::vector<RefService::CatalogueEntry> entries = {
        entry(11, pick("name", QStringLiteral("Long One")), QStringLiteral("TV"), pick("category", QStringLiteral("News")),
              pick("country", QStringLiteral("Norway")), 300),
        entry(12, QStringLiteral("alpha Sport"), QStringLiteral("TV"), QStringLiteral("Sports"),
              QStringLiteral("Germany"), 0),
        entry(21, QStringLiteral("Radio One"), QStringLiteral("Radio"), QStringLiteral("Pop"), QStringLiteral("Sweden"),
              128),
        entry(31, QStringLiteral("Movie Night"), QStringLiteral("Movie"), QStringLiteral("Drama"),
              QStringLiteral("France"), 900),
        entry(41, QStringLiteral("Late Show"), QStringLiteral("Erotic"), QStringLiteral("Adult"),
              QStringLiteral("Spain"), 500, true),
    };
    RefService::CatalogueInfo info;
    info.withInfo = true;
    return startOwnWindow(m_workspace, m_service, m_gui, RefService::catalogueDocument(entries, info));
}

void TestGuiLongText::everyTabAnswers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("slot"); // the tab that shows the long text
    QTest::newRow("stream name") << "name" << 1;
    QTest::newRow("stream category") << "category" << 1;
    QTest::newRow("stream country") << "country" << 1;
    QTest::newRow("Icecast name") << "icecast name" << 8;
    QTest::newRow("Icecast genre") << "icecast genre" << 8;
    QTest::newRow("pay-per-view name") << "ppv name" << 9;
    QTest::newRow("pay-per-view category") << "ppv category" << 9;
    QTest::newRow("pay-per-view description") << "ppv description" << 9;
}

void TestGuiLongText::everyTabAnswers()
{
    QFETCH(QString, field);
    QFETCH(int, slot);
    const QString text = longText(QStringLiteral("Zlong"));
    QVERIFY(startWindow(field, text));
    Gui &gui = *m_gui;
    QVERIFY(windowAnswers(gui));

    BottomList *shown = gui.streamTabs()->bottomTab(slot);
    QVERIFY(shown);
    // The record keeps the whole text (the description is not shown).
    if (field != QLatin1String("ppv description"))
        QVERIFY(showsRecordWith(shown->getTable(), text));

    // Every tab drawn, sorted by each of its columns both ways, and
    // searched for the mark.
    for (BottomList *tab : gui.streamTabs()->liveTabs()) {
        probe(gui).cBottomTab()->setCurrentWidget(tab);
        QVERIFY(windowAnswers(gui));
        QVERIFY(cellsBounded(tab->getTable()));
        tab->getTable()->grab();
        for (int column = 0; column < tab->getTableViewer()->columnCount(); ++column) {
            if (tab->getTable()->isColumnHidden(column))
                continue;
            clickHeader(tab, column);
            clickHeader(tab, column);
            QVERIFY(windowAnswers(gui));
        }
    }
    probe(gui).cBottomTab()->setCurrentWidget(shown);
    QLineEdit *search = probe(gui).searchText();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("zlo"));
    QVERIFY(windowAnswers(gui));
    // The search finds the mark in a name, and in a catalogue stream's
    // category and country.
    if (QStringList{QStringLiteral("name"), QStringLiteral("category"), QStringLiteral("country"),
                    QStringLiteral("icecast name")}
            .contains(field))
        QVERIFY(showsRecordWith(shown->getTable(), text));
    QTest::keyClick(search, Qt::Key_Backspace);
    QVERIFY(windowAnswers(gui));

    // The rentals table shows the rented movie.
    if (RecordTableView *rentals = probe(gui).ppvTable()) {
        probe(gui).cTabFavLoc()->setCurrentWidget(probe(gui).ppvTab());
        QVERIFY(cellsBounded(rentals));
        rentals->grab();
        QVERIFY(windowAnswers(gui));
    }
    gui.grab();

    QVERIFY(gui.close());
    QVERIFY(!gui.isVisible());
}

void TestGuiLongText::reportAndFavorite()
{
    const QString text = longText(QStringLiteral("Zlong"));
    QVERIFY(startWindow(QStringLiteral("name"), text));
    Gui &gui = *m_gui;
    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QVERIFY(tv);
    probe(gui).cBottomTab()->setCurrentWidget(tv);
    QVERIFY(windowAnswers(gui));
    RecordTableModel *model = tv->getTableViewer();
    int row = -1;
    for (int i = 0; i < model->rowCount(); ++i) {
        if (model->element(i)->getId() == 11)
            row = i;
    }
    QVERIFY(row >= 0);
    QCOMPARE(model->element(row)->getName(), text);
    clickRow(tv->getTable(), row);
    QCOMPARE(tv->getTable()->selectionIndex(), row);

    // The question shows the start of the name and is answered; the report
    // names the stream as before.
    QString question;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            w->close();
            return;
        }
        box->grab();
        question = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QMenu *menu = tv->getTable()->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(2)->trigger();
    QTRY_VERIFY(answers.done());
    QVERIFY(question.startsWith(QStringLiteral("Report this link as dead: Zlong Lengthy ")));
    QVERIFY(question.size() <= SHOWN_TEXT_LIMIT + 2);
    QTRY_COMPARE(m_service->requestCount(QStringLiteral("/brokenstreamreport.php")), 1);
    QCOMPARE(m_service->requests(QStringLiteral("/brokenstreamreport.php")).front().query, QByteArray("id=11"));
    QVERIFY(windowAnswers(gui));
    gui.grab();

    // Into the favourites: the list shows it, and a drag of it carries the
    // identifier as text.
    gui.addFavoriteStream(model->element(row));
    RecordTableView *favorites = probe(gui).favoritesTable();
    QVERIFY(favorites);
    QVERIFY(showsRecordWith(favorites, text));
    QVERIFY(cellsBounded(favorites));
    favorites->grab();
    QVERIFY(windowAnswers(gui));
    std::unique_ptr<QMimeData> drag(gui.streamDragData(model->element(row)));
    QCOMPARE(drag->text(), QStringLiteral("11"));
    gui.streamDragFinished();

    // The favourite keeps its whole name in the settings.
    Options::writeToDisk();
    const QByteArray options = readFile(m_workspace->file(QStringLiteral("options.xml")));
    QVERIFY(options.contains("<StreamId>11</StreamId>"));
    QVERIFY(options.contains(text.toUtf8()));
    QVERIFY(gui.close());
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiLongText::quitAnswers()
{
    // The program's own run: the window on the long name, then Quit and its
    // question; the run ends and writes the settings.
    const QString text = longText(QStringLiteral("Zlong"));
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    std::vector<RefService::CatalogueEntry> entries = {
        entry(11, text, QStringLiteral("TV"), QStringLiteral("News"), QStringLiteral("Norway"), 300),
        entry(12, QStringLiteral("alpha Sport"), QStringLiteral("TV"), QStringLiteral("Sports"),
              QStringLiteral("Germany"), 0),
    };
    service->setCatalogue(RefService::catalogueDocument(entries, RefService::CatalogueInfo{}));
    bool loaded = false;
    ModalAnswers answers;
    answers.pressBox(QMessageBox::Ok);
    runMainWindow([&](Gui &gui) {
        // The window on screen ends its load and draws itself; then Quit.
        QSignalSpy loads(&gui, &Gui::loadFinished);
        loaded = QTest::qWaitForWindowExposed(&gui) && waitForLoads(loads, 1) && loads.at(0).at(0).toBool()
            && windowAnswers(gui);
        QTimer::singleShot(0, &gui, [&gui] { probe(gui).actionExit()->run(); });
    });
    QVERIFY(loaded);
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(answers.wrongKind(), 0);
    QCOMPARE(answers.unexpected(), 0);
    const QByteArray options = readFile(workspace.file(QStringLiteral("options.xml")));
    QVERIFY2(options.contains("<CacheRevision>1</CacheRevision>"), options.left(2000).constData());
    // The cache holds the catalogue as it came.
    const std::optional<QByteArray> cached = RefService::gzipDecompress(readFile(workspace.file(QStringLiteral("data.dat"))));
    QVERIFY(cached);
    QCOMPARE(cached->size(), service->catalogue().size());
    QVERIFY(*cached == service->catalogue());
}

void TestGuiLongText::playingStatusLine()
{
    const QString text = longText(QStringLiteral("Zlong"));
    QVERIFY(startWindow(QStringLiteral("name"), text));
    Gui &gui = *m_gui;
    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QVERIFY(tv);
    RecordTableModel *model = tv->getTableViewer();
    StreamInfoPtr stream;
    for (int i = 0; i < model->rowCount(); ++i) {
        if (model->element(i)->getId() == 11)
            stream = model->element(i);
    }
    QVERIFY(stream);
    gui.playback()->setCurrentStream(stream);
    probe(gui).actionMediaplayerInvoke()->run();
    QLabel *status = probe(gui).statusLine();
    QVERIFY(status->text().startsWith(QStringLiteral("Playing: Zlong Lengthy ")));
    QVERIFY(status->text().size() <= SHOWN_TEXT_LIMIT + 20);
    QVERIFY(windowAnswers(gui));
    // Once the player has taken the address.
    QTRY_VERIFY(status->text().startsWith(QStringLiteral("Playing Zlong Lengthy ")));
    QVERIFY(status->text().size() <= SHOWN_TEXT_LIMIT + 20);
    gui.grab();
    QVERIFY(windowAnswers(gui));
}

QTEST_MAIN(TestGuiLongText)
#include "tst_gui_long_text.moc"
