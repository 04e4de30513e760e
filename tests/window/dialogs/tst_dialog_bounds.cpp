// Initial bounds of every dialog under the placement rule, for several
// monitor set-ups, and the bounds the real dialogs take on this screen.

#include "window/dialogs/AboutDialog.h"
#include "window/dialogs/DialogFrame.h"
#include "window/dialogs/ModalDialog.h"
#include "window/dialogs/ParentalFilter.h"
#include "window/dialogs/PasswordEntryDialog.h"
#include "window/dialogs/SelectionDialogParental.h"
#include "window/dialogs/StreamTipsDialog.h"
#include "window/dialogs/TipAFriendDialog.h"

#include <QScreen>
#include <QtTest>
#include <memory>

namespace {
struct Frame
{
    int width;
    int height;
    int a;
    int b1; // b with one monitor
    int b2; // b with several
};

Frame frameOf(const QString &dialog)
{
    if (dialog == u"PasswordEntryDialog")
        return {PasswordEntryDialog::WIDTH, PasswordEntryDialog::HEIGHT, PasswordEntryDialog::OFFSET_X,
                PasswordEntryDialog::offsetY(1), PasswordEntryDialog::offsetY(2)};
    if (dialog == u"SelectionDialogParental")
        return {SelectionDialogParental::WIDTH, SelectionDialogParental::HEIGHT, SelectionDialogParental::OFFSET_X,
                SelectionDialogParental::offsetY(1), SelectionDialogParental::offsetY(2)};
    if (dialog == u"ParentalFilter")
        return {ParentalFilter::WIDTH, ParentalFilter::HEIGHT, ParentalFilter::OFFSET_X, ParentalFilter::offsetY(1),
                ParentalFilter::offsetY(2)};
    if (dialog == u"TipAFriendDialog")
        return {TipAFriendDialog::WIDTH, TipAFriendDialog::HEIGHT, TipAFriendDialog::OFFSET_X,
                TipAFriendDialog::offsetY(1), TipAFriendDialog::offsetY(2)};
    if (dialog == u"StreamTipsDialog")
        return {StreamTipsDialog::WIDTH, StreamTipsDialog::HEIGHT, StreamTipsDialog::OFFSET_X,
                StreamTipsDialog::OFFSET_Y, StreamTipsDialog::OFFSET_Y};
    return {AboutDialog::WIDTH, AboutDialog::HEIGHT, AboutDialog::OFFSET_X, AboutDialog::OFFSET_Y,
            AboutDialog::OFFSET_Y};
}
} // namespace

class TestDialogBounds : public QObject
{
    Q_OBJECT
private slots:
    void bounds_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QRect>("display");
        QTest::addColumn<QRect>("primary");
        QTest::addColumn<int>("monitors");
        QTest::addColumn<QRect>("expected");

        const QRect one1280(0, 0, 1280, 1024);
        const QRect one1365(0, 0, 1365, 767);
        const QRect twoDisplay(0, 0, 3200, 1200);
        const QRect twoPrimary(1280, 0, 1920, 1080);

        // The three parental dialogs: 160 left of the centre, 150 above it
        // with one monitor and 170 with several.
        QTest::newRow("password, 1280x1024") << "PasswordEntryDialog" << one1280 << one1280 << 1
                                             << QRect(480, 362, 320, 107);
        QTest::newRow("password, odd 1365x767") << "PasswordEntryDialog" << one1365 << one1365 << 1
                                                << QRect(522, 233, 320, 107);
        QTest::newRow("password, two monitors") << "PasswordEntryDialog" << twoDisplay << twoPrimary << 2
                                                << QRect(800, 370, 320, 107);
        QTest::newRow("selection, 1280x1024") << "SelectionDialogParental" << one1280 << one1280 << 1
                                              << QRect(480, 362, 320, 100);
        QTest::newRow("selection, two monitors") << "SelectionDialogParental" << twoDisplay << twoPrimary << 2
                                                 << QRect(800, 370, 320, 100);
        QTest::newRow("set password, 1280x1024") << "ParentalFilter" << one1280 << one1280 << 1
                                                 << QRect(480, 362, 340, 240);
        QTest::newRow("set password, two monitors") << "ParentalFilter" << twoDisplay << twoPrimary << 2
                                                    << QRect(800, 370, 340, 240);
        // Tell a friend: the same offsets, 380 x 220.
        QTest::newRow("tip a friend, 1280x1024") << "TipAFriendDialog" << one1280 << one1280 << 1
                                                 << QRect(480, 362, 380, 220);
        QTest::newRow("tip a friend, two monitors") << "TipAFriendDialog" << twoDisplay << twoPrimary << 2
                                                    << QRect(800, 370, 380, 220);
        // Stream suggestion: centred, 512 x 384, whatever the monitor count.
        QTest::newRow("stream tips, 1280x1024") << "StreamTipsDialog" << one1280 << one1280 << 1
                                                << QRect(384, 320, 512, 384);
        QTest::newRow("stream tips, odd 1365x767") << "StreamTipsDialog" << one1365 << one1365 << 1
                                                   << QRect(426, 191, 512, 384);
        QTest::newRow("stream tips, two monitors") << "StreamTipsDialog" << twoDisplay << twoPrimary << 2
                                                   << QRect(704, 348, 512, 384);
        // About: centred, 450 x 340.
        QTest::newRow("about, 1280x1024") << "AboutDialog" << one1280 << one1280 << 1 << QRect(415, 342, 450, 340);
        QTest::newRow("about, 800x600") << "AboutDialog" << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << 1
                                        << QRect(175, 130, 450, 340);
        QTest::newRow("about, two monitors") << "AboutDialog" << twoDisplay << twoPrimary << 2
                                             << QRect(735, 370, 450, 340);
    }
    void bounds()
    {
        QFETCH(QString, dialog);
        QFETCH(QRect, display);
        QFETCH(QRect, primary);
        QFETCH(int, monitors);
        QFETCH(QRect, expected);
        const Frame f = frameOf(dialog);
        QCOMPARE(dialogBounds(display, primary, monitors, f.a, monitors == 1 ? f.b1 : f.b2, f.width, f.height),
                 expected);
    }

    // The real dialogs on this screen: the corner from the placement rule;
    // the size as given for the forms that are not packed.
    void realDialogs_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("packed");
        QTest::newRow("password") << "PasswordEntryDialog" << true;
        QTest::newRow("selection") << "SelectionDialogParental" << true;
        QTest::newRow("set password") << "ParentalFilter" << true;
        QTest::newRow("tip a friend") << "TipAFriendDialog" << false;
        QTest::newRow("stream tips") << "StreamTipsDialog" << false;
        QTest::newRow("about") << "AboutDialog" << false;
    }
    void realDialogs()
    {
        QFETCH(QString, dialog);
        QFETCH(bool, packed);
        QWidget window;
        std::unique_ptr<QDialog> d;
        if (dialog == u"PasswordEntryDialog")
            d = std::make_unique<PasswordEntryDialog>(&window);
        else if (dialog == u"SelectionDialogParental")
            d = std::make_unique<SelectionDialogParental>(&window, true);
        else if (dialog == u"ParentalFilter")
            d = std::make_unique<ParentalFilter>(&window);
        else if (dialog == u"TipAFriendDialog")
            d = std::make_unique<TipAFriendDialog>(&window);
        else if (dialog == u"StreamTipsDialog")
            d = std::make_unique<StreamTipsDialog>(&window, std::nullopt, std::nullopt, std::nullopt);
        else
            d = std::make_unique<AboutDialog>(&window);
        const Frame f = frameOf(dialog);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        const int monitors = monitorCount();
        QCOMPARE(d->pos(), dialogPosition(f.a, monitors == 1 ? f.b1 : f.b2));
        if (packed)
            QCOMPARE(d->size(), d->sizeHint().expandedTo(d->minimumSizeHint()));
        else
            QCOMPARE(d->size(), QSize(f.width, f.height));
        QCOMPARE(d->windowModality(), Qt::ApplicationModal);
        QCOMPARE(d->parentWidget(), &window);
        QVERIFY(d->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(d->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(d->windowFlags() & Qt::WindowMaximizeButtonHint));
        d->close();
    }
};

QTEST_MAIN(TestDialogBounds)
#include "tst_dialog_bounds.moc"
