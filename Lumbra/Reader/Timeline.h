#pragma once

#include "LumbraCore/Records.h"
#include "Reader/ItemMerge.h"
#include "Reader/Lifetime.h"
#include "Reader/TimelineSearch.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

class Clock;
class Session;
class Subscriptions;

// The items of the chosen source, newest first: loading them and choosing among them. Its
// search narrows the rows the list shows.
class Timeline final : public QObject {
    Q_OBJECT

public:
    Timeline(Session& session, const Subscriptions& subscriptions, const Clock& clock,
             QObject* parent = nullptr);
    ~Timeline() override;
    Q_DISABLE_COPY_MOVE(Timeline)

    const std::optional<Source>& source() const { return m_source; }
    const QList<Item>& items() const { return m_items; }
    // Whether the last `itemsChanged` replaced the list by one whose items differ only in
    // their flags (see TimelineSearch::sameTexts): nothing drawn from the titles changed.
    bool onlyFlagsChanged() const { return m_onlyFlagsChanged; }
    bool loadingItems() const { return m_loadingItems; }
    // How much of the item list has arrived, in thousandths; -1 while the server has not
    // said how long it is, or nothing loads.
    int loadingPermille() const { return m_loadingPermille; }
    // Whether the last load of the source failed, so the list may lack what it holds.
    bool loadFailed() const { return m_loadFailed; }
    const std::optional<qint64>& selectedId() const { return m_selectedId; }
    // The selected article: a listed one, or the one a link brought (`linked`).
    const Item* selectedItem() const;
    const std::optional<Item>& linked() const { return m_linked; }
    // The words that narrow the list, and the rows they leave shown.
    TimelineSearch& search() { return m_search; }
    const TimelineSearch& search() const { return m_search; }

    // Loads the items of the current source; a result for a source no longer shown is
    // dropped.
    QCoro::Task<> load();

    void selectSource(std::optional<Source> source);
    // Selects a source just made, unsearched: under an earlier search it would look empty.
    void selectNewSource(const Source& source);
    void select(std::optional<qint64> id);
    // Choosing the selected article again (a click on its row) chooses it once more, as
    // choosing it did: after a mark-read the server refused, or after Mark as Unread.
    void selectAgain();
    void selectNext();
    void selectPrevious();
    void selectNextUnread();
    // Shows an article a link brought, whether or not it is listed, and selects it.
    void showLinked(Item item);

    // Sets the given flags on the item with that id, listed or linked.
    void updateItem(qint64 id, std::optional<bool> unread, std::optional<bool> starred);
    // The same for each of `ids`, in one walk through the list: an undone "Mark All as
    // Read" names tens of thousands.
    void updateItems(const QSet<qint64>& ids, std::optional<bool> unread,
                     std::optional<bool> starred);
    // The same for items()[index]: a look-up by id per item is slow for long lists.
    void updateItemAt(qsizetype index, std::optional<bool> unread, std::optional<bool> starred);
    // Takes the articles of `feeds` out of the list at once: their feeds were unsubscribed.
    void dropFeeds(const QSet<qint64>& feeds);
    // Empties the list, the search and the selection (the account is gone).
    void clear();

Q_SIGNALS:
    void sourceChanged();
    void itemsChanged();
    void loadingItemsChanged();
    void loadingPermilleChanged();
    void loadFailedChanged();
    void selectedIdChanged();
    // The selected article, or any of its fields, changed.
    void selectedItemChanged();
    void linkedChanged();
    // One item's flags changed in place; `itemsChanged` means the list was replaced.
    void itemChanged(qsizetype index);
    // The user chose the listed article items()[index] (it is marked read for that).
    void chosen(qsizetype index);

private:
    void setSelectedId(std::optional<qint64> id);
    void setLinked(std::optional<Item> item);
    void setLoadingItems(bool loading);
    void setLoadingPermille(int permille);
    void setLoadFailed(bool failed);
    void setItems(QList<Item> items);
    void replaceItems(QList<Item> items); // setItems without comparing first
    void findSelectedIndex();
    void moveSelection(int step);
    // Brings the shown list up to date with only what changed. Not `enough` when a full load
    // is needed instead (one is due, or asking for the changes failed); `items` are then the
    // changes the full load is to take too.
    struct Changes {
        bool enough = false;
        QList<Item> items;
        // Asking failed: changes from this time on were not seen, so the next refresh asks
        // again from here (articles kept as read here may have changed elsewhere).
        std::optional<qint64> missedSince;
    };
    QCoro::Task<Changes> loadChanges(Source source, Account account, std::stop_token stop);
    // Shows what `build` makes of the shown list, made on a worker thread, unless the source
    // or account changed meanwhile.
    using Build = std::function<QList<Item>(const QList<Item>&)>;
    QCoro::Task<> showBuilt(Source source, Account account, Build build);
    bool stillShowing(const Source& source, const Account& account) const;

    Session& m_session;
    const Subscriptions& m_subscriptions;
    const Clock& m_clock;
    std::optional<Source> m_source = Source::allUnread();
    QList<Item> m_items;
    std::optional<ItemMerge::ItemsMark> m_itemsMark;
    bool m_loadingItems = false;
    int m_loads = 0; // loads under way; only the newest one's results are shown
    std::shared_ptr<std::stop_source> m_loadStop = std::make_shared<std::stop_source>();
    int m_loadingPermille = -1;
    bool m_loadFailed = false;
    bool m_onlyFlagsChanged = false;
    std::optional<qint64> m_selectedId;
    qsizetype m_selectedIndex = -1; // in m_items; -1 when unlisted or none
    std::optional<Item> m_linked;
    TimelineSearch m_search{m_items, m_subscriptions};

    Lifetime m_lifetime; // last: it ends first
};
