#pragma once

#include "platform/OleControl.h"

#include <QPointer>
#include <QWidget>

// The host panel for controls: black, its one control site filling it.
class OleFrame : public QWidget
{
    Q_OBJECT

public:
    explicit OleFrame(QWidget *parent, int style = 0);
};

// One control inside a frame, created by ProgID. The constructor throws
// OleError when the ProgID is not registered or the control cannot start;
// nothing of the site is left in the frame then.
class OleControlSite : public QWidget
{
    Q_OBJECT

public:
    OleControlSite(OleFrame *frame, int style, const QString &progId);
    ~OleControlSite() override;

    QString progId() const { return m_progId; }
    // Ole::S_OK when the control carried the verb out.
    int doVerb(int verb);
    OleControl *control() const { return m_control.get(); }

signals:
    // The control cannot play what it was given.
    void playbackFailed(const QString &message);

private:
    QString m_progId;
    std::unique_ptr<OleControl> m_control;
};

// Automation on a control site: names to dispatch identifiers, method calls
// and property access. Every call fails (no identifiers, no variant, false)
// once the site is gone or after dispose().
class OleAutomation
{
public:
    explicit OleAutomation(OleControlSite *site);
    ~OleAutomation() { dispose(); }
    OleAutomation(const OleAutomation &) = delete;
    OleAutomation &operator=(const OleAutomation &) = delete;

    // names[0] is the member; the result holds its identifier (one
    // element). No value when the member is unknown or more names than the
    // member are given (named arguments are not supported).
    std::optional<QList<int>> getIDsOfNames(const QStringList &names);
    std::optional<Variant> invoke(int id);
    std::optional<Variant> invoke(int id, const QList<Variant> &arguments);
    bool setProperty(int id, const Variant &value);
    std::optional<Variant> getProperty(int id);
    void dispose();

private:
    OleControl *control() const;

    QPointer<OleControlSite> m_site;
    bool m_disposed = false;
};
