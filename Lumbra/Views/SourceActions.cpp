#include "Views/SourceActions.h"

#include "Reader/Reader.h"
#include "Views/AddFeedDialog.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

SourceActions::SourceActions(Reader& reader, QWidget& window)
    : QObject(&window), addFeed(new QAction(tr("Add Feed\u2026"), this)),
      newFolder(new QAction(tr("New Folder\u2026"), this)),
      rename(new QAction(tr("Rename\u2026"), this)),
      unsubscribe(new QAction(tr("Unsubscribe\u2026"), this)),
      deleteFolder(new QAction(tr("Delete Folder\u2026"), this)),
      moveTo(new QMenu(tr("Move To"), &window)), m_reader(reader), m_window(window)
{
    addFeed->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    addFeed->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    connect(addFeed, &QAction::triggered, this, [this] {
        auto* dialog = new AddFeedDialog(m_reader, &m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        m_dialog = dialog;
        dialog->open();
    });
    connect(newFolder, &QAction::triggered, this, [this] {
        askForName(tr("New Folder"), tr("Name of the new folder"), QString(),
                   [this](const QString& name) { m_reader.organiser().createFolder(name); });
    });
    connect(rename, &QAction::triggered, this, [this] {
        if (const auto feed = currentFeed())
            askForName(tr("Rename Feed"), tr("New name of the feed"), feed->title,
                       [this, id = feed->id](const QString& name) {
                           m_reader.organiser().renameFeed(id, name);
                       });
        else if (const auto folder = currentFolder())
            askForName(tr("Rename Folder"), tr("New name of the folder"), folder->name,
                       [this, id = folder->id](const QString& name) {
                           m_reader.organiser().renameFolder(id, name);
                       });
    });
    connect(unsubscribe, &QAction::triggered, this, &SourceActions::confirmUnsubscribe);
    connect(deleteFolder, &QAction::triggered, this, &SourceActions::confirmDeleteFolder);
    connect(moveTo, &QMenu::aboutToShow, this, &SourceActions::fillMoveTo);
    connect(&reader.timeline(), &Timeline::sourceChanged, this, &SourceActions::update);
    connect(&reader.subscriptions(), &Subscriptions::feedsChanged, this, &SourceActions::update);
    connect(&reader.subscriptions(), &Subscriptions::foldersChanged, this,
            &SourceActions::update);
    connect(&reader.session(), &Session::accountChanged, this, &SourceActions::update);
    update();
}

void SourceActions::fill(QMenu& menu) const
{
    menu.addAction(addFeed);
    menu.addAction(newFolder);
    menu.addSeparator();
    menu.addAction(rename);
    menu.addMenu(moveTo);
    menu.addAction(unsubscribe);
    menu.addAction(deleteFolder);
}

std::optional<Feed> SourceActions::currentFeed() const
{
    const std::optional<Source> source = m_reader.timeline().source();
    if (!source || source->kind() != Source::Kind::feed) return std::nullopt;
    return m_reader.subscriptions().feed(source->id());
}

std::optional<Folder> SourceActions::currentFolder() const
{
    const std::optional<Source> source = m_reader.timeline().source();
    if (!source || source->kind() != Source::Kind::folder) return std::nullopt;
    for (const Folder& folder : m_reader.subscriptions().folders())
        if (folder.id == source->id()) return folder;
    return std::nullopt;
}

void SourceActions::update()
{
    const bool loggedIn = m_reader.session().account().has_value();
    const bool feed = currentFeed().has_value();
    const bool folder = currentFolder().has_value();
    addFeed->setEnabled(loggedIn);
    newFolder->setEnabled(loggedIn);
    rename->setEnabled(feed || folder);
    moveTo->setEnabled(feed);
    moveTo->menuAction()->setEnabled(feed);
    unsubscribe->setEnabled(feed);
    deleteFolder->setEnabled(folder);
}

void SourceActions::fillMoveTo()
{
    moveTo->clear();
    const std::optional<Feed> feed = currentFeed();
    if (!feed) return;
    const auto add = [&](const QString& name, std::optional<qint64> folderId) {
        QAction* action = moveTo->addAction(name, this, [this, id = feed->id, folderId] {
            m_reader.organiser().moveFeed(id, folderId);
        });
        action->setCheckable(true);
        action->setChecked(feed->folderId == folderId);
    };
    add(tr("Top Level"), std::nullopt);
    moveTo->addSeparator();
    for (const Folder& folder : m_reader.subscriptions().folders())
        add(folder.name, folder.id);
}

void SourceActions::askForName(const QString& title, const QString& label, const QString& name,
                               std::function<void(const QString&)> done)
{
    auto* dialog = new QInputDialog(&m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextValue(name);
    connect(dialog, &QInputDialog::textValueSelected, this, std::move(done));
    m_dialog = dialog;
    dialog->open();
}

void SourceActions::confirmUnsubscribe()
{
    const std::optional<Feed> feed = currentFeed();
    if (!feed) return;
    auto* box = new QMessageBox(QMessageBox::Question, tr("Unsubscribe"),
                                tr("Unsubscribe from \u201C%1\u201D?").arg(feed->title),
                                QMessageBox::Cancel, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const qint64 unread = m_reader.subscriptions().count(Source::feed(feed->id));
    box->setInformativeText(unread > 0 ? tr("Its %Ln unread articles go with it.", nullptr,
                                            int(unread))
                                       : tr("Its articles go with it."));
    QPushButton* yes = box->addButton(tr("Unsubscribe"), QMessageBox::DestructiveRole);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(yes, &QPushButton::clicked, this,
            [this, id = feed->id] { m_reader.organiser().unsubscribe(id); });
    m_dialog = box;
    box->open();
}

void SourceActions::confirmDeleteFolder()
{
    const std::optional<Folder> folder = currentFolder();
    if (!folder) return;
    qsizetype feeds = 0;
    for (const Feed& feed : m_reader.subscriptions().feeds())
        feeds += feed.folderId == folder->id ? 1 : 0;
    auto* box = new QMessageBox(QMessageBox::Question, tr("Delete Folder"),
                                tr("Delete the folder \u201C%1\u201D?").arg(folder->name),
                                QMessageBox::Cancel, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const qint64 id = folder->id;
    if (feeds == 0) {
        QPushButton* yes = box->addButton(tr("Delete Folder"), QMessageBox::DestructiveRole);
        connect(yes, &QPushButton::clicked, this,
                [this, id] { m_reader.organiser().deleteFolder(id, true); });
    } else {
        box->setInformativeText(tr("It holds %Ln feeds. Keep them at the top level, or "
                                   "unsubscribe from them too?",
                                   nullptr, int(feeds)));
        QPushButton* keep = box->addButton(tr("Keep Feeds"), QMessageBox::AcceptRole);
        QPushButton* drop = box->addButton(tr("Unsubscribe Feeds"), QMessageBox::DestructiveRole);
        connect(keep, &QPushButton::clicked, this,
                [this, id] { m_reader.organiser().deleteFolder(id, true); });
        connect(drop, &QPushButton::clicked, this,
                [this, id] { m_reader.organiser().deleteFolder(id, false); });
    }
    box->setDefaultButton(QMessageBox::Cancel);
    m_dialog = box;
    box->open();
}
