#pragma once

#include <QStackedWidget>

class FeedIcons;
class ItemActions;
class LoginView;
class MessageView;
class QSplitter;
class Reader;
class SidebarView;
class SourceActions;
class TimelineView;

// The main window's content: the login screen while there is no account, otherwise the
// three columns (sources, articles, article) with the message banner over them.
class ContentView final : public QStackedWidget {
    Q_OBJECT

public:
    ContentView(Reader& reader, FeedIcons& icons, ItemActions& actions, QWidget* parent = nullptr);

    LoginView* loginView() const { return m_login; }
    // The page with the three columns and the banner over them.
    QWidget* readerPage() const { return m_page; }
    QSplitter* columns() const { return m_columns; }
    SidebarView* sidebar() const { return m_sidebar; }
    TimelineView* timeline() const { return m_timeline; }
    MessageView* banner() const { return m_banner; }
    SourceActions* sourceActions() const { return m_sourceActions; }

private:
    void showAccountState();

    Reader& m_reader;
    LoginView* m_login;
    QWidget* m_page;
    QSplitter* m_columns;
    SidebarView* m_sidebar;
    TimelineView* m_timeline;
    MessageView* m_banner;
    SourceActions* m_sourceActions;
};
