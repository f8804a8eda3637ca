#pragma once

#include <QObject>

class QAction;
class QMainWindow;
class Reader;

// The menus and keyboard commands. Bare-key shortcuts act in the main window; a focused
// text field keeps its keys.
class ReaderCommands final : public QObject {
    Q_OBJECT

public:
    ReaderCommands(Reader& reader, QMainWindow& window);

    QAction* refresh = nullptr;
    QAction* settings = nullptr;
    QAction* next = nullptr;
    QAction* previous = nullptr;
    QAction* nextUnread = nullptr;
    QAction* star = nullptr;
    QAction* markRead = nullptr;
    QAction* markAllRead = nullptr;
    QAction* saveQuote = nullptr;
    QAction* openInBrowser = nullptr;
    QAction* checkForUpdates = nullptr;
    QAction* quit = nullptr;

private:
    void updateTitles();

    Reader& m_reader;
};
