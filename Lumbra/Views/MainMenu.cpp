#include "Views/MainMenu.h"

#include "Reader/Reader.h"
#include "Views/ItemActions.h"
#include "Views/SourceActions.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>

MainMenu::MainMenu(Reader& reader, ItemActions& actions, SourceActions& sources,
                   QMainWindow& window)
    : QObject(&window)
{
    QMenuBar* bar = window.menuBar();

    QMenu* file = bar->addMenu(tr("&File"));
    refresh = file->addAction(QIcon::fromTheme(QStringLiteral("view-refresh")), tr("Refresh"),
                              &reader.session(), &Session::refresh);
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    file->addSeparator();
    file->addAction(sources.addFeed);
    file->addAction(sources.newFolder);
    file->addAction(sources.importList);
    file->addAction(sources.exportList);
    file->addSeparator();
    settings = file->addAction(tr("Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    // Every window, not only this one, and Lumbra with them, even while it keeps running in
    // the panel.
    quit = file->addAction(tr("Quit"), qApp, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    // Ctrl+Q even where the platform theme names no Quit key.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (!quitKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q)))
        quitKeys.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcuts(quitKeys);

    ItemActions::addTo(bar->addMenu(tr("&Article")), actions.articleMenu());

    // Linux applications keep About and update checks in the Help menu.
    QMenu* help = bar->addMenu(tr("&Help"));
    checkForUpdates = help->addAction(tr("Check for Updates\u2026"));
}
