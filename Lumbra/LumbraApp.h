#pragma once

#include "DesktopEnvironment.h"
#include "FeedIcons.h"
#include "Keychain.h"
#include "LinkHandler.h"
#include "Reader.h"
#include "UpdateController.h"

#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QSettings>
#include <memory>

class ContentView;
class ReaderCommands;
class SettingsView;

// The application: the one Reader for the life of the process, the main window with its
// menus, the Settings window, item links and the update check.
class LumbraApp final : public QObject {
    Q_OBJECT

public:
    // The address of the update feed, fixed when the build is configured; may be empty.
    static QUrl updateFeed();
    static void useIconTheme();

    LumbraApp();
    ~LumbraApp() override;

    // Restores the stored account, then shows the main window.
    QCoro::Task<> start();

    Reader& reader() { return *m_reader; }
    QMainWindow& window() { return m_window; }
    ContentView& content() { return *m_content; }
    ReaderCommands& commands() { return *m_commands; }
    LinkHandler& links() { return *m_links; }
    void showSettings();

private:
    QNetworkAccessManager m_network;
    Keychain m_keychain;
    DesktopBrowser m_browser;
    MainWindowActivator m_activator;
    SystemClock m_clock;
    QSettings m_settings;
    SettingsPreferences m_preferences{m_settings};
    DialogFolderChooser m_folderChooser;
    std::unique_ptr<Reader> m_reader;
    FeedIcons m_icons{m_network};
    UpdateController m_updates;
    QMainWindow m_window;
    ContentView* m_content;
    ReaderCommands* m_commands;
    std::unique_ptr<LinkHandler> m_links;
    std::unique_ptr<QWidget> m_settingsWindow;
};
