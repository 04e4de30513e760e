// The stream suggestion form and its action, against the reference service.

#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/window/dialogs/ModalDriver.h"
#include "window/dialogs/StreamTipsDialog.h"
#include "window/dialogs/StreamTipsFlow.h"

#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {
const QString PATH = QStringLiteral("/tul/prog/streamtips.php");

QStringList itemsOf(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// Fills the form from a list of "field=value" entries.
void fill(StreamTipsDialog &form, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString field = entry.left(eq);
        const QString value = entry.mid(eq + 1);
        if (field == u"name")
            QTest::keyClicks(form.nameField(), value);
        else if (field == u"homepage")
            QTest::keyClicks(form.homepageField(), value);
        else if (field == u"url")
            QTest::keyClicks(form.urlField(), value);
        else if (field == u"description")
            QTest::keyClicks(form.descriptionField(), value);
        else if (field == u"category")
            QTest::keyClicks(form.categoryCombo(), value);
        else if (field == u"language")
            QTest::keyClicks(form.languageCombo(), value);
        else if (field == u"country")
            QTest::keyClicks(form.countryCombo(), value);
        else if (field == u"type")
            form.typeCombo()->setCurrentIndex(form.typeCombo()->findText(value));
        else if (field == u"format")
            form.formatCombo()->setCurrentIndex(form.formatCombo()->findText(value));
        else if (field == u"live")
            QTest::mouseClick(value == u"yes" ? form.liveYesButton() : form.liveNoButton(), Qt::LeftButton);
        else if (field == u"quality")
            QTest::keyClicks(form.qualityField(), value);
        else
            QFAIL(qPrintable(QStringLiteral("unknown field ") + field));
    }
}
} // namespace

class TestStreamTips : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_oldDir;
    std::unique_ptr<ReferenceService> m_service;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        ReferenceService::Config config;
        config.logToStderr = false;
        m_service = std::make_unique<ReferenceService>(config);
        QVERIFY(m_service->start());
        qputenv("QUORVANTEL_MAKER_HOST", m_service->hostPort().toLatin1());
        qputenv("QUORVANTEL_CATALOGUE_HOST", m_service->hostPort().toLatin1());
        qputenv("QUORVANTEL_ICECAST_HOST", m_service->hostPort().toLatin1());
    }
    void cleanupTestCase()
    {
        m_service.reset();
        QDir::setCurrent(m_oldDir);
    }
    void init()
    {
        Options::resetToDefaults();
        m_service->clearSwitches();
        m_service->clearRequests();
    }

    void texts()
    {
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        QCOMPARE(form.windowTitle(), QStringLiteral("Tips us about a new stream"));
        QStringList labels;
        for (QLabel *label : form.findChildren<QLabel *>())
            if (!label->text().isEmpty())
                labels << label->text();
        QCOMPARE(labels, (QStringList{"Name: ", "Webpage: ", "Url: ", "Description: ", "Genre: ", "Language: ",
                                      "Country: ", "Type: ", "Live: ", "Quality: ", "Kbps", "Player: "}));
        QStringList groups;
        for (QGroupBox *group : form.findChildren<QGroupBox *>())
            groups << group->title();
        QCOMPARE(groups, (QStringList{"Info", "Not mandatory", "Not mandatory"}));
        QCOMPARE(form.findChild<QTextEdit *>()->toPlainText(),
                 QStringLiteral("We regularly update our database, and help from the users helps us to speed up "
                                "this process."));
        QVERIFY(form.findChild<QTextEdit *>()->isReadOnly());
        QCOMPARE(itemsOf(form.typeCombo()), (QStringList{"Tv", "Radio", "Video clips"}));
        QCOMPARE(itemsOf(form.formatCombo()), (QStringList{"WindowsMediaPlayer", "RealPlayer", "Quicktime"}));
        QCOMPARE(form.liveYesButton()->text(), QStringLiteral("yes"));
        QCOMPARE(form.liveNoButton()->text(), QStringLiteral("no"));
        QCOMPARE(form.sendButton()->text(), QStringLiteral("Send"));
        QCOMPARE(form.cancelButton()->text(), QStringLiteral("Cancel"));
    }

    void initialState()
    {
        QWidget window;
        StreamTipsDialog form(&window, QStringList{"Rock", "Pop"}, QStringList{"English"}, QStringList());
        QCOMPARE(itemsOf(form.categoryCombo()), (QStringList{"Rock", "Pop"}));
        QCOMPARE(itemsOf(form.languageCombo()), QStringList{"English"});
        QCOMPARE(form.countryCombo()->count(), 0);
        for (QComboBox *combo : {form.categoryCombo(), form.languageCombo(), form.countryCombo()}) {
            QVERIFY(combo->isEditable());
            QCOMPARE(combo->currentIndex(), -1);
            QCOMPARE(combo->currentText(), QString());
        }
        QVERIFY(!form.typeCombo()->isEditable());
        QVERIFY(!form.formatCombo()->isEditable());
        QCOMPARE(form.typeCombo()->currentIndex(), 0);
        QCOMPARE(form.formatCombo()->currentIndex(), 0);
        QVERIFY(!form.liveYesButton()->isChecked());
        QVERIFY(!form.liveNoButton()->isChecked());
        QCOMPARE(form.qualityField()->text(), QString());
        QCOMPARE(form.qualityField()->maxLength(), 4);
        QCOMPARE(form.qualityScale()->minimum(), 0);
        QCOMPARE(form.qualityScale()->maximum(), 2000);
        QCOMPARE(form.qualityScale()->singleStep(), 1);
        QCOMPARE(form.qualityScale()->pageStep(), 50);
        QCOMPARE(form.qualityScale()->value(), 0);
        QCOMPARE(form.defaultButton(), form.sendButton());
        QVERIFY(!form.getStream());
        for (QLineEdit *field : {form.nameField(), form.homepageField(), form.urlField(), form.descriptionField()})
            QVERIFY(field->text().isEmpty());
    }

    // The text fields keep their widths beside their labels; none fills.
    void fieldWidths_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("width");
        QTest::newRow("name") << "name" << 150;
        QTest::newRow("web page") << "homepage" << 300;
        QTest::newRow("address") << "url" << 300;
        QTest::newRow("description") << "description" << 300;
    }
    void fieldWidths()
    {
        QFETCH(QString, field);
        QFETCH(int, width);
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QLineEdit *edit = field == u"name"       ? form.nameField()
                          : field == u"homepage" ? form.homepageField()
                          : field == u"url"      ? form.urlField()
                                                 : form.descriptionField();
        QCOMPARE(edit->width(), width);
        // In the second column, as every field.
        QCOMPARE(edit->x(), form.nameField()->x());
        QCOMPARE(form.size(), QSize(StreamTipsDialog::WIDTH, StreamTipsDialog::HEIGHT));
        form.close();
    }

    void addressTest_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("boxTitle"); // empty: accepted
        QTest::addColumn<QString>("boxText");
        QTest::newRow("empty") << "" << "Error" << "Url not typed in";
        QTest::newRow("1 character") << "h" << "Error" << "Url to short?";
        QTest::newRow("9 characters") << "http://ab" << "Error" << "Url to short?";
        QTest::newRow("10 characters") << "http://abc" << "" << "";
        QTest::newRow("10 blanks") << "          " << "" << "";
        QTest::newRow("long") << "http://stream.example.org/live" << "" << "";
    }
    void addressTest()
    {
        QFETCH(QString, url);
        QFETCH(QString, boxTitle);
        QFETCH(QString, boxText);
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        BoxRecord box;
        ModalDriver driver;
        const bool refused = !boxTitle.isEmpty();
        driver.then([&](QWidget *) {
            fill(form, {"name=Radio One", "description=Nice", "quality=96"});
            QTest::keyClicks(form.urlField(), url);
            QTest::mouseClick(form.sendButton(), Qt::LeftButton);
            if (refused) {
                // The form stays open with everything as typed.
                QVERIFY(form.isVisible());
                QCOMPARE(form.nameField()->text(), QStringLiteral("Radio One"));
                QCOMPARE(form.urlField()->text(), url);
                QCOMPARE(form.descriptionField()->text(), QStringLiteral("Nice"));
                QCOMPARE(form.qualityField()->text(), QStringLiteral("96"));
                QVERIFY(!form.getStream());
                // Cancel after a refused Send: nothing.
                QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
            }
        });
        if (refused)
            driver.acceptBox(&box);
        const int code = form.exec();
        QCOMPARE(driver.remaining(), 0);
        QVERIFY(driver.unexpected().isEmpty());
        if (refused) {
            QCOMPARE(code, int(QDialog::Rejected));
            QVERIFY(!form.getStream());
            QCOMPARE(box.title, boxTitle);
            QCOMPARE(box.text, boxText);
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.parent, &form);
            QCOMPARE(box.buttonCount, 1);
            QVERIFY(box.applicationModal);
        } else {
            QCOMPARE(code, int(QDialog::Accepted));
            QVERIFY(form.getStream());
            QCOMPARE(form.getStream()->getUrl(), url);
            QCOMPARE(form.getDescription(), QStringLiteral("Nice"));
        }
    }

    void closing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("Escape") << "escape";
    }
    void closing()
    {
        QFETCH(QString, how);
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            fill(form, {"url=http://stream.example.org/live"});
            if (how == u"cancel")
                QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
            else if (how == u"escape")
                QTest::keyClick(form.urlField(), Qt::Key_Escape);
            else
                form.close();
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QVERIFY(!form.getStream());
    }

    // Return anywhere in the form presses Send, the default button.
    void returnSends_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("address field") << "url";
        QTest::newRow("name field") << "name";
        QTest::newRow("genre combo") << "category";
    }
    void returnSends()
    {
        QFETCH(QString, where);
        QWidget window;
        StreamTipsDialog form(&window, QStringList{"Rock"}, std::nullopt, std::nullopt);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            fill(form, {"url=http://stream.example.org/live", "category=Jazz"});
            QWidget *target = where == u"url" ? static_cast<QWidget *>(form.urlField())
                              : where == u"name" ? static_cast<QWidget *>(form.nameField())
                                                 : static_cast<QWidget *>(form.categoryCombo());
            QTest::keyClick(target, Qt::Key_Return);
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(form.getStream());
        QCOMPARE(form.getStream()->getCategory(), QStringLiteral("Jazz"));
        // A typed genre never becomes a choice.
        QCOMPARE(itemsOf(form.categoryCombo()), QStringList{"Rock"});
    }

    void qualityKeys_data()
    {
        QTest::addColumn<QString>("keys"); // typed text; "<" Left, "~" Backspace, "#" Delete
        QTest::addColumn<QString>("expected");
        QTest::newRow("digits") << "128" << "128";
        QTest::newRow("letters refused") << "1a2b" << "12";
        QTest::newRow("signs refused") << "-5+" << "5";
        QTest::newRow("blank and point refused") << "1 2.5" << "125";
        QTest::newRow("limit of 4") << "123456" << "1234";
        QTest::newRow("backspace accepted") << "129~8" << "128";
        QTest::newRow("cursor keys refused") << "12<3" << "123";
        QTest::newRow("delete refused") << "12<#" << "12";
    }
    void qualityKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        QLineEdit *field = form.qualityField();
        for (QChar c : keys) {
            if (c == u'<')
                QTest::keyClick(field, Qt::Key_Left);
            else if (c == u'~')
                QTest::keyClick(field, Qt::Key_Backspace);
            else if (c == u'#')
                QTest::keyClick(field, Qt::Key_Delete);
            else
                QTest::keyClicks(field, QString(c));
        }
        QCOMPARE(field->text(), expected);
    }

    void qualityPasteRefused()
    {
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        QGuiApplication::clipboard()->setText(QStringLiteral("99"));
        QTest::keyClick(form.qualityField(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form.qualityField()->text(), QString());
    }

    void qualityScale_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("End") << int(Qt::Key_End) << "2000";
        QTest::newRow("Page up") << int(Qt::Key_PageUp) << "50";
        QTest::newRow("Right") << int(Qt::Key_Right) << "1";
    }
    void qualityScale()
    {
        QFETCH(int, key);
        QFETCH(QString, expected);
        QWidget window;
        StreamTipsDialog form(&window, std::nullopt, std::nullopt, std::nullopt);
        QTest::keyClicks(form.qualityField(), QStringLiteral("77"));
        QTest::keyClick(form.qualityScale(), Qt::Key(key));
        QCOMPARE(form.qualityField()->text(), expected);
    }

    void bitrate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bitrate");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("number") << "128" << 128;
        QTest::newRow("leading zero") << "0096" << 96;
        QTest::newRow("letters") << "12a" << 0;
        QTest::newRow("plus") << "+5" << 5;
        QTest::newRow("minus") << "-1" << -1;
        QTest::newRow("blank") << " 5" << 0;
        QTest::newRow("sign only") << "-" << 0;
    }
    void bitrate()
    {
        QFETCH(QString, text);
        QFETCH(int, bitrate);
        QCOMPARE(StreamTipsDialog::parseBitrate(text), bitrate);
    }

    void record_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("expected"); // name, homepage, url, category, language, country, type,
                                                   // format, live, bitrate
        QTest::newRow("untouched") << QStringList{"url=http://a.example"}
                                   << QStringList{"", "", "http://a.example", "", "", "", "Tv",
                                                  "WindowsMediaPlayer", "false", "0"};
        QTest::newRow("everything")
            << QStringList{"name=Rock & Roll", "homepage=http://rock.example/", "url=http://rock.example/live",
                           "category=Rock", "language=English", "country=Norway", "type=Radio", "format=Quicktime",
                           "live=yes", "quality=320", "description=not in the record"}
            << QStringList{"Rock & Roll", "http://rock.example/", "http://rock.example/live", "Rock", "English",
                           "Norway", "Radio", "Quicktime", "true", "320"};
        QTest::newRow("live no, video clips") << QStringList{"url=  spaces  kept ", "live=no", "type=Video clips",
                                                             "format=RealPlayer", "name= a "}
                                              << QStringList{" a ", "", "  spaces  kept ", "", "", "",
                                                             "Video clips", "RealPlayer", "false", "0"};
    }
    void record()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, expected);
        QWidget window;
        StreamTipsDialog form(&window, QStringList{"Pop"}, QStringList{"Norsk"}, QStringList{"Sweden"});
        ModalDriver driver;
        driver.then([&](QWidget *) {
            fill(form, entries);
            QTest::mouseClick(form.sendButton(), Qt::LeftButton);
        });
        form.exec();
        const StreamInfoPtr s = form.getStream();
        QVERIFY(s);
        const QStringList actual{s->getName(), s->getHomepageUrl(), s->getUrl(), s->getCategory(),
                                 s->getLanguage(), s->getCountry(), s->getType(), s->getFormat(),
                                 s->getLive() ? "true" : "false", QString::number(s->getBitrate())};
        QCOMPARE(actual, expected);
        for (const QString &text : {s->getName(), s->getHomepageUrl(), s->getCategory(), s->getLanguage(),
                                    s->getCountry()})
            QVERIFY(!text.isNull());
        QCOMPARE(s->getId(), 0);
        QVERIFY(!s->getAdult());
    }

    void choices()
    {
        using V = std::vector<StreamFilterPtr>;
        QCOMPARE(StreamTipsFlow::choices(V()), std::optional<QStringList>());
        QCOMPARE(StreamTipsFlow::choices(V{std::make_shared<StreamFilter>(0, "All")}),
                 std::optional<QStringList>(QStringList()));
        QCOMPARE(StreamTipsFlow::choices(V{std::make_shared<StreamFilter>(0, "All"),
                                           std::make_shared<StreamFilter>(3, "Jazz"),
                                           std::make_shared<StreamFilter>(1, "Rock")}),
                 std::optional<QStringList>(QStringList{"Jazz", "Rock"}));
    }

    void flow_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("reply");   // null: "OK"
        QTest::addColumn<QByteArray>("query");   // null: nothing sent
        QTest::addColumn<bool>("sentBox");
        QTest::addColumn<QString>("error");

        QTest::newRow("everything")
            << QStringList{"name=Rock & Roll", "homepage=http://www.rock.example/",
                           "url=http://stream.rock.example/live", "category=Rock", "language=English",
                           "country=Norway", "type=Radio", "format=RealPlayer", "live=yes", "quality=128",
                           QStringLiteral("description=Best \u00f8 music")}
            << QByteArray()
            << QByteArray("version=10.0.0&serial=SER1&streamname=Rock+%26+Roll"
                          "&streamurl=http%3A%2F%2Fstream.rock.example%2Flive"
                          "&streamhomepage=http%3A%2F%2Fwww.rock.example%2F&streamcategory=Rock"
                          "&streamlanguage=English&streamcountry=Norway&streamlive=true&streambitrate=128"
                          "&streamformat=RealPlayer&streamtype=Radio&streamdescription=Best+%F8+music")
            << true << "";
        QTest::newRow("only the address")
            << QStringList{"url=http://a.example"} << QByteArray()
            << QByteArray("version=10.0.0&serial=SER1&streamname=&streamurl=http%3A%2F%2Fa.example"
                          "&streamhomepage=&streamcategory=&streamlanguage=&streamcountry=&streamlive=false"
                          "&streambitrate=0&streamformat=WindowsMediaPlayer&streamtype=Tv&streamdescription=")
            << true << "";
        QTest::newRow("refused by the service")
            << QStringList{"url=http://a.example"} << QByteArray("Error")
            << QByteArray("version=10.0.0&serial=SER1&streamname=&streamurl=http%3A%2F%2Fa.example"
                          "&streamhomepage=&streamcategory=&streamlanguage=&streamcountry=&streamlive=false"
                          "&streambitrate=0&streamformat=WindowsMediaPlayer&streamtype=Tv&streamdescription=")
            << false << "Error, sending message failed";
        QTest::newRow("cancelled") << QStringList{"url=http://a.example", "cancel="} << QByteArray() << QByteArray()
                                   << false << "";
    }
    void flow()
    {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, query);
        QFETCH(bool, sentBox);
        QFETCH(QString, error);
        Options::setSerial(QStringLiteral("SER1"));
        if (!reply.isNull())
            m_service->setReply(PATH, reply);

        StreamsManager manager;
        StreamsView allView(&manager, StreamsView::FILTER_ALL);
        QWidget window;
        BoxRecord box;
        ModalDriver driver;
        driver.then([&](QWidget *w) {
            auto *form = qobject_cast<StreamTipsDialog *>(w);
            QVERIFY(form);
            QCOMPARE(form->parentWidget(), &window);
            // Before any catalogue has loaded, the combos offer nothing.
            QCOMPARE(form->categoryCombo()->count(), 0);
            QCOMPARE(form->languageCombo()->count(), 0);
            QCOMPARE(form->countryCombo()->count(), 0);
            QStringList fields = entries;
            const bool cancel = fields.removeAll(QStringLiteral("cancel=")) > 0;
            fill(*form, fields);
            QTest::mouseClick(cancel ? form->cancelButton() : form->sendButton(), Qt::LeftButton);
        });
        if (sentBox)
            driver.acceptBox(&box);
        QStringList errors;
        const bool sent = StreamTipsFlow::run(&window, manager, allView,
                                              [&](const TulException &e) { errors << e.getMsg(); });
        QCOMPARE(driver.remaining(), 0);
        QCOMPARE(driver.unexpected(), QStringList());
        QCOMPARE(sent, sentBox);
        const auto requests = m_service->requests(PATH);
        QCOMPARE(int(requests.size()), query.isNull() ? 0 : 1);
        if (!query.isNull())
            QCOMPARE(requests.front().query, query);
        if (sentBox) {
            QCOMPARE(box.title, QStringLiteral("Sent"));
            QCOMPARE(box.text, QStringLiteral("Your tip has been sent"));
            QCOMPARE(box.icon, QMessageBox::Information);
            QCOMPARE(box.parent, &window);
        }
        QCOMPARE(errors, error.isEmpty() ? QStringList() : QStringList{error});
    }

    // With a catalogue loaded, the combos offer the all-streams view's
    // genres, languages and countries, without the "all" entries.
    void choicesFromCatalogue()
    {
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        StreamsView allView(&manager, StreamsView::FILTER_ALL);
        const auto categories = allView.getCategories();
        const auto languages = allView.getLanguages();
        const auto countries = allView.getCountries();
        QVERIFY(categories.size() > 2 && languages.size() > 2 && countries.size() > 2);
        auto texts = [](const std::vector<StreamFilterPtr> &entries) {
            QStringList list;
            for (std::size_t i = 1; i < entries.size(); ++i)
                list << entries[i]->getText();
            return list;
        };
        QWidget window;
        ModalDriver driver;
        driver.then([&](QWidget *w) {
            auto *form = qobject_cast<StreamTipsDialog *>(w);
            QVERIFY(form);
            QCOMPARE(itemsOf(form->categoryCombo()), texts(categories));
            QCOMPARE(itemsOf(form->languageCombo()), texts(languages));
            QCOMPARE(itemsOf(form->countryCombo()), texts(countries));
            for (const QString &all : {categories[0]->getText(), languages[0]->getText(), countries[0]->getText()}) {
                QVERIFY(!itemsOf(form->categoryCombo()).contains(all));
                QVERIFY(!itemsOf(form->languageCombo()).contains(all));
                QVERIFY(!itemsOf(form->countryCombo()).contains(all));
            }
            QCOMPARE(form->categoryCombo()->currentText(), QString());
            // Pick a catalogue language; it is sent.
            form->languageCombo()->setCurrentIndex(0);
            fill(*form, {"url=http://a.example"});
            QTest::mouseClick(form->sendButton(), Qt::LeftButton);
        });
        driver.acceptBox();
        QVERIFY(StreamTipsFlow::run(&window, manager, allView, [](const TulException &) { QFAIL("error shown"); }));
        const auto requests = m_service->requests(PATH);
        QCOMPARE(int(requests.size()), 1);
        QVERIFY(requests.front().query.contains(
            "&streamlanguage=" + StreamsManager::formEncode(texts(languages).first()).toLatin1() + "&"));
    }
};

QTEST_MAIN(TestStreamTips)
#include "tst_stream_tips.moc"
