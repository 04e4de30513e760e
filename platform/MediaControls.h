#pragma once

#include "platform/OleControl.h"

#include <QPointer>

#include <vector>

class FullScreenHost;
class MiniControlBar;
class MpvWidget;
class QVBoxLayout;

// Gives widget the black background the player surfaces have and a vertical
// layout without margins or spacing, which it returns.
QVBoxLayout *fillBlack(QWidget *widget);

// The common part of the player controls: a picture on black with an
// optional control bar under it, over one media engine, and a table of
// automation members.
class EngineControl : public OleControl
{
public:
    ~EngineControl() override;

    QWidget *widget() const override { return m_widget; }
    int doVerb(int verb) override;
    std::optional<int> dispatchId(const QString &name) const override;
    std::optional<Variant> invoke(int id, const QList<Variant> &arguments) override;
    std::optional<Variant> getProperty(int id) override;
    bool setProperty(int id, const Variant &value) override;

    MpvWidget *video() const { return m_video; }
    MiniControlBar *controlBar() const { return m_controls; }
    bool isFullScreen() const;

protected:
    // Throws OleError when the engine cannot start.
    EngineControl(QWidget *site, const char *controlName);

    struct Member
    {
        QString name;
        int id;
        bool property;
    };
    void addMember(const QString &name, int id, bool property);

    // The control's own behaviour per member; no value for a failure.
    virtual std::optional<Variant> call(int id, const QList<Variant> &arguments) = 0;
    virtual std::optional<Variant> read(int id) = 0;
    virtual bool write(int id, const Variant &value) = 0;

    void showControlBar(bool shown);
    void setFullScreen(bool on);
    // Opens the address, or remembers it for a later play.
    void playAddress(const QString &address, bool start);
    void resume();

private:
    const Member *member(int id) const;

    QPointer<QWidget> m_widget;
    MpvWidget *m_video = nullptr;
    MiniControlBar *m_controls = nullptr;
    FullScreenHost *m_fullScreen = nullptr;
    std::vector<Member> m_members;
};

// The RealPlayer control, "rmocx.RealPlayer G2 Control.1". Properties:
// AutoStart (boolean; a new Source starts at once when set), Controls
// ("ImageWindow": the picture alone; any other value adds the control bar),
// Source (the stream address). Methods: DoPlay, DoStop, DoPause, CanStop
// (boolean: something is loaded that stop would end), GetFullScreen,
// SetFullScreen, SetOriginalSize (back from full screen), SetMaintainAspect
// (one boolean).
class RealPlayerControl : public EngineControl
{
public:
    static constexpr const char *PROG_ID = "rmocx.RealPlayer G2 Control.1";
    static std::unique_ptr<OleControl> create(QWidget *site);

    explicit RealPlayerControl(QWidget *site);

protected:
    std::optional<Variant> call(int id, const QList<Variant> &arguments) override;
    std::optional<Variant> read(int id) override;
    bool write(int id, const Variant &value) override;

private:
    bool m_autoStart = false;
    QString m_controls = QStringLiteral("All");
    QString m_source;
};

// The QuickTime control, "QuickTime.QuickTime". Methods: SetURL (one text:
// opens and plays it), Play (plays on, or again from the start after the
// end), Stop (halts where it is).
class QuickTimeControl : public EngineControl
{
public:
    static constexpr const char *PROG_ID = "QuickTime.QuickTime";
    static std::unique_ptr<OleControl> create(QWidget *site);

    explicit QuickTimeControl(QWidget *site);

protected:
    std::optional<Variant> call(int id, const QList<Variant> &arguments) override;
    std::optional<Variant> read(int id) override;
    bool write(int id, const Variant &value) override;
};
