#include "catalogue/LangMsg.h"
#include "catalogue/TulException.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QStringDecoder>
#include <QtTest>

#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Entry
{
    const char *key;
    const char *text;
};

// Every key the program looks up, with its en_GB text. The two player keys
// come last; their wording is checked separately.
const Entry kEntries[] = {
    {"ACTION_ABOUT", "About..."},
    {"ACTION_EXIT", "Quit..."},
    {"ACTION_FULLSCREEN", "Fullscreen"},
    {"ACTION_PARENT_FILTER", "Parental filter..."},
    {"ACTION_PAUSE", "Pause"},
    {"ACTION_PLAY", "Play"},
    {"ACTION_STOP", "Stop"},
    {"ACTION_TIPAFRIEND", "Tell a friend..."},
    {"ACTION_TIPSTREAM", "Hint us about a stream..."},
    {"ACTION_UPDATEDATABASE", "Update database"},
    {"ALL_CATEGORIES", "All categories"},
    {"ALL_LANGUAGES", "All languages"},
    {"CONTEXTMENU_FAVORITES_DELETE_ITEM", "Remove from favorites"},
    {"CONTEXTMENU_FAVORITES_PLAY", "Play"},
    {"CONTEXTMENU_TV_ADDFAVORITE", "Add to favorites"},
    {"CONTEXTMENU_TV_PLAY", "Play"},
    {"CONTEXTMENU_TV_REPORTBROKENLINK", "Report this stream as not working"},
    {"COUNTRY_SELECTOR_ALL_COUNTRIES", "All Countries"},
    {"CTAB_LABEL_EROTIC", "Adult content"},
    {"CTAB_LABEL_ICE", "Icecast"},
    {"CTAB_LABEL_MOVIES", "Movies"},
    {"CTAB_LABEL_NEWSTREAMS", "Last 25"},
    {"CTAB_LABEL_PPV", "Pay Tv"},
    {"CTAB_LABEL_RADIO", "Radio"},
    {"CTAB_LABEL_TV", "Tv"},
    {"CTAB_LABEL_VIDEOCLIP", "Video clips"},
    {"ConnectError", "Firewall blocking error"},
    {"ERROR_SENDING", "Error, sending message failed"},
    {"Error", "Unknown error"},
    {"FileNotFoundError", "File not found."},
    {"FileReadError", "Error while reading from disk."},
    {"ParseError", "DB parse error, serverside error please try again later"},
    {"MENU_AUTOMATIC_UPDATE_TOGGLE", "Automatic update"},
    {"MENU_ENGLISH", "English"},
    {"MENU_FAVORITES_DELETE_ITEM", "Delete from favorites"},
    {"MENU_FAVORITES_PLAY_1", "Play favorite item 1"},
    {"MENU_FAVORITES_PLAY_2", "Play favorite item 2"},
    {"MENU_FAVORITES_PLAY_3", "Play favorite item 3"},
    {"MENU_FAVORITES_PLAY_4", "Play favorite item 4"},
    {"MENU_FAVORITES_PLAY_5", "Play favorite item 5"},
    {"MENU_FAVORITES_PLAY_6", "Play favorite item 6"},
    {"MENU_FAVORITES_PLAY_7", "Play favorite item 7"},
    {"MENU_FAVORITES_PLAY_8", "Play favorite item 8"},
    {"MENU_FAVORITES_PLAY_9", "Play favorite item 9"},
    {"MENU_FILE", "&File"},
    {"MENU_HELP", "&Help"},
    {"MENU_MEDIA", "&Media"},
    {"MENU_NORWEGIAN", "Norwegian"},
    {"MENU_ON_TOP_TOGGLE", "On top"},
    {"MESSAGEBOX_ABOUT_TITLE", "About Quorvantel"},
    {"MESSAGEBOX_ABOUT_VERSION", "Version"},
    {"MESSAGEBOX_BROKENLINK_SENDT_MESSAGE", "The report has been sent"},
    {"MESSAGEBOX_CONFIRMUPDATEMESSAGE",
     "A new version of this application is available\r\n"
     "A restart of this program is required, do you want to download and install this update?"},
    {"MESSAGEBOX_CONFIRMUPDATETITLE", "Update"},
    {"MESSAGEBOX_EXITMESSAGE", "Are you sure you want to quit?"},
    {"MESSAGEBOX_EXITTITLE", "Sure?"},
    {"MESSAGEBOX_LANGUAGECHANGE", "The change will occur next time the program is started"},
    {"MESSAGEBOX_REPORTDEADLINKMESSAGE", "Report this link as dead"},
    {"MESSAGEBOX_REPORTDEADLINKTITLE", "Report dead link"},
    {"MESSAGEBOX_STREAMTIPS_CATEGORY", "Genre"},
    {"MESSAGEBOX_STREAMTIPS_COUNTRY", "Country"},
    {"MESSAGEBOX_STREAMTIPS_DESCRIPTION", "Description"},
    {"MESSAGEBOX_STREAMTIPS_HOMRPAGE_URL", "Webpage"},
    {"MESSAGEBOX_STREAMTIPS_INFO", "Info"},
    {"MESSAGEBOX_STREAMTIPS_LANGUAGE", "Language"},
    {"MESSAGEBOX_STREAMTIPS_LIVE", "Live"},
    {"MESSAGEBOX_STREAMTIPS_NAME", "Name"},
    {"MESSAGEBOX_STREAMTIPS_NOTICE",
     "We regularly update our database, and help from the users helps us to speed up this process."},
    {"MESSAGEBOX_STREAMTIPS_OPTIONAL", "Not mandatory"},
    {"MESSAGEBOX_STREAMTIPS_PLAYER", "Player"},
    {"MESSAGEBOX_STREAMTIPS_QUALITY", "Quality"},
    {"MESSAGEBOX_STREAMTIPS_RADIOBUTTONNO", "no"},
    {"MESSAGEBOX_STREAMTIPS_RADIOBUTTONYES", "yes"},
    {"MESSAGEBOX_STREAMTIPS_SENDT_MESSAGE", "Your tip has been sent"},
    {"MESSAGEBOX_STREAMTIPS_SENDT_TITLE", "Sent"},
    {"MESSAGEBOX_STREAMTIPS_TITLE", "Tips us about a new stream"},
    {"MESSAGEBOX_STREAMTIPS_TYPE", "Type"},
    {"MESSAGEBOX_STREAMTIPS_URL", "Url"},
    {"MESSAGEBOX_STREAMTIPS_URLLENGTHZERO_MESSAGE", "Url not typed in"},
    {"MESSAGEBOX_STREAMTIPS_URLLENGTHZERO_TITLE", "Error"},
    {"MESSAGEBOX_STREAMTIPS_URLTOSHORT_MESSAGE", "Url to short?"},
    {"MESSAGEBOX_STREAMTIPS_URLTOSHORT_TITLE", "Error"},
    {"MESSAGEBOX_TIPAFRIENDINFO",
     "If you want to tip a friend, please write his/hers email address in the field below."},
    {"MESSAGEBOX_TIPAFRIENDMESSAGE", "Write in the email address"},
    {"MESSAGEBOX_TIPAFRIENDTITLE", "Tip a friend"},
    {"MESSAGEBOX_TIPAFRIEND_SENDT_MESSAGE", "The email was sent"},
    {"MESSAGEBOX_TIPAFRIEND_SENDT_TITLE", "Sent"},
    {"PASSWORD", "Password"},
    {"PASSWORD_NOT_CORRECT", "Password not correct"},
    {"PASSWORD_DIALOG_CONFIRM_PASSWORD", "Confirm password"},
    {"PASSWORD_DIALOG_HELP", "Help"},
    {"PASSWORD_DIALOG_INFO", "If you have forgotten the password please contact us."},
    {"PASSWORD_DIALOG_PASSWORD", "Password"},
    {"PASSWORD_DIALOG_PASSWORDS_DIFFER", "The passwords differ"},
    {"PASSWORD_DIALOG_PASSWORDS_EMPTHY", "Both password fields are empty, the password is now removed."},
    {"PASSWORD_DIALOG_TITLE", "Parental filter"},
    {"PASSWORD_DIALOG_WRITE_IN_PASSWORD", "Enter Password"},
    {"SELECTION_DIALOG_CHANGE_PASSWORD", "Change password"},
    {"SELECTION_DIALOG_HIDE_ADULT", "Hide adult content"},
    {"SELECTION_DIALOG_RESETPASSWORD", "Password removed"},
    {"SELECTION_DIALOG_RESETPASS_BUTTON", "Remove password"},
    {"SELECTION_DIALOG_SELECT", "Make a selection"},
    {"SELECTION_DIALOG_SHOW_ADULT", "Show adult content"},
    {"STATUSBAR2_DOWNLOADING", "Downloading"},
    {"STATUSLINE_CONNECTDATABASE", "Loading database."},
    {"STATUSLINE_CONNECTEDDATABASE", "Database loaded."},
    {"STATUSLINE_LOADEDSTREAM", "Playing"},
    {"STATUSLINE_NOTCONNECTEDDATABASE", "Database was not loaded"},
    {"STATUSLINE_NOTLOADEDSTREAM", "Could not change stream, try again."},
    {"TABLECOLUMN_BITRATE", "Quality"},
    {"TABLECOLUMN_CATEGORY", "Genre"},
    {"TABLECOLUMN_COUNTRY", "Country"},
    {"TABLECOLUMN_LENGTH", "Length"},
    {"TABLECOLUMN_NAME", "Name"},
    {"TABLECOLUMN_PLAYING_NOW", "Currently playing"},
    {"TABLECOLUMN_TYPE", "Type"},
    {"TULERRORDIALOG_COPY", "Copy text"},
    {"TULERRORDIALOG_INFO", "If this is an unexpected error, please paste it into an email and send it to us."},
    {"TULERRORDIALOG_SHOWDETAILED", "Details >>"},
    {"WIZARD_MATURE_INFO",
     "Quorvantel has 2 modes, a full mode and a limited mode. In the full mode all content are awailable. "
     "In the limited mode all adult content is hidden."},
    {"WIZARD_SELECTION_PPV_MAKE_SELECTION", "Please make a selection"},
    {"WIZARD_SELECTION_PPV_TITLE", "Select mode"},
    {"WIZARD_SELECT_CLEAN", "Select limited mode (without adult content)"},
    {"WIZARD_SELECT_PPV", "Select full mode (with adult content)"},
    {"BROWSER_DIALOG_BUY_MOVIE", "Buy"},
    {"CANCEL", "Cancel"},
    {"FAVORITES_TAB", "Favorites"},
    {"MOTD_TITLE", "Note"},
    {"PAYTV_TAB", "Pay Tv"},
    {"PLAYER", "Player"},
    {"SEARCH", "Search"},
    {"SET_PASSWORD", "Set password"},
    {"ERROR_RPINVOKE", nullptr},
    {"ERROR_QTINVOKE", nullptr},
    {"SETTINGS_NOT_SAVED_TITLE", "Settings not saved"},
    {"SETTINGS_NOT_SAVED_MESSAGE", "The settings could not be saved."},
    {"SETTINGS_NOT_SAVED_REASON", "Reason:"},
    {"SETTINGS_NOT_SAVED_KEPT", "The settings file as it was before stays in:"},
    {"ALREADY_RUNNING_TITLE", "Quorvantel"},
    {"ALREADY_RUNNING_MESSAGE",
     "Quorvantel already runs in this folder. This second start ends without changing anything."},
};

constexpr int kKeyCount = 140;

QString visible(const QString &s)
{
    QString out = s;
    out.replace(u'\\', QLatin1String("\\\\"));
    out.replace(u'\r', QLatin1String("\\r"));
    out.replace(u'\n', QLatin1String("\\n"));
    out.replace(u'\t', QLatin1String("\\t"));
    out.replace(u'\f', QLatin1String("\\f"));
    return out;
}

// A sorted, readable form of a parse result, so a failed comparison shows
// exactly which entry differs.
QString dump(const QMap<QString, QString> &entries)
{
    QStringList lines;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        lines.append(QLatin1Char('[') + visible(it.key()) + QLatin1String("]=[") + visible(it.value()) + u']');
    return lines.join(u'\n');
}

QString dump(const QHash<QString, QString> &entries)
{
    QMap<QString, QString> sorted;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        sorted.insert(it.key(), it.value());
    return dump(sorted);
}

using Entries = QMap<QString, QString>;

QByteArray bundleFileBytes()
{
    QFile file(QStringLiteral(QV_SOURCE_DIR "/resources/GuiBundle_en_GB.properties"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestLangMsg : public QObject
{
    Q_OBJECT

private slots:
    // Kept first so that, run as a whole, the threads race for the very
    // first load of the bundle.
    void concurrentLookupsAgree()
    {
        constexpr int threadCount = 8;
        constexpr int rounds = 50;
        std::latch start(threadCount);
        std::vector<QStringList> seen(threadCount);
        std::vector<int> failures(threadCount, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int r = 0; r < rounds; ++r) {
                    QStringList texts;
                    for (const Entry &e : kEntries) {
                        try {
                            texts.append(LangMsg::getMsg(QString::fromLatin1(e.key)));
                        } catch (const MissingResourceException &) {
                            ++failures[t];
                        }
                    }
                    if (r == 0)
                        seen[t] = texts;
                    else if (texts != seen[t])
                        ++failures[t];
                }
            });
        }
        for (auto &th : threads)
            th.join();

        QStringList expected;
        for (const Entry &e : kEntries)
            expected.append(LangMsg::getMsg(QString::fromLatin1(e.key)));
        for (int t = 0; t < threadCount; ++t) {
            QCOMPARE(failures[t], 0);
            QCOMPARE(seen[t], expected);
        }
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Entries>("expected");

        QTest::newRow("equals with blanks") << QByteArray("ACTION_PLAY = Play\r\n") << Entries{{"ACTION_PLAY", "Play"}};
        QTest::newRow("equals without blanks") << QByteArray("a=b\r\n") << Entries{{"a", "b"}};
        QTest::newRow("colon") << QByteArray("a:b\r\nc : d\r\n") << Entries{{"a", "b"}, {"c", "d"}};
        QTest::newRow("blank separator") << QByteArray("MENU_AUTOMATIC_UPDATE_TOGGLE Automatic update\r\n")
                                         << Entries{{"MENU_AUTOMATIC_UPDATE_TOGGLE", "Automatic update"}};
        QTest::newRow("run of blanks and tabs") << QByteArray("a \t  b c\r\n") << Entries{{"a", "b c"}};
        QTest::newRow("blanks then equals") << QByteArray("a   =   b\r\n") << Entries{{"a", "b"}};
        QTest::newRow("only one separator taken") << QByteArray("a = = b\r\nc=:d\r\n")
                                                  << Entries{{"a", "= b"}, {"c", ":d"}};
        QTest::newRow("blank ends the key before an equals") << QByteArray("a b=c\r\n") << Entries{{"a", "b=c"}};
        QTest::newRow("trailing blanks of the text kept") << QByteArray("a = b  \r\n") << Entries{{"a", "b  "}};
        QTest::newRow("leading blanks of the line") << QByteArray("   \ta = b\r\n") << Entries{{"a", "b"}};
        QTest::newRow("escaped separators in the key")
            << QByteArray("a\\=b = c\r\nd\\:e f\r\ng\\ h i\r\n") << Entries{{"a=b", "c"}, {"d:e", "f"}, {"g h", "i"}};
        QTest::newRow("continuation")
            << QByteArray("MESSAGEBOX_LANGUAGECHANGE = The change will occur \\\r\n    next time the program \\\r\n"
                          "    is started\r\nNEXT = x\r\n")
            << Entries{{"MESSAGEBOX_LANGUAGECHANGE", "The change will occur next time the program is started"},
                       {"NEXT", "x"}};
        QTest::newRow("continuation with LF") << QByteArray("a = one\\\n\t two\nb = c\n")
                                              << Entries{{"a", "onetwo"}, {"b", "c"}};
        QTest::newRow("continuation inside the key") << QByteArray("ab\\\r\n  cd = e\r\n") << Entries{{"abcd", "e"}};
        QTest::newRow("continued line is no comment") << QByteArray("a = x\\\r\n  # y\r\n") << Entries{{"a", "x# y"}};
        QTest::newRow("empty line ends a continuation") << QByteArray("a = x\\\r\n\r\nb = y\r\n")
                                                        << Entries{{"a", "x"}, {"b", "y"}};
        QTest::newRow("even backslashes do not continue") << QByteArray("a = x\\\\\r\nb = y\r\n")
                                                          << Entries{{"a", "x\\"}, {"b", "y"}};
        QTest::newRow("three backslashes continue") << QByteArray("a = x\\\\\\\r\n  y\r\n") << Entries{{"a", "x\\y"}};
        QTest::newRow("escapes") << QByteArray("a = l1\\r\\nl2\\tt\\ff\r\n")
                                 << Entries{{"a", QStringLiteral("l1\r\nl2\tt") + QChar(u'\f') + u'f'}};
        QTest::newRow("unicode escapes") << QByteArray("a = spr\\u00e5k \\u00C5\\u00f8\r\n\\u0041B = 1\r\n")
                                         << Entries{{"a", QString::fromUtf8("språk Åø")}, {"AB", "1"}};
        QTest::newRow("malformed unicode escape") << QByteArray("a = \\u12G4\r\nb = \\u12\r\nc = \\u0x41\r\n")
                                                  << Entries{{"a", "u12G4"}, {"b", "u12"}, {"c", "u0x41"}};
        QTest::newRow("backslash before other characters")
            << QByteArray("a = \\q\\\\\\#\\=\\ x\r\n") << Entries{{"a", "q\\#= x"}};
        QTest::newRow("comments") << QByteArray("# Actions\r\n! bang\r\n   # indented\r\n\t! indented\r\na=b\r\n")
                                  << Entries{{"a", "b"}};
        QTest::newRow("commented-out entry") << QByteArray("#a = b\r\n") << Entries{};
        QTest::newRow("comment ending in backslash") << QByteArray("# note \\\r\na=b\r\n") << Entries{{"a", "b"}};
        QTest::newRow("blank lines") << QByteArray("\r\n\r\n   \r\n\t\r\na=b\r\n\r\n") << Entries{{"a", "b"}};
        QTest::newRow("line ends CR LF, LF and CR") << QByteArray("a=1\rb=2\nc=3\r\nd=4")
                                                    << Entries{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}};
        QTest::newRow("continuation over a lone CR") << QByteArray("a = x\\\r  y\r") << Entries{{"a", "xy"}};
        QTest::newRow("ISO-8859-1 bytes") << QByteArray("a = spr\xe5k\r\nb = \xf8l\r\n")
                                          << Entries{{"a", QString::fromUtf8("språk")}, {"b", QString::fromUtf8("øl")}};
        QTest::newRow("UTF-8 bytes read as ISO-8859-1")
            << QByteArray("a = \xc3\xa5\r\n") << Entries{{"a", QString::fromUtf8("Ã¥")}};
        QTest::newRow("duplicate key, later wins") << QByteArray("a=1\r\nb=x\r\na=2\r\n")
                                                   << Entries{{"a", "2"}, {"b", "x"}};
        QTest::newRow("empty values") << QByteArray("a=\r\nb\r\nc =   \r\nd:\r\n")
                                      << Entries{{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}};
        QTest::newRow("empty key") << QByteArray("= x\r\n") << Entries{{"", "x"}};
        QTest::newRow("trailing backslash at end of file") << QByteArray("a = end\\") << Entries{{"a", "end"}};
        QTest::newRow("trailing backslash and line end at end of file")
            << QByteArray("a = end\\\r\n") << Entries{{"a", "end"}};
        QTest::newRow("lone backslash at end of file") << QByteArray("a = b\r\n\\") << Entries{{"a", "b"}};
        QTest::newRow("no final line end") << QByteArray("a = b\r\nc = d") << Entries{{"a", "b"}, {"c", "d"}};
        QTest::newRow("empty input") << QByteArray() << Entries{};
    }

    void parse()
    {
        QFETCH(QByteArray, input);
        QFETCH(Entries, expected);
        QCOMPARE(dump(parseProperties(input)), dump(expected));
    }

    void everyKeyResolves_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        for (const Entry &e : kEntries)
            QTest::newRow(e.key) << QString::fromLatin1(e.key) << (e.text ? QString::fromLatin1(e.text) : QString());
    }

    void everyKeyResolves()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        const QString found = LangMsg::getMsg(key);
        if (!text.isNull())
            QCOMPARE(found, text);
        else
            QVERIFY2(!found.trimmed().isEmpty(), qPrintable(key));
    }

    void bundleHoldsExactlyTheKnownKeys()
    {
        QSet<QString> known;
        for (const Entry &e : kEntries)
            known.insert(QString::fromLatin1(e.key));
        QCOMPARE(known.size(), kKeyCount);

        const QStringList keys = LangMsg::keys();
        QCOMPARE(keys.size(), kKeyCount);
        for (const QString &key : keys)
            QVERIFY2(known.contains(key), qPrintable(QStringLiteral("unexpected key ") + key));
    }

    void playerTextsNameTheirControl()
    {
        QVERIFY(LangMsg::getMsg(QStringLiteral("ERROR_RPINVOKE")).contains(QLatin1String("RealPlayer")));
        QVERIFY(LangMsg::getMsg(QStringLiteral("ERROR_QTINVOKE")).contains(QLatin1String("QuickTime")));
    }

    void keysAreCaseSensitive_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("lower case") << QStringLiteral("parseerror");
        QTest::newRow("upper case") << QStringLiteral("PARSEERROR");
        QTest::newRow("lower-case prefix") << QStringLiteral("action_play");
        QTest::newRow("trailing blank") << QStringLiteral("ParseError ");
        QTest::newRow("empty") << QString();
        QTest::newRow("section heading") << QStringLiteral("# Errors");
    }

    void keysAreCaseSensitive()
    {
        QFETCH(QString, key);
        QCOMPARE(LangMsg::getMsg(QStringLiteral("ParseError")),
                 QStringLiteral("DB parse error, serverside error please try again later"));
        try {
            LangMsg::getMsg(key);
            QFAIL("lookup of an unknown key succeeded");
        } catch (const MissingResourceException &e) {
            QCOMPARE(e.key(), key);
            QVERIFY(QByteArray(e.what()).endsWith(key.toUtf8()));
        }
    }

    void textsOfSpecialLines()
    {
        QCOMPARE(LangMsg::getMsg(QStringLiteral("MENU_AUTOMATIC_UPDATE_TOGGLE")), QStringLiteral("Automatic update"));
        QCOMPARE(LangMsg::getMsg(QStringLiteral("MESSAGEBOX_LANGUAGECHANGE")),
                 QStringLiteral("The change will occur next time the program is started"));
        const QString update = LangMsg::getMsg(QStringLiteral("MESSAGEBOX_CONFIRMUPDATEMESSAGE"));
        QCOMPARE(update.count(QLatin1String("\r\n")), 1);
        QVERIFY(update.startsWith(QLatin1String("A new version of this application is available\r\nA restart")));
    }

    void exceptionWithoutCause()
    {
        const TulException e(QStringLiteral("FileNotFoundError"));
        QCOMPARE(e.getMsg(), QStringLiteral("File not found."));
        QCOMPARE(e.getTitle(), QStringLiteral("Unknown error"));
        QVERIFY(e.getMessage().isNull());
        QVERIFY(e.getStackTrace().isEmpty());
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("File not found."));
    }

    void exceptionWithDetailAndCause()
    {
        const std::runtime_error cause("not well-formed (invalid token)");
        const TulException e(QStringLiteral("data.dat"), QStringLiteral("FileReadError"), cause);
        QCOMPARE(e.getMsg(), QStringLiteral("data.dat: Error while reading from disk."));
        QCOMPARE(e.getTitle(), QStringLiteral("Unknown error"));
        QCOMPARE(e.getMessage(), QStringLiteral("not well-formed (invalid token)"));
        QVERIFY(!e.getStackTrace().isEmpty());

        // Wrapping a wrapped failure passes its message and frames on.
        const TulException outer(QStringLiteral("FileNotFoundError"), e);
        QCOMPARE(outer.getMsg(), QStringLiteral("File not found."));
        QCOMPARE(outer.getMessage(), e.getMessage());
        QCOMPARE(outer.getStackTrace(), e.getStackTrace());
    }

    void exceptionWithUnknownKeyFails()
    {
        const std::runtime_error cause("x");
        QVERIFY_THROWS_EXCEPTION(MissingResourceException, TulException(QStringLiteral("filenotfounderror")));
        QVERIFY_THROWS_EXCEPTION(MissingResourceException,
                                 TulException(QStringLiteral("data.dat"), QStringLiteral("NoSuchKey"), cause));
    }

    void embeddedBundleIsTheSourceFile()
    {
        QFile embedded(QStringLiteral(":/GuiBundle_en_GB.properties"));
        QVERIFY(embedded.open(QIODevice::ReadOnly));
        const QByteArray source = bundleFileBytes();
        QVERIFY(!source.isEmpty());
        QCOMPARE(embedded.readAll(), source);
    }

    void fileUsesCrLfThroughout()
    {
        const QByteArray bytes = bundleFileBytes();
        QVERIFY(bytes.endsWith("\r\n"));
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes.at(i) == '\n')
                QVERIFY2(i > 0 && bytes.at(i - 1) == '\r', qPrintable(QStringLiteral("bare LF at byte %1").arg(i)));
            if (bytes.at(i) == '\r')
                QVERIFY2(i + 1 < bytes.size() && bytes.at(i + 1) == '\n',
                         qPrintable(QStringLiteral("bare CR at byte %1").arg(i)));
        }
    }

    void fileIsIsoLatin1NotUtf8()
    {
        const QByteArray bytes = bundleFileBytes();
        qsizetype high = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(bytes.at(i));
            if (b < 0x80)
                continue;
            ++high;
            // A UTF-8 lead byte followed by a continuation byte would mean
            // the text was written in the wrong encoding.
            const bool leadByte = b >= 0xC2 && b <= 0xF4;
            const bool nextContinues =
                i + 1 < bytes.size() && (static_cast<unsigned char>(bytes.at(i + 1)) & 0xC0) == 0x80;
            QVERIFY2(!(leadByte && nextContinues), qPrintable(QStringLiteral("UTF-8 sequence at byte %1").arg(i)));
        }
        QVERIFY(high > 0);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(bytes);
        Q_UNUSED(decoded);
        QVERIFY(utf8.hasError());
        QVERIFY(QString::fromLatin1(bytes).contains(QString::fromUtf8("Alle språk")));
    }

    void fileFormOfSpecialLines()
    {
        const QList<QByteArray> lines = bundleFileBytes().split('\n');
        QVERIFY(lines.contains("MENU_AUTOMATIC_UPDATE_TOGGLE Automatic update\r"));
        qsizetype change = -1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).startsWith("MESSAGEBOX_LANGUAGECHANGE"))
                change = i;
        }
        QVERIFY(change >= 0);
        QVERIFY(lines.at(change).endsWith("\\\r"));
        bool confirm = false;
        for (const QByteArray &line : lines) {
            if (line.startsWith("MESSAGEBOX_CONFIRMUPDATEMESSAGE"))
                confirm = line.contains("available\\r\\nA restart");
        }
        QVERIFY(confirm);
        QVERIFY(lines.contains("# Actions\r"));
    }
};

QTEST_GUILESS_MAIN(TestLangMsg)
#include "tst_langmsg.moc"
