// The window's actions, its menu bar, the context-menu builder and the small
// actions: automatic update, always on top, exit, help pages, broken-stream
// report, language, and the dialogs' actions.
#include "window/Gui.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/PlaybackControl.h"
#include "window/RecordTable.h"
#include "window/StreamTabs.h"
#include "window/TabFolder.h"
#include "window/dialogs/AboutDialog.h"
#include "window/dialogs/ModalDialog.h"
#include "window/dialogs/ParentalFilterFlow.h"
#include "window/dialogs/PlainText.h"
#include "window/dialogs/StreamTipsFlow.h"
#include "window/dialogs/TipAFriendFlow.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTableView>
#include <QUrl>
#include <cstdio>

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

QIcon enabledAndDisabled(const char *normal, const char *disabled)
{
    QIcon icon;
    icon.addPixmap(Gui::loadIcon(QString::fromLatin1(normal)), QIcon::Normal);
    icon.addPixmap(Gui::loadIcon(QString::fromLatin1(disabled)), QIcon::Disabled);
    return icon;
}

} // namespace

void Gui::createActions()
{
    auto make = [this](const char *name, const QString &text, GuiAction::Handler handler, bool checkable = false) {
        auto *action = new GuiAction(text, this, std::move(handler), checkable);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto favoritePlay = [this, &make](int n) {
        const QByteArray name = "actionFavoritesPlay" + QByteArray::number(n) + "Menu";
        GuiAction *action = make(name.constData(), LangMsg::getMsg(QStringLiteral("MENU_FAVORITES_PLAY_%1").arg(n)),
                                 [this, n] { playFavorite(n); });
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + n)));
        favoritesPlayActions[size_t(n - 1)] = action;
        return action;
    };

    actionFavoritesPlay1Menu = favoritePlay(1);
    actionEnglish = make("actionEnglish", msg("MENU_ENGLISH"), [] {});
    actionEnglish->setHandler([this] { runLanguage(actionEnglish, QStringLiteral("en")); });
    actionNorwegian = make("actionNorwegian", msg("MENU_NORWEGIAN"), [] {});
    actionNorwegian->setHandler([this] { runLanguage(actionNorwegian, QStringLiteral("no")); });
    actionFavoritesPlay2Menu = favoritePlay(2);
    actionFavoritesPlay3Menu = favoritePlay(3);
    actionFavoritesPlay4Menu = favoritePlay(4);
    actionFavoritesPlay5Menu = favoritePlay(5);
    actionFavoritesPlay6Menu = favoritePlay(6);
    actionFavoritesPlay7Menu = favoritePlay(7);
    actionFavoritesPlay8Menu = favoritePlay(8);
    actionFavoritesPlay9Menu = favoritePlay(9);
    actionParentFilterMenu = make("actionParentFilterMenu", msg("ACTION_PARENT_FILTER"), [this] { runParentFilter(); });
    actionParentFilter = make("actionParentFilter", msg("ACTION_PARENT_FILTER"),
                              [this] { actionParentFilterMenu->run(); });
    actionParentFilter->setIcon(QIcon(loadIcon(QStringLiteral(":/images/parental.ico"))));
    actionAutomaticUpdateToggle = make("actionAutomaticUpdateToggle", msg("MENU_AUTOMATIC_UPDATE_TOGGLE"),
                                       [this] { runAutomaticUpdateToggle(); }, true);
    actionUpdateDatabase = make("actionUpdateDatabase", msg("ACTION_UPDATEDATABASE"), [this] { updateDatabase(); });
    actionUpdateDatabase->setShortcut(QKeySequence(Qt::Key_F5));
    actionTipAFriend = make("actionTipAFriend", msg("ACTION_TIPAFRIEND"), [this] { runTipAFriend(); });
    actionOntopToggle = make("actionOntopToggle", msg("MENU_ON_TOP_TOGGLE"), [this] { runOntopToggle(); }, true);
    actionOntopToggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    actionExit = make("actionExit", msg("ACTION_EXIT"), [this] { runExit(); });
    actionExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    actionTulHelp = make("actionTulHelp", QStringLiteral("Quorvantel help"), [this] { runTulHelp(); });
    actionTulHomepage = make("actionTulHomepage", QStringLiteral("Quorvantel homepage"), [this] { runTulHelp(); });
    actionAbout = make("actionAbout", msg("ACTION_ABOUT"), [this] { runAbout(); });
    actionSearch = make("actionSearch", QString(), [this] { runSearch(); });
    actionChangeUrl = make("actionChangeUrl", QString(), [this] { m_playback->runChangeUrl(); });
    actionMediaplayerInvoke =
        make("actionMediaplayerInvoke", QString(), [this] { m_playback->runMediaplayerInvoke(); });
    actionPlay = make("actionPlay", QString(), [this] { m_playback->runPlay(); });
    actionPlay->setIcon(enabledAndDisabled(":/images/play.ico", ":/images/playDisabled.ico"));
    actionPlayMenu = make("actionPlayMenu", msg("ACTION_PLAY"), [this] { actionPlay->run(); });
    // Enter on the main keys and on the keypad.
    actionPlayMenu->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    actionStop = make("actionStop", QString(), [this] { m_playback->runStop(); });
    actionStop->setIcon(enabledAndDisabled(":/images/stop.ico", ":/images/stopDisabled.ico"));
    actionStopMenu = make("actionStopMenu", msg("ACTION_STOP"), [this] { actionStop->run(); });
    actionPause = make("actionPause", QString(), [this] { m_playback->runPause(); });
    actionPause->setIcon(enabledAndDisabled(":/images/pause.ico", ":/images/pauseDisabled.ico"));
    actionPauseMenu = make("actionPauseMenu", msg("ACTION_PAUSE"), [this] { actionPause->run(); });
    actionPauseMenu->setShortcut(QKeySequence(Qt::Key_Space));
    actionFullscreen = make("actionFullscreen", QString(), [this] { m_playback->runFullscreen(); });
    actionFullscreen->setIcon(enabledAndDisabled(":/images/fullscreen.ico", ":/images/fullscreenDisabled.ico"));
    actionFullscreen->setToolTip(msg("ACTION_FULLSCREEN"));
    actionFullscreenMenu = make("actionFullscreenMenu", msg("ACTION_FULLSCREEN"), [this] { actionFullscreen->run(); });
    actionFullscreenMenu->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    actionRemoveFavorite = make("actionRemoveFavorite", msg("MENU_FAVORITES_DELETE_ITEM"),
                                [this] { runRemoveFavorite(); });
    actionRemoveFavorite->setShortcut(QKeySequence(Qt::Key_Delete));
    actionCurrentTableFavorite = make("actionCurrentTableFavorite", QString(), [this] { runCurrentTableFavorite(); });
    actionPlayFromCurrentTable =
        make("actionPlayFromCurrentTable", QString(), [this] { m_playback->runPlayFromCurrentTable(); });
    actionReportBrokenLink = make("actionReportBrokenLink", QString(), [this] { runReportBrokenLink(); });
    actionTipStream = make("actionTipStream", msg("ACTION_TIPSTREAM"), [this] { runTipStream(); });

    // The on-top switch starts clear.
    actionOntopToggle->setChecked(false);
}

void Gui::createMenuManager()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    fileMenu = bar->addMenu(msg("MENU_FILE"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->addAction(actionUpdateDatabase);
    fileMenu->addSeparator();
    fileMenu->addAction(actionOntopToggle);
    fileMenu->addAction(actionParentFilterMenu);
    fileMenu->addSeparator();
    fileMenu->addAction(actionExit);

    mediaMenu = bar->addMenu(msg("MENU_MEDIA"));
    mediaMenu->setObjectName(QStringLiteral("mediaMenu"));
    mediaMenu->addAction(actionPlayMenu);
    mediaMenu->addAction(actionPauseMenu);
    mediaMenu->addAction(actionStopMenu);
    mediaMenu->addSeparator();
    mediaMenu->addAction(actionFullscreenMenu);
    favoritesMenu = mediaMenu->addMenu(msg("FAVORITES_TAB"));
    favoritesMenu->setObjectName(QStringLiteral("favoritesMenu"));
    for (GuiAction *action : favoritesPlayActions)
        favoritesMenu->addAction(action);
    favoritesMenu->addAction(actionRemoveFavorite);

    helpMenu = bar->addMenu(msg("MENU_HELP"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->addAction(actionTulHelp);
    helpMenu->addAction(actionTulHomepage);
    helpMenu->addSeparator();
    helpMenu->addAction(actionAutomaticUpdateToggle);
    helpMenu->addSeparator();
    helpMenu->addAction(actionAbout);

    // The accelerators work wherever the focus is in the window.
    for (QAction *action : findChildren<GuiAction *>()) {
        if (!action->shortcut().isEmpty())
            addAction(action);
    }
}

QMenu *Gui::menu(QTableView *table, const QStringList &texts, const QList<GuiAction *> &actions)
{
    auto *popup = new QMenu(table);
    for (int i = 0; i < texts.size(); ++i) {
        QAction *item = popup->addAction(texts.at(i));
        GuiAction *action = i < actions.size() ? actions.at(i) : nullptr;
        // The entry's action is a call of the menu's table: it may open a
        // dialog, under which a rebuild replaces that table and this menu.
        connect(item, &QAction::triggered, this, [this, action] {
            TableCall call(this);
            if (action)
                action->run();
        });
    }
    return popup;
}

void Gui::attachContextMenu(QTableView *table, QMenu *menu)
{
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(table, &QWidget::customContextMenuRequested, menu,
                     [table, menu](const QPoint &pos) { menu->popup(table->viewport()->mapToGlobal(pos)); });
}

// --- Small actions ----------------------------------------------------------------

void Gui::runAutomaticUpdateToggle()
{
    Options::setUpdateEnabled(!Options::getUpdateEnabled());
}

void Gui::runOntopToggle()
{
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, ontopToggle);
    // Changing the flags hides a shown window.
    if (wasVisible)
        show();
    ontopToggle = !ontopToggle;
}

void Gui::runExit()
{
    const auto box = plainMessageBox(QMessageBox::Question, msg("MESSAGEBOX_EXITTITLE"), msg("MESSAGEBOX_EXITMESSAGE"),
                                     QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("exitConfirmation"));
    box->setDefaultButton(QMessageBox::Ok);
    if (box->exec() == QMessageBox::Ok)
        close();
}

void Gui::runTulHelp()
{
    const QString address = Options::getManualUrl();
    if (!QDesktopServices::openUrl(QUrl(address)))
        std::fprintf(stderr, "Cannot open the web page %s\n", qPrintable(address));
}

void Gui::runAbout()
{
    AboutDialog about(this);
    about.exec();
}

void Gui::runReportBrokenLink()
{
    if (!currentTable || !currentTableViewer)
        return;
    const int index = currentTable->selectionIndex();
    if (index == -1)
        return;
    const StreamInfoPtr stream = currentTableViewer->element(index);
    if (!stream)
        return;
    m_playback->setCurrentStream(stream);
    // The stream's name comes from the catalogue: shown as it stands.
    const auto question =
        plainMessageBox(QMessageBox::Question, msg("MESSAGEBOX_REPORTDEADLINKTITLE"),
                        msg("MESSAGEBOX_REPORTDEADLINKMESSAGE") + QStringLiteral(": ") + stream->getName(),
                        QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("reportQuestion"));
    if (question->exec() != QMessageBox::Yes)
        return;
    try {
        manager->reportBrokenLink(Options::getSerial(), stream->getId());
        statusLine->setText(msg("MESSAGEBOX_BROKENLINK_SENDT_MESSAGE"));
    } catch (const TulException &e) {
        showTulError(e);
    }
}

void Gui::runLanguage(GuiAction *action, const QString &code)
{
    const auto box =
        plainMessageBox(QMessageBox::Information, QString(), msg("MESSAGEBOX_LANGUAGECHANGE"), QMessageBox::Ok, this);
    box->exec();
    Options::setLanguage(code);
    action->setEnabled(false);
}

void Gui::runParentFilter()
{
    const ParentalFilterResult result =
        ParentalFilterFlow::run(this, *manager, *pPVView, [this] { reloadCatalogue(); });
    // Hidden adult content goes at once, whatever becomes of the reload.
    if (result.removeAdultTabs)
        removeAdultTabs();
    // What plays now, not the row taken last: a report or a row no player
    // takes changes currentStream without changing what plays.
    const StreamInfoPtr &playing = m_playback->playingStream();
    if (result.stopAdultStream && playing && (playing->getAdult() || std::dynamic_pointer_cast<PPVStreamInfo>(playing)))
        actionStop->run();
    if (result.reloadError)
        showTulError(*result.reloadError);
}

void Gui::runTipAFriend()
{
    TipAFriendFlow::run(this, *manager, [this](const TulException &e) { showTulError(e); });
}

void Gui::runTipStream()
{
    StreamTipsFlow::run(this, *manager, *allView, [this](const TulException &e) { showTulError(e); });
}

void Gui::removeAdultTabs()
{
    TabFolder::Quiet quiet(cBottomTab);
    for (int slot : {4, 9})
        m_streamTabs->removeTab(slot);
    retireTab(ppvTab);
}
