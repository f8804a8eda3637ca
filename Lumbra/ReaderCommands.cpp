#include "ReaderCommands.h"

#include "Reader.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>

ReaderCommands::ReaderCommands(Reader& reader, QMainWindow& window)
    : QObject(&window), m_reader(reader)
{
    QMenuBar* bar = window.menuBar();
    const auto add = [&](QMenu* menu, const QString& title, const QKeySequence& key, auto slot) {
        QAction* action = menu->addAction(title);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const auto withSelection = [this](void (Reader::*act)(const Item&)) {
        return [this, act] {
            if (const auto item = m_reader.selectedItem()) (m_reader.*act)(*item);
        };
    };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    refresh = add(file, QStringLiteral("Refresh"), QKeySequence(Qt::CTRL | Qt::Key_R),
                  [this] { m_reader.refresh(); });
    file->addSeparator();
    settings = file->addAction(QStringLiteral("Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    quit = add(file, QStringLiteral("Quit"), QKeySequence::Quit, [&window] { window.close(); });

    QMenu* article = bar->addMenu(QStringLiteral("&Article"));
    next = add(article, QStringLiteral("Next"), QKeySequence(Qt::Key_J),
               [this] { m_reader.selectNext(); });
    previous = add(article, QStringLiteral("Previous"), QKeySequence(Qt::Key_K),
                   [this] { m_reader.selectPrevious(); });
    nextUnread = add(article, QStringLiteral("Next Unread"), QKeySequence(Qt::Key_N),
                     [this] { m_reader.selectNextUnread(); });
    article->addSeparator();
    star = add(article, QStringLiteral("Star"), QKeySequence(Qt::Key_S),
               withSelection(&Reader::toggleStarred));
    markRead = add(article, QStringLiteral("Mark as Unread"), QKeySequence(Qt::Key_M),
                   withSelection(&Reader::toggleRead));
    markAllRead =
        add(article, QStringLiteral("Mark All as Read"),
            QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_A), [this] { m_reader.markAllRead(); });
    article->addSeparator();
    saveQuote =
        add(article, QStringLiteral("Save Quote to Obsidian"),
            QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_H), [this] { m_reader.saveQuote(); });
    openInBrowser = add(article, QStringLiteral("Open in Browser"), QKeySequence(Qt::Key_B),
                        withSelection(&Reader::openInBrowser));

    // Linux applications keep About and update checks in the Help menu.
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    checkForUpdates = help->addAction(QStringLiteral("Check for Updates\u2026"));

    for (auto signal : {&Reader::selectedIdChanged, &Reader::itemsChanged, &Reader::linkedChanged})
        connect(&reader, signal, this, &ReaderCommands::updateTitles);
    connect(&reader, &Reader::itemChanged, this, &ReaderCommands::updateTitles);
    updateTitles();
}

void ReaderCommands::updateTitles()
{
    const std::optional<Item> item = m_reader.selectedItem();
    star->setText(item && item->starred ? QStringLiteral("Unstar") : QStringLiteral("Star"));
    markRead->setText(item && item->unread ? QStringLiteral("Mark as Read")
                                           : QStringLiteral("Mark as Unread"));
}
