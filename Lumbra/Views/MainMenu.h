#pragma once

#include <QObject>

class ItemActions;
class QAction;
class QMainWindow;
class Reader;
class SourceActions;

// The main window's menu bar: File (refresh, subscribing, settings, quit), Article (the item actions)
// and Help. Bare-key shortcuts act in the main window; a focused text field keeps its keys.
class MainMenu final : public QObject {
    Q_OBJECT

public:
    MainMenu(Reader& reader, ItemActions& actions, SourceActions& sources, QMainWindow& window);

    QAction* refresh = nullptr;
    QAction* settings = nullptr;
    QAction* checkForUpdates = nullptr;
    QAction* quit = nullptr;
};
