#pragma once

#include "App/DesktopEnvironment.h"
#include "App/LinkHandler.h"
#include "LumbraCore/Certificates.h"
#include "Reader/Background.h"
#include "Reader/Keychain.h"
#include "Reader/Lifetime.h"
#include "Reader/Reader.h"
#include "Views/FeedIcons.h"

#include <QDialog>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSettings>
#include <QSize>
#include <memory>
#include <stop_token>

class ArrivalNotice;
class ContentView;
class PanelIcon;
class ItemActions;
class MainMenu;
class SettingsView;

// The application: the one Reader for the life of the process, the main window with its
// menus, the Settings window, item links and the update check.
class LumbraApp final : public QObject {
    Q_OBJECT

public:
    // Small enough to tile to half of a 1440-pixel screen, or a 1280 × 720 one.
    static constexpr QSize minimumWindowSize{680, 480};
    // The address of the update feed, fixed when the build is configured; may be empty.
    static QUrl updateFeed();
    // Picks icons that stay visible on the current palette; again whenever it changes.
    static void useIconTheme();
    // The Settings dialog, once it was opened.
    QDialog* settingsDialog() const { return m_settingsDialog; }

    LumbraApp();
    ~LumbraApp() override;

    // Restores the stored account, then shows the main window; with `inPanel` only the
    // panel's icon, where a panel shows it.
    QCoro::Task<> start(bool inPanel = false);

    Reader& reader() { return *m_reader; }
    QMainWindow& window() { return m_window; }
    ContentView& content() { return *m_content; }
    MainMenu& menu() { return *m_menu; }
    ItemActions& actions() { return *m_actions; }
    LinkHandler& links() { return *m_links; }
    PanelIcon& panel() { return *m_panel; }
    ArrivalNotice& arrivals() { return *m_arrivals; }
    void showSettings();

Q_SIGNALS:
    // The text an update check ended with, also shown to the user.
    void updateChecked(const QString& outcome);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The network as the Reader, icons and update check use it: one set of trusted
    // certificates for all.
    HttpSession session()
    {
        HttpSession shared{&m_network, requestTimeout};
        shared.pins = m_pins;
        shared.listLimit = itemListReplyLimitFor(physicalMemory());
        return shared;
    }
    void saveWindow();
    void autostartFailed(const QString& why, bool wanted);
    QCoro::Task<> checkForUpdates();

    QNetworkAccessManager m_network;
    std::shared_ptr<CertificatePins> m_pins = std::make_shared<CertificatePins>();
    Keychain m_keychain;
    DesktopBrowser m_browser;
    DesktopNoteOpener m_notes;
    MainWindowActivator m_activator;
    SystemClock m_clock;
    QSettings m_settings;
    Settings m_preferences{m_settings};
    DialogFolderChooser m_folderChooser;
    std::unique_ptr<Reader> m_reader;
    FeedIcons m_icons{session()};
    QMainWindow m_window;
    ItemActions* m_actions;
    ContentView* m_content;
    MainMenu* m_menu;
    std::unique_ptr<LinkHandler> m_links;
    // They observe the Reader and the window: they go first.
    std::unique_ptr<PanelIcon> m_panel;
    std::unique_ptr<ArrivalNotice> m_arrivals;
    QPointer<QDialog> m_settingsDialog; // of the main window: it goes when Lumbra quits
    Lifetime m_lifetime;                // last: it ends first
};
