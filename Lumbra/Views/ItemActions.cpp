#include "Views/ItemActions.h"

#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/Reader.h"
#include "Views/Accessibility.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLocale>
#include <QMenu>
#include <QUrlQuery>

// One action: what it says and shows for the current subject (none when nothing is
// selected), its key, whether it may run, and what it does.
struct ItemActions::Definition {
    std::function<QString(const std::optional<Item>&)> label;
    std::function<QString(const std::optional<Item>&)> icon;
    QKeySequence key;
    std::function<bool(const std::optional<Item>&)> enabled;
    std::function<void(const std::optional<Item>&)> run;
};

namespace {

template <typename T> std::function<T(const std::optional<Item>&)> always(T value)
{
    return [value](const std::optional<Item>&) { return value; };
}

bool hasItem(const std::optional<Item>& item)
{
    return item.has_value();
}

bool hasAddress(const std::optional<Item>& item)
{
    return item && articleUrl(*item);
}

QString withShortcut(const QString& label, const QKeySequence& key)
{
    if (key.isEmpty()) return label;
    return label + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + u')';
}

} // namespace

ItemActions::ItemActions(Reader& reader, QObject* parent) : QObject(parent), m_reader(reader)
{
    makeMoves();
    makeMarks();
    makeNoteActions();
    makeLinkActions();
    follow();
    update();
}

namespace {
// An action on the subject, when there is one.
template <typename Act> auto onSubject(Act act)
{
    return [act](const std::optional<Item>& item) {
        if (item) act(*item);
    };
}
} // namespace

void ItemActions::makeMoves()
{
    const auto call = [this](auto act) {
        return [this, act](const std::optional<Item>&) { act(m_reader.timeline()); };
    };
    // Moving needs rows to move through: none on the login screen or in an empty list.
    const auto listed = [this](const std::optional<Item>&) {
        return m_reader.timeline().search().shownCount() > 0;
    };
    next = make({always(tr("Next")), always(QStringLiteral("go-down")), QKeySequence(Qt::Key_J),
                 listed, call([](Timeline& t) { t.selectNext(); })});
    previous =
        make({always(tr("Previous")), always(QStringLiteral("go-up")), QKeySequence(Qt::Key_K),
              listed, call([](Timeline& t) { t.selectPrevious(); })});
    nextUnread =
        make({always(tr("Next Unread")), always(QStringLiteral("go-next")), QKeySequence(Qt::Key_N),
              listed, call([](Timeline& t) { t.selectNextUnread(); })});
}

void ItemActions::makeMarks()
{
    star = make({[](const std::optional<Item>& item) {
                     return item && item->starred ? tr("Unstar") : tr("Star");
                 },
                 [](const std::optional<Item>& item) {
                     return item && item->starred ? QStringLiteral("rating")
                                                  : QStringLiteral("rating-unrated");
                 },
                 QKeySequence(Qt::Key_S), hasItem, onSubject([this](const Item& item) {
                     m_reader.marker().toggleStarred(item);
                     Q_EMIT spoken(item.starred ? tr("Unstarred") : tr("Starred"));
                 })});
    markRead = make({[](const std::optional<Item>& item) {
                         return item && item->unread ? tr("Mark as Read") : tr("Mark as Unread");
                     },
                     [](const std::optional<Item>& item) {
                         return item && item->unread ? QStringLiteral("mail-mark-read")
                                                     : QStringLiteral("mail-mark-unread");
                     },
                     QKeySequence(Qt::Key_M), hasItem, onSubject([this](const Item& item) {
                         m_reader.marker().toggleRead(item);
                         Q_EMIT spoken(item.unread ? tr("Marked as read") : tr("Marked as unread"));
                     })});
    // With a search it marks the shown articles only, and says so.
    const auto shownUnread = [this] { return m_reader.timeline().search().shownUnreadCount(); };
    markAllRead =
        make({[this, shownUnread](const std::optional<Item>&) -> QString {
                  if (!m_reader.timeline().search().searching()) return tr("Mark All as Read");
                  if (shownUnread() == 0) return tr("Mark Shown as Read");
                  //: %n is how many shown articles are unread.
                  return tr("Mark %Ln Shown as Read", nullptr, int(shownUnread()));
              },
              always(QStringLiteral("checkmark")), QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_A),
              [this, shownUnread](const std::optional<Item>&) {
                  const std::optional<Source>& source = m_reader.timeline().source();
                  return source && sourceKind(*source).offersMarkAllRead && shownUnread() > 0;
              },
              [this, shownUnread](const std::optional<Item>&) {
                  const qsizetype marked = shownUnread();
                  m_reader.marker().markAllRead();
                  Q_EMIT spoken(tr("%Ln articles marked as read", nullptr, int(marked)));
              }});
}

void ItemActions::makeNoteActions()
{
    const auto hasNote = [this](const std::optional<Item>& item) {
        return item && !m_rowItem && m_reader.quotes().selectedNote().has_value();
    };
    saveQuote = make({always(tr("Save Quote to Obsidian")),
                      always(QStringLiteral("format-text-blockquote")),
                      QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_H), hasItem,
                      [this](const std::optional<Item>&) { m_reader.quotes().saveQuote(); }});
    openNote = make({always(tr("Open Note")), always(QStringLiteral("document-open")),
                     QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_O), hasNote,
                     [this](const std::optional<Item>&) { m_reader.quotes().openNote(); }});
    showNoteInFolder = make(
        {always(tr("Show Note in Folder")), always(QStringLiteral("folder-open")), QKeySequence(),
         hasNote, [this](const std::optional<Item>&) { m_reader.quotes().showNoteInFolder(); }});
}

void ItemActions::makeLinkActions()
{
    openInBrowser =
        make({always(tr("Open in Browser")), always(QStringLiteral("internet-web-browser")),
              QKeySequence(Qt::Key_B), hasAddress,
              onSubject([this](const Item& item) { m_reader.openInBrowser(item); })});
    copyLink = make({always(tr("Copy Link")), always(QStringLiteral("edit-copy")),
                     QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_C), hasAddress,
                     onSubject([this](const Item& item) {
                         const auto url = articleUrl(item);
                         if (!url) return;
                         QApplication::clipboard()->setText(url->toString());
                         m_reader.session().setMessage(
                             Notice{Notice::Kind::linkCopied, url->toDisplayString()});
                     })});
    mailLink =
        make({always(tr("Send Link by Email\u2026")), always(QStringLiteral("mail-send")),
              QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_E), hasAddress,
              onSubject([this](const Item& item) {
                  const auto url = articleUrl(item);
                  if (!url) return;
                  QUrl mailto(QStringLiteral("mailto:"));
                  QUrlQuery query;
                  query.addQueryItem(QStringLiteral("body"), url->toString(QUrl::FullyEncoded));
                  mailto.setQuery(query);
                  m_reader.openUrl(mailto);
              })});
}

void ItemActions::follow()
{
    const Timeline& timeline = m_reader.timeline();
    for (auto signal :
         {&Timeline::selectedItemChanged, &Timeline::itemsChanged, &Timeline::sourceChanged})
        connect(&timeline, signal, this, &ItemActions::update);
    connect(&timeline.search(), &TimelineSearch::shownChanged, this, &ItemActions::update);
    connect(&m_reader.quotes(), &Quotes::selectedNoteChanged, this, &ItemActions::update);
    // Marking thousands read changes thousands of items: only the subject's change, and
    // the unread count behind "Mark All as Read", need the actions to follow.
    connect(&timeline, &Timeline::itemChanged, this, [this](qsizetype index) {
        const std::optional<Item> item = subject();
        const QList<Item>& items = m_reader.timeline().items();
        if (item && index < items.size() && items[index].id == item->id) {
            update();
        } else if (!m_markAllReadDue) {
            // Once for all the items one change marks, not once each: every new count is a
            // new text for the toolbar's button to lay out.
            m_markAllReadDue = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_markAllReadDue = false;
                    m_looks.value(markAllRead)();
                },
                Qt::QueuedConnection);
        }
    });
}

QAction* ItemActions::make(const Definition& definition)
{
    auto* action = new QAction(this);
    action->setShortcut(definition.key);
    // Bare keys act in the window, so a focused text field keeps its keys.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, run = definition.run] { run(subject()); });
    m_looks.insert(action, [this, action, definition] {
        const std::optional<Item> item = subject();
        const QString label = definition.label(item);
        action->setText(label);
        action->setToolTip(withShortcut(label, definition.key));
        action->setIcon(QIcon::fromTheme(definition.icon(item)));
        action->setEnabled(definition.enabled(item));
    });
    return action;
}

std::optional<Item> ItemActions::subject() const
{
    if (m_rowItem) return m_rowItem;
    if (m_focusedRow)
        if (std::optional<Item> row = m_focusedRow()) return row;
    if (const Item* selected = m_reader.timeline().selectedItem()) return *selected;
    return std::nullopt;
}

void ItemActions::update()
{
    for (const auto& follow : std::as_const(m_looks))
        follow();
}

QList<QAction*> ItemActions::articleMenu() const
{
    return {next,    previous,  nextUnread, nullptr,          star,          markRead, markAllRead,
            nullptr, saveQuote, openNote,   showNoteInFolder, openInBrowser, copyLink, mailLink};
}

QList<QAction*> ItemActions::toolbar() const
{
    return {star, markRead, saveQuote, openNote, openInBrowser};
}

QList<QAction*> ItemActions::rowMenu() const
{
    return {markRead, star, nullptr, openInBrowser, copyLink};
}

QList<QAction*> ItemActions::shareMenu() const
{
    return {copyLink, mailLink};
}

void ItemActions::addTo(QMenu* menu, const QList<QAction*>& actions)
{
    for (QAction* action : actions) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
}

void ItemActions::popUpRowMenu(const Item& item, const QPoint& globalPosition, QWidget* parent)
{
    QMenu menu(parent);
    addTo(&menu, rowMenu());
    // A click opens it with its button still down; the Menu key without.
    if (QGuiApplication::mouseButtons() == Qt::NoButton) Accessibility::openOnFirstEntry(&menu);
    m_rowItem = item;
    update();
    menu.exec(globalPosition);
    m_rowItem.reset();
    update();
}
