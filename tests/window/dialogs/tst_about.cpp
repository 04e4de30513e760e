#include "catalogue/Options.h"
#include "tests/window/dialogs/ModalDriver.h"
#include "window/dialogs/AboutDialog.h"
#include "window/dialogs/DialogFrame.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void texts()
    {
        QWidget window;
        AboutDialog box(&window);
        QCOMPARE(box.windowTitle(), QStringLiteral("About Quorvantel"));
        QCOMPARE(box.nameLine()->toPlainText(), QStringLiteral("Quorvantel"));
        QCOMPARE(box.nameLine()->font().family(), QStringLiteral("Arial"));
        QCOMPARE(box.nameLine()->font().pointSize(), 18);
        QVERIFY(box.nameLine()->font().bold());
        QCOMPARE(box.versionLine()->toPlainText(), QStringLiteral("Version:\t\t\t10.0.0"));
        QCOMPARE(box.versionLine()->toPlainText(), QStringLiteral("Version:\t\t\t") + Options::getVersion());
        QCOMPARE(box.okButton()->text(), QStringLiteral("OK"));
        QCOMPARE(box.defaultButton(), box.okButton());
        QCOMPARE(box.parentWidget(), &window);
        QCOMPARE(box.windowModality(), Qt::ApplicationModal);
        // White text on the box's black background.
        QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(box.nameLine()->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::white));
        QCOMPARE(box.versionLine()->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::white));
        QVERIFY(!box.nameLine()->isEnabled());
    }

    void boundsAndLayout()
    {
        QWidget window;
        AboutDialog box(&window);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.size(), QSize(450, 340));
        QCOMPARE(box.pos(), dialogPosition(225, 170));
        QCOMPARE(box.logo()->sizeHint(), QSize(250, 250));
        QVERIFY(box.logo()->width() >= 250 && box.logo()->height() >= 250);
        // The name line sits right of the logo, the version line under it,
        // OK in the bottom row.
        QVERIFY(box.nameLine()->geometry().left() >= box.logo()->geometry().right());
        QVERIFY(box.versionLine()->geometry().top() >= box.nameLine()->geometry().bottom());
        QVERIFY(box.okButton()->geometry().top() >= box.logo()->geometry().bottom());
        box.close();
    }

    void logo()
    {
        QWidget window;
        AboutDialog box(&window);
        const QImage stored(QString::fromLatin1(AboutDialog::LOGO_RESOURCE));
        if (!stored.isNull())
            QCOMPARE(box.logo()->image(), stored);
        else
            QVERIFY(box.logo()->image().isNull());
        // A missing picture leaves an empty canvas; painting must not fail.
        box.show();
        box.logo()->repaint();
        box.close();
    }

    void logoPosition_data()
    {
        QTest::addColumn<QSize>("canvas");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("canvas 250") << QSize(250, 250) << QSize(175, 243) << QPoint(125 - 87, 125 - 121);
        QTest::newRow("odd canvas") << QSize(251, 301) << QSize(175, 243) << QPoint(125 - 87, 150 - 121);
        QTest::newRow("smaller canvas") << QSize(100, 100) << QSize(175, 243) << QPoint(50 - 87, 50 - 121);
    }
    void logoPosition()
    {
        QFETCH(QSize, canvas);
        QFETCH(QSize, image);
        QFETCH(QPoint, expected);
        QCOMPARE(AboutLogo::imagePosition(canvas, image), expected);
    }

    void okAndReturnClose_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("OK") << 0;
        QTest::newRow("Return") << 1;
        QTest::newRow("close box") << 2;
    }
    void okAndReturnClose()
    {
        QFETCH(int, how);
        QWidget window;
        AboutDialog box(&window);
        ModalDriver driver;
        driver.then([how](QWidget *w) {
            auto *about = qobject_cast<AboutDialog *>(w);
            QVERIFY(about);
            if (how == 0)
                QTest::mouseClick(about->okButton(), Qt::LeftButton);
            else if (how == 1)
                QTest::keyClick(about, Qt::Key_Return);
            else
                about->close();
        });
        box.exec();
        QVERIFY(!box.isVisible());
        QCOMPARE(driver.remaining(), 0);
        QVERIFY(driver.unexpected().isEmpty());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
