#pragma once

#include <QTabBar>
#include <QTabWidget>

// A tab bar whose tabs each carry their own title weight: a tab drawn in
// bold keeps its bold title until it is set back, whichever tab is current.
class TabFolderBar : public QTabBar
{
    Q_OBJECT
public:
    explicit TabFolderBar(QWidget *parent = nullptr);

    void setTabBold(int index, bool bold);
    bool isTabBold(int index) const;

protected:
    QSize tabSizeHint(int index) const override;
    void paintEvent(QPaintEvent *event) override;
};

// The window's tab folders. Each page is the tab's control; deleting the page
// removes its tab. selectedByUser is emitted when the current tab changes
// because of the user (a click, the keyboard, closing a tab), not while the
// window itself adds, removes or selects tabs inside a Quiet scope.
class TabFolder : public QTabWidget
{
    Q_OBJECT
public:
    explicit TabFolder(QWidget *parent = nullptr);

    TabFolderBar *folderBar() const { return m_bar; }

    void setTabBold(QWidget *page, bool bold);
    bool isTabBold(QWidget *page) const;
    // Gives the page's tab a close button; a click on it deletes the page.
    void setTabClosable(QWidget *page);
    QWidget *closeButton(QWidget *page) const;

    // While one exists, changes of the current tab are the window's own.
    class Quiet
    {
    public:
        explicit Quiet(TabFolder *folder) : m_folder(folder) { ++m_folder->m_quiet; }
        ~Quiet() { --m_folder->m_quiet; }
        Quiet(const Quiet &) = delete;
        Quiet &operator=(const Quiet &) = delete;

    private:
        TabFolder *m_folder;
    };
    bool isQuiet() const { return m_quiet > 0; }

signals:
    void selectedByUser(int index);

private:
    TabFolderBar *m_bar;
    int m_quiet = 0;
};
