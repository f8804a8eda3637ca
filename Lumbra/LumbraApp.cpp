#include "LumbraApp.h"

#include "ContentView.h"
#include "ReaderCommands.h"
#include "SettingsView.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QStandardPaths>

#ifndef LUMBRA_UPDATE_FEED
#define LUMBRA_UPDATE_FEED ""
#endif

QUrl LumbraApp::updateFeed()
{
    return QUrl(QStringLiteral(LUMBRA_UPDATE_FEED));
}

void LumbraApp::useIconTheme()
{
    // Desktops without an icon theme of their own still get the icons the views name.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& path :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(path)) paths << path;
    QIcon::setThemeSearchPaths(paths);
    QIcon::setFallbackThemeName(QStringLiteral("breeze"));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1StringView("hicolor"))
        QIcon::setThemeName(QStringLiteral("breeze"));
}

LumbraApp::LumbraApp()
    : m_reader(std::make_unique<Reader>(ReaderEnvironment{
          &m_keychain, &m_browser, &m_activator, &m_clock, &m_preferences, &m_folderChooser,
          HttpSession{&m_network, requestTimeout}, ReaderTiming{}})),
      m_updates(m_network, updateFeed(), QApplication::applicationVersion())
{
    useIconTheme();
    m_window.setWindowTitle(QStringLiteral("Lumbra"));
    m_window.setMinimumSize(900, 560);
    m_window.resize(1280, 800);
    m_content = new ContentView(*m_reader, m_preferences, m_icons, &m_window);
    m_window.setCentralWidget(m_content);
    m_commands = new ReaderCommands(*m_reader, m_window);
    connect(m_commands->settings, &QAction::triggered, this, &LumbraApp::showSettings);
    connect(m_commands->checkForUpdates, &QAction::triggered, this,
            [this] { m_updates.checkForUpdates(&m_window); });
    m_activator.setWindow(&m_window);
    m_folderChooser.setParent(&m_window);
    m_links = std::make_unique<LinkHandler>(*m_reader, m_activator);
}

LumbraApp::~LumbraApp() = default;

QCoro::Task<> LumbraApp::start()
{
    // The stored account is known before the window first shows: no login screen flashes.
    co_await m_reader->start();
    m_window.show();
}

void LumbraApp::showSettings()
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsView>(*m_reader, m_updates);
        m_settingsWindow->setWindowTitle(QStringLiteral("Lumbra Settings"));
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}
