#pragma once

// Drives nested modal dialogs and message boxes from a test: each step runs
// on the next modal widget that opens, in order. A step runs from a timer of
// its own, so it may click a button that opens a further modal widget (whose
// own step then runs inside that widget's event loop). A modal widget that
// opens when no step is left is recorded in unexpected() and closed.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <functional>
#include <vector>

// What a message box showed.
struct BoxRecord
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
    QList<QAbstractButton *>::size_type buttonCount = 0;
    QString buttonText;
    bool applicationModal = false;
};

class ModalDriver : public QObject
{
public:
    using Step = std::function<void(QWidget *)>;

    ModalDriver()
    {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    ~ModalDriver() override { m_timer.stop(); }

    ModalDriver &then(const Step &step)
    {
        m_steps.push_back(step);
        return *this;
    }

    // Records the next message box and presses its only button.
    ModalDriver &acceptBox(BoxRecord *record = nullptr)
    {
        return then([record](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY2(box, qPrintable(QStringLiteral("expected a message box, got ") + w->metaObject()->className()));
            if (record) {
                record->title = box->windowTitle();
                record->text = box->text();
                record->icon = box->icon();
                record->parent = box->parentWidget();
                record->buttonCount = box->buttons().size();
                record->buttonText = box->buttons().isEmpty() ? QString() : box->buttons().first()->text();
                record->applicationModal = box->windowModality() == Qt::ApplicationModal;
            }
            QAbstractButton *ok = box->buttons().isEmpty() ? nullptr : box->buttons().first();
            if (ok)
                QTest::mouseClick(ok, Qt::LeftButton);
            else
                box->close();
        });
    }

    // Clicks a button of the next dialog, found by its text.
    ModalDriver &clickButton(const QString &text)
    {
        return then([text](QWidget *w) { clickButtonIn(w, text); });
    }

    // Closes the next dialog by its close box.
    ModalDriver &closeWindow()
    {
        return then([](QWidget *w) { w->close(); });
    }

    static QPushButton *findButton(QWidget *w, const QString &text)
    {
        const auto buttons = w->findChildren<QPushButton *>();
        for (QPushButton *b : buttons)
            if (b->text() == text && b->isVisible())
                return b;
        return nullptr;
    }

    static void clickButtonIn(QWidget *w, const QString &text)
    {
        QPushButton *b = findButton(w, text);
        QVERIFY2(b, qPrintable(QStringLiteral("no button \"%1\" in %2").arg(text, w->metaObject()->className())));
        QTest::mouseClick(b, Qt::LeftButton);
    }

    int remaining() const { return int(m_steps.size() - m_next); }
    QStringList unexpected() const { return m_unexpected; }
    // Class names of the modal widgets in the order they were handled.
    QStringList seen() const { return m_seen; }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w->property("qvDriverHandled").toBool())
            return;
        w->setProperty("qvDriverHandled", true);
        m_seen.append(QString::fromLatin1(w->metaObject()->className()));
        if (m_next >= m_steps.size()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            m_unexpected.append(QString::fromLatin1(w->metaObject()->className())
                                + QStringLiteral(": ") + (box ? box->text() : w->windowTitle()));
            QPointer<QWidget> guard(w);
            QTimer::singleShot(0, this, [guard] {
                if (guard)
                    guard->close();
            });
            return;
        }
        Step step = m_steps[m_next++];
        QPointer<QWidget> guard(w);
        QTimer::singleShot(0, this, [guard, step] {
            if (guard)
                step(guard);
        });
    }

    QTimer m_timer;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QStringList m_unexpected;
    QStringList m_seen;
};
