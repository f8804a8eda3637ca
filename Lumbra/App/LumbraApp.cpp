#include "App/LumbraApp.h"

#include "App/ArrivalNotice.h"
#include "App/Autostart.h"
#include "App/PanelIcon.h"
#include "LumbraCore/Appcast.h"
#include "LumbraCore/NetworkErrors.h"
#include "Views/Accessibility.h"
#include "Views/CommandKeys.h"
#include "Views/ContentView.h"
#include "Views/ItemActions.h"
#include "Views/LoginView.h"
#include "Views/MainMenu.h"
#include "Views/SettingsView.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QSplitter>
#include <QStandardPaths>
#include <QVBoxLayout>

#ifndef LUMBRA_UPDATE_FEED
#define LUMBRA_UPDATE_FEED ""
#endif

QUrl LumbraApp::updateFeed()
{
    return QUrl(QStringLiteral(LUMBRA_UPDATE_FEED));
}

void LumbraApp::useIconTheme()
{
    static const QString desktopTheme = QIcon::themeName(); // as the desktop set it
    static const bool searchPathsSet = [] {
        // Desktops without an icon theme of their own still get the icons the views name.
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& path :
             QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                       QStandardPaths::LocateDirectory))
            if (!paths.contains(path)) paths << path;
        QIcon::setThemeSearchPaths(paths);
        return true;
    }();
    Q_UNUSED(searchPathsSet)
    // Breeze has light glyphs for dark windows; Adwaita's legacy icons have none, so a dark
    // GNOME desktop gets Breeze Dark rather than dark icons on a dark toolbar.
    const bool dark = Style::isDark(QApplication::palette());
    const QString breeze = dark ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
    QIcon::setFallbackThemeName(breeze);
    const bool followsPalette =
        desktopTheme.isEmpty() || desktopTheme == QLatin1StringView("hicolor") ||
        desktopTheme.startsWith(QLatin1StringView("breeze")) ||
        (dark && desktopTheme.startsWith(QLatin1StringView("Adwaita"), Qt::CaseInsensitive));
    QIcon::setThemeName(followsPalette ? breeze : desktopTheme);
}

bool LumbraApp::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Close) saveWindow();
    if (event->type() == QEvent::KeyPress &&
        openMenuOnShiftF10(watched, *static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::Show)
        if (auto* menu = qobject_cast<QMenu*>(watched)) Accessibility::claimEntries(menu);
    // The desktop switched between light and dark while Lumbra runs.
    if (watched == qApp &&
        (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
        useIconTheme();
    return QObject::eventFilter(watched, event);
}

LumbraApp::LumbraApp()
    : m_reader(std::make_unique<Reader>(
          ReaderEnvironment{&m_keychain, &m_browser, &m_activator, &m_clock, &m_preferences,
                            &m_folderChooser, session(), ReaderTiming{}, &m_notes}))
{
    // The desktop's proxy (or https_proxy and no_proxy) for the server, icons and updates.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    loadTlsInBackground();
    Style::loadFontsInBackground();
    useIconTheme();
    qApp->installEventFilter(this);
    m_window.setWindowTitle(tr("Lumbra"));
    m_window.setMinimumSize(minimumWindowSize);
    m_window.resize(1280, 800);
    m_actions = new ItemActions(*m_reader, &m_window);
    m_content = new ContentView(*m_reader, m_icons, *m_actions, &m_window);
    m_window.setCentralWidget(m_content);
    m_menu = new MainMenu(*m_reader, *m_actions, *m_content->sourceActions(), m_window);
    connect(m_menu->settings, &QAction::triggered, this, &LumbraApp::showSettings);
    connect(m_menu->checkForUpdates, &QAction::triggered, this, &LumbraApp::checkForUpdates);
    m_activator.setWindow(&m_window);
    m_folderChooser.setParent(&m_window);
    m_links = std::make_unique<LinkHandler>(*m_reader, m_activator);
    m_panel = std::make_unique<PanelIcon>(*m_reader, m_window, *m_menu->quit);
    m_arrivals = std::make_unique<ArrivalNotice>(
        *m_reader, m_window, [this](const Source& source) { m_panel->showOn(source); });
    connect(new Autostart(m_preferences, this), &Autostart::failed, this,
            &LumbraApp::autostartFailed);
    // Where the window was and how wide its columns were, as the user left them.
    m_window.restoreGeometry(m_preferences.windowGeometry());
    m_content->columns()->restoreState(m_preferences.columns());
    m_window.installEventFilter(this);
}

LumbraApp::~LumbraApp() = default;

void LumbraApp::saveWindow()
{
    m_preferences.setWindowGeometry(m_window.saveGeometry());
    m_preferences.setColumns(m_content->columns()->saveState());
}

QCoro::Task<> LumbraApp::start(bool inPanel)
{
    // The stored account is known before the window first shows: no login screen flashes.
    co_await m_reader->start();
    // Started with the session: the panel's icon alone, unless there is no panel or no
    // account to refresh.
    if (!inPanel || !m_panel->shown() || !m_reader->session().account()) m_window.show();
    m_links->startOpening();
}

void LumbraApp::autostartFailed(const QString& why, bool wanted)
{
    QMessageBox box(QMessageBox::Warning, tr("Start with the Desktop"),
                    wanted ? tr("Lumbra can't add itself to the programs that start when you "
                                "log in: %1")
                                 .arg(why)
                           : tr("Lumbra can't remove itself from the programs that start when "
                                "you log in: %1")
                                 .arg(why),
                    QMessageBox::Ok,
                    m_settingsDialog ? static_cast<QWidget*>(m_settingsDialog.data()) : &m_window);
    box.setTextFormat(Qt::PlainText);
    Style::keepTitleWhole(&box);
    box.exec();
}

void LumbraApp::showSettings()
{
    if (!m_settingsDialog) {
        // A dialog of the main window: opens over it, Escape closes it, and quitting Lumbra
        // closes it too.
        m_settingsDialog = new QDialog(&m_window);
        m_settingsDialog->setWindowTitle(tr("Lumbra Settings"));
        Style::keepTitleWhole(m_settingsDialog);
        auto* view = new SettingsView(*m_reader);
        QWidget* scrolling = view->scrollable();
        (new QVBoxLayout(m_settingsDialog))->addWidget(scrolling);
        m_settingsDialog->layout()->setContentsMargins(0, 0, 0, 0);
        m_settingsDialog->resize(scrolling->size());
        connect(view, &SettingsView::checkForUpdatesRequested, this, &LumbraApp::checkForUpdates);
        m_settingsDialog->addAction(m_menu->quit); // Ctrl+Q from here too
        connect(view, &SettingsView::logInRequested, this, [this] {
            m_settingsDialog->close();
            m_window.activateWindow();
            m_content->loginView()->serverField()->setFocus(Qt::OtherFocusReason);
        });
    }
    m_settingsDialog->show();
    m_settingsDialog->raise();
    m_settingsDialog->activateWindow();
    // Each opening starts at the top, as a new dialog does: Space is then never meant for
    // a control left focused last time.
    for (QWidget* next = m_settingsDialog->nextInFocusChain(); next != m_settingsDialog;
         next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(m_settingsDialog) &&
            next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            break;
        }
}

QCoro::Task<> LumbraApp::checkForUpdates()
{
    QCoro::Task<Appcast::Outcome> checking = Appcast::check(
        session(), updateFeed(), QApplication::applicationVersion(), m_lifetime.token());
    const QString outcome = Wording::updateCheck(co_await guarded(m_lifetime, std::move(checking)));
    Q_EMIT updateChecked(outcome);
    QWidget* parent = m_settingsDialog && m_settingsDialog->isActiveWindow()
                          ? static_cast<QWidget*>(m_settingsDialog.data())
                          : &m_window;
    // The feed's words are shown as they are, never as markup or a live link.
    QMessageBox box(QMessageBox::Information, tr("Check for Updates"), outcome, QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    Style::keepTitleWhole(&box);
    box.exec();
}
