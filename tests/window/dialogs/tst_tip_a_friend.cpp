// The tell-a-friend form and its action, against the reference service.

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/window/dialogs/ModalDriver.h"
#include "window/dialogs/TipAFriendDialog.h"
#include "window/dialogs/TipAFriendFlow.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString PATH = QStringLiteral("/tul/prog/recruitperson.php");

// The step for the form that opens: a friend's address, then Send.
void sendToFriend(QWidget *w)
{
    auto *form = qobject_cast<TipAFriendDialog *>(w);
    QVERIFY(form);
    QTest::keyClicks(form->addressField(), QStringLiteral("friend@example.org"));
    QTest::mouseClick(form->sendButton(), Qt::LeftButton);
}
} // namespace

class TestTipAFriend : public QObject
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
        qputenv("QUORVANTEL_MAKER_HOST", m_service->hostPort().toLatin1());
    }

    void texts()
    {
        QWidget window;
        TipAFriendDialog form(&window);
        QCOMPARE(form.windowTitle(), QStringLiteral("Tip a friend"));
        QCOMPARE(form.getMessage(), QStringLiteral("Write in the email address: "));
        QCOMPARE(form.addressLabel()->text(), QStringLiteral("Write in the email address: "));
        QCOMPARE(form.infoText()->toPlainText(),
                 QStringLiteral("If you want to tip a friend, please write his/hers email address in the field "
                                "below."));
        QVERIFY(form.infoText()->isReadOnly());
        QCOMPARE(form.sendButton()->text(), QStringLiteral("Send"));
        QCOMPARE(form.cancelButton()->text(), QStringLiteral("Cancel"));
        QCOMPARE(form.defaultButton(), form.sendButton());
        QCOMPARE(form.focusWidget(), form.addressField());
        QVERIFY(form.addressField()->text().isEmpty());
        QVERIFY(!form.getInput().has_value());
        for (QGroupBox *group : form.findChildren<QGroupBox *>())
            QVERIFY(group->title().isEmpty());
        form.setMessage(QStringLiteral("Address: "));
        QCOMPARE(form.addressLabel()->text(), QStringLiteral("Address: "));
        // Send and Cancel in the two right-hand columns, below the address.
        form.show();
        QVERIFY(form.sendButton()->x() > form.width() / 3 - 10);
        QVERIFY(form.cancelButton()->x() > form.sendButton()->x());
        QVERIFY(form.sendButton()->y() > form.addressField()->y());
    }

    void results_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("hasInput");
        QTest::addColumn<int>("code");
        QTest::newRow("Send") << "friend@example.org" << "send" << true << int(QDialog::Accepted);
        QTest::newRow("Return") << "friend@example.org" << "return" << true << int(QDialog::Accepted);
        QTest::newRow("keypad Enter") << "friend@example.org" << "enter" << true << int(QDialog::Accepted);
        QTest::newRow("Send, empty") << "" << "send" << true << int(QDialog::Accepted);
        QTest::newRow("Send, blanks kept") << "  a b  " << "send" << true << int(QDialog::Accepted);
        QTest::newRow("Cancel") << "friend@example.org" << "cancel" << false << int(QDialog::Rejected);
        QTest::newRow("close box") << "friend@example.org" << "close" << false << int(QDialog::Rejected);
        QTest::newRow("Escape") << "friend@example.org" << "escape" << false << int(QDialog::Rejected);
    }
    void results()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(bool, hasInput);
        QFETCH(int, code);
        QWidget window;
        TipAFriendDialog form(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::keyClicks(form.addressField(), typed);
            if (how == u"send")
                QTest::mouseClick(form.sendButton(), Qt::LeftButton);
            else if (how == u"return")
                QTest::keyClick(form.addressField(), Qt::Key_Return);
            else if (how == u"enter")
                QTest::keyClick(form.addressField(), Qt::Key_Enter, Qt::KeypadModifier);
            else if (how == u"cancel")
                QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
            else if (how == u"escape")
                QTest::keyClick(form.addressField(), Qt::Key_Escape);
            else
                form.close();
        });
        QCOMPARE(form.exec(), code);
        QCOMPARE(form.getInput().has_value(), hasInput);
        if (hasInput) {
            QCOMPARE(*form.getInput(), typed);
            QVERIFY(!form.getInput()->isNull());
        }
    }

    // Return on the focused Cancel button cancels.
    void returnOnCancel()
    {
        QWidget window;
        TipAFriendDialog form(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::keyClicks(form.addressField(), QStringLiteral("friend@example.org"));
            form.cancelButton()->setFocus();
            QTest::keyClick(form.cancelButton(), Qt::Key_Return);
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QVERIFY(!form.getInput().has_value());
    }

    void flow_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArray>("reply");    // the service's answer (null: "OK")
        QTest::addColumn<QByteArray>("query");    // what reached the service; null: no request
        QTest::addColumn<bool>("sentBox");
        QTest::addColumn<QString>("error");       // message shown by the error display

        QTest::newRow("sent") << "ABC123" << "friend@example.org" << "send" << QByteArray() 
                              << QByteArray("version=10.0.0&serial=ABC123&email=friend%40example.org") << true << "";
        QTest::newRow("6 characters") << "ABC123" << "abcdef" << "send" << QByteArray()
                                      << QByteArray("version=10.0.0&serial=ABC123&email=abcdef") << true << "";
        QTest::newRow("5 characters") << "ABC123" << "abcde" << "send" << QByteArray() << QByteArray() << false
                                      << "";
        QTest::newRow("empty") << "ABC123" << "" << "send" << QByteArray() << QByteArray() << false << "";
        QTest::newRow("six blanks") << "K" << "      " << "send" << QByteArray()
                                    << QByteArray("version=10.0.0&serial=K&email=%20%20%20%20%20%20") << true << "";
        QTest::newRow("no account key") << "" << "friend@example.org" << "return" << QByteArray()
                                        << QByteArray("version=10.0.0&serial=&email=friend%40example.org") << true
                                        << "";
        // Address and key reach the service as typed and stored.
        QTest::newRow("encoded") << "K&Y+1" << "a+b&c=d#e@x.org" << "send" << QByteArray()
                                 << QByteArray("version=10.0.0&serial=K%26Y%2B1&email=a%2Bb%26c%3Dd%23e%40x.org")
                                 << true << "";
        QTest::newRow("cancel") << "ABC123" << "friend@example.org" << "cancel" << QByteArray() << QByteArray()
                                << false << "";
        QTest::newRow("close box") << "ABC123" << "friend@example.org" << "close" << QByteArray() << QByteArray()
                                   << false << "";
        QTest::newRow("reply Error") << "ABC123" << "friend@example.org" << "send" << QByteArray("Error")
                                     << QByteArray("version=10.0.0&serial=ABC123&email=friend%40example.org")
                                     << false << "Error, sending message failed";
        QTest::newRow("reply ok") << "ABC123" << "friend@example.org" << "send" << QByteArray("ok")
                                  << QByteArray("version=10.0.0&serial=ABC123&email=friend%40example.org") << false
                                  << "Error, sending message failed";
        QTest::newRow("reply OK and line end") << "ABC123" << "friend@example.org" << "send"
                                               << QByteArray("OK\r\n")
                                               << QByteArray("version=10.0.0&serial=ABC123&email=friend%40example.org")
                                               << false << "Error, sending message failed";
        QTest::newRow("empty reply") << "ABC123" << "friend@example.org" << "send" << QByteArray("")
                                     << QByteArray("version=10.0.0&serial=ABC123&email=friend%40example.org")
                                     << false << "Error, sending message failed";
    }
    void flow()
    {
        QFETCH(QString, serial);
        QFETCH(QString, typed);
        QFETCH(QString, end);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, query);
        QFETCH(bool, sentBox);
        QFETCH(QString, error);

        if (!serial.isEmpty())
            Options::setSerial(serial);
        if (!reply.isNull())
            m_service->setReply(PATH, reply);

        StreamsManager manager;
        QWidget window;
        BoxRecord box;
        ModalDriver driver;
        driver.then([&](QWidget *w) {
            auto *form = qobject_cast<TipAFriendDialog *>(w);
            QVERIFY(form);
            QCOMPARE(form->parentWidget(), &window);
            QTest::keyClicks(form->addressField(), typed);
            if (end == u"send")
                QTest::mouseClick(form->sendButton(), Qt::LeftButton);
            else if (end == u"return")
                QTest::keyClick(form->addressField(), Qt::Key_Return);
            else if (end == u"cancel")
                QTest::mouseClick(form->cancelButton(), Qt::LeftButton);
            else
                form->close();
        });
        if (sentBox)
            driver.acceptBox(&box);
        QStringList errors;
        const bool sent = TipAFriendFlow::run(&window, manager, [&](const TulException &e) { errors << e.getMsg(); });

        QCOMPARE(driver.remaining(), 0);
        QCOMPARE(driver.unexpected(), QStringList());
        QCOMPARE(sent, sentBox);
        const auto requests = m_service->requests(PATH);
        QCOMPARE(int(requests.size()), query.isNull() ? 0 : 1);
        if (!query.isNull()) {
            QCOMPARE(requests.front().query, query);
            QCOMPARE(requests.front().method, QStringLiteral("GET"));
        }
        if (sentBox) {
            QCOMPARE(box.title, QStringLiteral("Sent"));
            QCOMPARE(box.text, QStringLiteral("The email was sent"));
            QCOMPARE(box.icon, QMessageBox::Information);
            QCOMPARE(box.parent, &window);
            QCOMPARE(box.buttonCount, 1);
            QVERIFY(box.applicationModal);
        }
        QCOMPARE(errors, error.isEmpty() ? QStringList() : QStringList{error});
    }

    // Without an error handler the failure shows in the error dialog on the
    // main window.
    void defaultErrorDisplay()
    {
        Options::setSerial(QStringLiteral("ABC123"));
        m_service->setReply(PATH, "Error");
        StreamsManager manager;
        QWidget window;
        QString shownClass;
        QWidget *shownParent = nullptr;
        ModalDriver driver;
        driver.then(sendToFriend);
        driver.then([&](QWidget *w) {
            shownClass = QString::fromLatin1(w->metaObject()->className());
            shownParent = w->parentWidget();
            w->close();
        });
        QVERIFY(!TipAFriendFlow::run(&window, manager, TulErrorHandler()));
        QCOMPARE(driver.remaining(), 0);
        QCOMPARE(shownClass, QStringLiteral("TulErrorDialog"));
        QCOMPARE(shownParent, &window);
    }

    void unreachableSite()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        qputenv("QUORVANTEL_MAKER_HOST", QByteArray("127.0.0.1:") + QByteArray::number(closedPort));
        StreamsManager manager;
        QWidget window;
        ModalDriver driver;
        driver.then(sendToFriend);
        QStringList errors;
        QVERIFY(!TipAFriendFlow::run(&window, manager, [&](const TulException &e) { errors << e.getMsg(); }));
        QCOMPARE(errors, QStringList{QStringLiteral("Firewall blocking error")});
        QVERIFY(driver.unexpected().isEmpty());
    }
};

QTEST_MAIN(TestTipAFriend)
#include "tst_tip_a_friend.moc"
