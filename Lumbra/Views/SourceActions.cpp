#include "Views/SourceActions.h"

#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/AddFeedDialog.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include "LumbraCore/Errors.h"
#include "LumbraCore/Opml.h"
#include "LumbraCore/Worker.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QTimer>
#include <atomic>
#include <variant>

SourceActions::SourceActions(Reader& reader, QWidget& window)
    : QObject(&window), addFeed(new QAction(tr("Add Feed\u2026"), this)),
      newFolder(new QAction(tr("New Folder\u2026"), this)),
      rename(new QAction(tr("Rename\u2026"), this)),
      unsubscribe(new QAction(tr("Unsubscribe\u2026"), this)),
      deleteFolder(new QAction(tr("Delete Folder\u2026"), this)),
      importList(new QAction(tr("Import Subscriptions\u2026"), this)),
      exportList(new QAction(tr("Export Subscriptions\u2026"), this)),
      moveTo(new QMenu(tr("Move To"), &window)), m_reader(reader), m_window(window)
{
    addFeed->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    addFeed->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    connect(addFeed, &QAction::triggered, this, [this] {
        auto* dialog = new AddFeedDialog(m_reader, &m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        open(dialog);
    });
    connect(newFolder, &QAction::triggered, this, [this] {
        askForName(tr("New Folder"), tr("Name of the new folder"), QString(),
                   [this](const QString& name) { makeFolder(name); });
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
    connect(importList, &QAction::triggered, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(&m_window, tr("Import Subscriptions"), QDir::homePath(),
                                         tr("Subscription lists (*.opml *.xml);;All files (*)"));
        if (!path.isEmpty()) importFrom(path);
    });
    connect(exportList, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            &m_window, tr("Export Subscriptions"),
            QDir::home().filePath(QStringLiteral("subscriptions.opml")),
            tr("Subscription lists (*.opml)"));
        if (!path.isEmpty()) exportTo(path);
    });
    connect(&reader.organiser(), &Organiser::imported, this, &SourceActions::reportImport);
    connect(&reader.timeline(), &Timeline::sourceChanged, this, &SourceActions::update);
    connect(&reader.subscriptions(), &Subscriptions::feedsChanged, this, &SourceActions::update);
    connect(&reader.subscriptions(), &Subscriptions::foldersChanged, this, &SourceActions::update);
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

void SourceActions::open(QDialog* dialog)
{
    Style::keepTitleWhole(dialog);
    m_dialog = dialog;
    dialog->open();
}

void SourceActions::tell(const QString& title, const QString& text, const QString& details)
{
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText); // names come from the file and the server
    if (!details.isEmpty()) box->setDetailedText(details);
    open(box);
}

QCoro::Task<> SourceActions::importFrom(QString path)
{
    struct Reading {
        std::atomic<qsizetype> done = 0;
        std::atomic<bool> cancelled = false;
    };
    const auto reading = std::make_shared<Reading>();
    const QString name = QFileInfo(path).fileName();
    const qint64 size = std::max<qint64>(1, QFileInfo(path).size());
    auto* progress = new QProgressDialog(tr("Reading \u201C%1\u201D\u2026").arg(name), tr("Cancel"),
                                         0, 100, &m_window);
    progress->setWindowTitle(tr("Import Subscriptions"));
    Style::keepTitleWhole(progress);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setAutoReset(false);
    progress->setMinimumDuration(500); // a list of a few hundred feeds shows none
    auto* poll = new QTimer(progress);
    connect(poll, &QTimer::timeout, progress, [progress, reading, size] {
        progress->setValue(int(std::min<qint64>(99, reading->done * 100 / size)));
    });
    poll->start(100);
    connect(progress, &QProgressDialog::canceled, progress,
            [reading] { reading->cancelled = true; });
    const QPointer<QProgressDialog> shown(progress);

    using Read = std::variant<Opml::List, QString>;
    auto read = [path, reading]() -> Read {
        QFile file(path);
        try {
            if (!file.open(QIODevice::ReadOnly)) throw DecodingError(QString(), file.errorString());
            return Opml::read(file.read(Opml::readLimit + 1), [reading](qsizetype done) {
                reading->done = done;
                return !reading->cancelled;
            });
        } catch (const DecodingError& error) {
            return error.problem();
        }
    };
    QCoro::Task<Read> task = onWorker(std::move(read));
    const Read result = co_await guarded(m_lifetime, std::move(task));
    const bool cancelled = reading->cancelled; // closing the dialog below cancels it too
    if (shown) shown->close();
    if (cancelled) co_return;
    if (const QString* problem = std::get_if<QString>(&result)) {
        tell(
            tr("Import Subscriptions"),
            tr("\u201C%1\u201D is no subscription list Lumbra can read (%2).").arg(name, *problem));
        co_return;
    }
    confirmImport(std::get<Opml::List>(result));
}

void SourceActions::confirmImport(const Opml::List& list)
{
    QSet<QString> folders;
    int known = 0;
    for (const Opml::Entry& entry : std::as_const(list.entries)) {
        known += m_reader.subscriptions().feedAt(QUrl(entry.xmlUrl, QUrl::StrictMode)) ? 1 : 0;
        if (!entry.folder.isEmpty()) folders.insert(entry.folder.simplified().toCaseFolded());
    }
    for (const QString& folder : std::as_const(list.emptyFolders))
        folders.insert(folder.simplified().toCaseFolded());
    auto* box = new QMessageBox(
        QMessageBox::Question, tr("Import Subscriptions"),
        tr("The list holds %Ln feeds", nullptr, int(list.entries.size())) + QStringLiteral(" ") +
            tr("in %Ln folders.", nullptr, int(folders.size())) + QStringLiteral(" ") +
            tr("%Ln of them are subscribed already.", nullptr, known),
        QMessageBox::Cancel, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    QPushButton* start = box->addButton(tr("Import"), QMessageBox::AcceptRole);
    box->setDefaultButton(start);
    connect(start, &QPushButton::clicked, this, [this, list] {
        auto* progress =
            new QProgressDialog(tr("Adding feeds\u2026"), tr("Stop"), 0,
                                int(list.entries.size() + list.emptyFolders.size()), &m_window);
        progress->setAttribute(Qt::WA_DeleteOnClose);
        progress->setWindowTitle(tr("Import Subscriptions"));
        Style::keepTitleWhole(progress);
        progress->setMinimumDuration(0);
        Organiser& organiser = m_reader.organiser();
        connect(&organiser, &Organiser::importProgress, progress, &QProgressDialog::setValue);
        connect(&organiser, &Organiser::imported, progress, &QProgressDialog::close);
        connect(progress, &QProgressDialog::canceled, &organiser, &Organiser::stopImport);
        organiser.importFeeds(list);
    });
    open(box);
}

void SourceActions::reportImport(const ImportReport& report)
{
    QStringList lines;
    for (const auto& [address, failure] : report.failed)
        lines << address + QStringLiteral(": ") + Wording::subscribeFailure(address, failure);
    for (const QString& address : report.skipped)
        lines << address + QStringLiteral(": ") +
                     tr("not a web address (http:// or https://), so it was not sent");
    QStringList sentences{tr("%Ln feeds added", nullptr, report.added) + QStringLiteral(", ") +
                          tr("%Ln already subscribed", nullptr, report.alreadyThere) +
                          QStringLiteral(", ") +
                          tr("%Ln not added", nullptr, int(report.failed.size())) + u'.'};
    if (report.renamed > 0)
        sentences << tr("%Ln kept the title the list gives them.", nullptr, report.renamed);
    if (report.foldersMade > 0) sentences << tr("%Ln folders made.", nullptr, report.foldersMade);
    if (report.flattened > 0)
        sentences << tr("%Ln were in folders within folders and went into the outermost one: "
                        "News has one level of folders.",
                        nullptr, report.flattened);
    if (!report.skipped.isEmpty())
        sentences << tr("%Ln skipped: no web address.", nullptr, int(report.skipped.size()));
    tell(report.stopped ? tr("Import Stopped") : tr("Import Finished"), sentences.join(u' '),
         lines.join(u'\n'));
}

void SourceActions::makeFolder(const QString& name)
{
    const std::optional<Folder> existing = m_reader.subscriptions().folderNamed(name);
    if (!existing) {
        m_reader.organiser().createFolder(name);
        return;
    }
    // News would make a second folder of the same name; the user means the first.
    auto* box = new QMessageBox(QMessageBox::Information, tr("New Folder"),
                                tr("There is a folder \u201C%1\u201D already.").arg(existing->name),
                                QMessageBox::Cancel, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    QPushButton* show = box->addButton(tr("Show It"), QMessageBox::AcceptRole);
    box->setDefaultButton(show);
    connect(show, &QPushButton::clicked, this,
            [this, name] { m_reader.organiser().createFolder(name); });
    open(box);
}

void SourceActions::exportTo(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(Opml::write(m_reader.subscriptions().folders(),
                               m_reader.subscriptions().feeds())) < 0 ||
        !file.commit())
        tell(tr("Export Subscriptions"),
             tr("Couldn't write \u201C%1\u201D (%2).").arg(path, file.errorString()));
    else
        m_reader.session().setMessage(Notice(Notice::Kind::exported, path));
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
    importList->setEnabled(loggedIn);
    exportList->setEnabled(loggedIn);
    rename->setEnabled(feed || folder);
    moveTo->setEnabled(feed);
    moveTo->menuAction()->setEnabled(feed);
    unsubscribe->setEnabled(feed);
    deleteFolder->setEnabled(folder);
    // Delete removes whichever the source is: one key on two actions would be ambiguous.
    unsubscribe->setShortcut(feed ? QKeySequence::Delete : QKeySequence());
    deleteFolder->setShortcut(folder ? QKeySequence::Delete : QKeySequence());
}

void SourceActions::fillMoveTo()
{
    moveTo->clear();
    const std::optional<Feed> feed = currentFeed();
    if (!feed) return;
    const auto add = [&](const QString& name, std::optional<qint64> folderId) {
        QAction* action = moveTo->addAction(
            Style::menuText(name), this,
            [this, id = feed->id, title = feed->title, name, folderId] {
                m_reader.organiser().moveFeed(id, folderId);
                // The row moves where it is seen; a screen reader user
                // hears where.
                //: %1 is the feed, %2 the folder (or "Top Level") it went to.
                Accessibility::say(&m_window, tr("%1 moved to %2").arg(title, name));
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
    open(dialog);
}

void SourceActions::confirmUnsubscribe()
{
    const std::optional<Feed> feed = currentFeed();
    if (!feed) return;
    auto* box = new QMessageBox(QMessageBox::Question, tr("Unsubscribe"),
                                tr("Unsubscribe from \u201C%1\u201D?").arg(feed->title),
                                QMessageBox::Cancel, &m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText); // the server's names, shown as they are
    const qint64 unread = m_reader.subscriptions().count(Source::feed(feed->id));
    box->setInformativeText(unread > 0
                                ? tr("Its %Ln unread articles go with it.", nullptr, int(unread))
                                : tr("Its articles go with it."));
    QPushButton* yes = box->addButton(tr("Unsubscribe"), QMessageBox::DestructiveRole);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(yes, &QPushButton::clicked, this,
            [this, id = feed->id] { m_reader.organiser().unsubscribe(id); });
    open(box);
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
    box->setTextFormat(Qt::PlainText); // the server's names, shown as they are
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
    open(box);
}
