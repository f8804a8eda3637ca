#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Environment.h"
#include "Reader/LoginState.h"
#include "Reader/Sync.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

class LumbraLink;
class NewsAPI;
class QuoteWriter;
class ServerChanges;

// The one object holding the application's state: the account and login, the News lists,
// the selection and the texts that report failures. Lives on the main thread; every
// property has a change signal that fires only when the value really changes. Views read
// it and call its operations.
class Reader final : public QObject {
    Q_OBJECT

public:
    explicit Reader(ReaderEnvironment environment, QObject* parent = nullptr);
    ~Reader() override;
    Q_DISABLE_COPY_MOVE(Reader)

    // Restores the stored account, refreshes at once when there is one and starts the
    // periodic refresh. Awaited before the main window first shows.
    QCoro::Task<> start();

    const std::optional<Account>& account() const { return m_account; }
    const LoginState& login() const { return m_login; }
    const QList<Folder>& folders() const { return m_folders; }
    const QList<Feed>& feeds() const { return m_feeds; }
    qint64 starredCount() const { return m_starredCount; }
    bool refreshing() const { return m_refreshing; }
    const std::optional<QString>& error() const { return m_error; }
    // The last refresh failed because the server refused the app password.
    bool passwordRefused() const { return m_passwordRefused; }
    const std::optional<QString>& message() const { return m_message; }
    const std::optional<Source>& source() const { return m_source; }
    const QList<Item>& items() const { return m_items; }
    bool loadingItems() const { return m_loadingItems; }
    // How much of the item list has arrived, in thousandths; -1 while the server has not
    // said how long it is, or nothing loads.
    int loadingPermille() const { return m_loadingPermille; }
    const std::optional<qint64>& selectedId() const { return m_selectedId; }
    const std::optional<Item>& linked() const { return m_linked; }
    // Whether article pages load images, styles and fonts from elsewhere ("Load remote
    // images" in Settings; on unless the user turned it off).
    bool remoteImages() const;
    void setRemoteImages(bool load);

    // Search: words that narrow the current source's list, kept across refreshes and
    // sources. Titles, authors, feed titles and article text are looked in, with case and
    // accents folded.
    const QString& query() const { return m_query; }
    void setQuery(QString query);
    // The query's folded words (none without a search), for highlighting.
    const QList<QByteArray>& queryWords() const { return m_words; }
    // The rows the timeline lists: every item, or the items matching the query.
    bool searching() const { return m_matches.has_value(); }
    qsizetype shownCount() const { return m_matches ? m_matches->size() : m_items.size(); }
    const Item& shownItem(qsizetype row) const
    {
        return m_items[m_matches ? (*m_matches)[row] : row];
    }
    // The row of items()[index]; -1 when the search hides it.
    qsizetype rowOfItem(qsizetype index) const;
    // How many of the shown rows are unread; kept as flags change.
    qsizetype shownUnreadCount() const { return m_shownUnread; }
    // Whether every listed item's search text is made (long lists take a moment).
    bool searchReady() const { return !m_preparing; }

    // Fetches folders and feeds (at most one refresh at a time), then the current items.
    void refresh();
    // Loads the items of the current source; a result for a source no longer shown is
    // dropped.
    QCoro::Task<> loadItems();
    void startLogin(const QString& server);
    void cancelLogin();
    void logOut();
    // After the server refused the password: forgets the account and starts the browser
    // login for the same server.
    void logInAgain();

    void setMessage(std::optional<QString> message);

    // Selection (the sidebar and timeline bind to these).
    void selectSource(std::optional<Source> source);
    void select(std::optional<qint64> id);
    // Choosing the selected article again (a click on its row) marks it read, as choosing
    // it did: after a mark-read the server refused, or after Mark as Unread.
    void selectAgain();
    void selectNext();
    void selectPrevious();
    void selectNextUnread();

    // Derived values.
    std::optional<Item> selectedItem() const;
    std::optional<Feed> feed(qint64 id) const;
    QString title(const Source& source) const;
    qint64 count(const Source& source) const;

    // Item actions: the local state changes at once, the server is told in the background
    // and the change is undone when it refuses.
    void toggleRead(const Item& item);
    void toggleStarred(const Item& item);
    void markAllRead();
    void openInBrowser(const Item& item);
    // The article's web address, when it has one that a browser can open.
    static std::optional<QUrl> articleUrl(const Item& item);
    // Hands a web or mail address to the default browser or mail program; anything else is
    // refused with a message.
    void openUrl(const QUrl& url);
    // Resolves an item link whose item is not in `items`.
    QCoro::Task<> openLink(LumbraLink link);

    // Sets the given flags on the item with that id, in `items` and as `linked`.
    void updateItem(qint64 id, std::optional<bool> unread, std::optional<bool> starred);
    // Moves a feed's unread count by `delta`, never below 0.
    void adjustUnread(qint64 feedId, qint64 delta);
    // Moves several feeds' counts at once (feed id → delta).
    void adjustUnread(const QHash<qint64, qint64>& deltas);

    // Quotes. The article view registers its page; the Reader only keeps it weakly.
    void setWebView(std::weak_ptr<TextSelectionSource> page) { m_webView = std::move(page); }
    QCoro::Task<> saveQuote();
    QCoro::Task<> writeQuote(QString text, Item item);
    // The selected article's note in the vault, once it has one.
    const std::optional<QString>& selectedNote() const { return m_selectedNote; }
    void openNote();
    std::optional<QString> chooseVault();
    void storeVault(const std::optional<QString>& path);
    std::optional<QString> storedVault() const;

Q_SIGNALS:
    void accountChanged();
    void loginChanged();
    void foldersChanged();
    void feedsChanged();
    void starredCountChanged();
    void refreshingChanged();
    void errorChanged();
    void messageChanged();
    void sourceChanged();
    void itemsChanged();
    void loadingItemsChanged();
    void loadingPermilleChanged();
    void selectedIdChanged();
    void linkedChanged();
    void selectedNoteChanged();
    void queryChanged();
    // The search shows other rows of the same list; `itemsChanged` means a new list.
    void shownChanged();
    void remoteImagesChanged();
    // One item's flags changed in place; `itemsChanged` means the list was replaced.
    void itemChanged(qsizetype index);

private:
    // Stores `value` and emits `changed` only when it differs from what was there.
    template <typename T> void assign(T& member, T value, void (Reader::*changed)())
    {
        if (member == value) return;
        member = std::move(value);
        Q_EMIT(this->*changed)();
    }

    void setAccount(std::optional<Account> account)
    {
        assign(m_account, std::move(account), &Reader::accountChanged);
    }
    void setLogin(LoginState login) { assign(m_login, std::move(login), &Reader::loginChanged); }
    void setFolders(QList<Folder> folders)
    {
        assign(m_folders, std::move(folders), &Reader::foldersChanged);
    }
    void setFeeds(QList<Feed> feeds);
    // New lists from the server, already known to differ from the shown ones.
    void replaceFolders(QList<Folder> folders);
    void replaceFeeds(Sync::FeedList feeds);
    void setStarredCount(qint64 count)
    {
        assign(m_starredCount, count, &Reader::starredCountChanged);
    }
    void setRefreshing(bool refreshing)
    {
        assign(m_refreshing, refreshing, &Reader::refreshingChanged);
    }
    void setError(std::optional<QString> error, bool passwordRefused = false)
    {
        if (m_passwordRefused != passwordRefused) {
            m_passwordRefused = passwordRefused;
            m_error = std::nullopt; // told below, once
        }
        assign(m_error, std::move(error), &Reader::errorChanged);
    }
    void forgetAccount();
    void setItems(QList<Item> items);
    void replaceItems(QList<Item> items); // setItems without comparing first
    void setLoadingPermille(int permille)
    {
        assign(m_loadingPermille, permille, &Reader::loadingPermilleChanged);
    }
    void setLoadingItems(bool loading)
    {
        assign(m_loadingItems, loading, &Reader::loadingItemsChanged);
    }
    void setSelectedId(std::optional<qint64> id)
    {
        assign(m_selectedId, id, &Reader::selectedIdChanged);
    }

    NewsAPI api() const;
    QCoro::Task<> refreshTask(NewsAPI api);
    // Brings the shown list up to date with only what changed; false when a full load is
    // needed instead (none is due, or asking for the changes failed).
    QCoro::Task<bool> loadChanges(const NewsAPI& client, Source source);
    // Shows what `build` makes of the shown list, made on a worker thread, unless the source
    // or account changed meanwhile.
    QCoro::Task<> showBuilt(Source source, Account account,
                            std::function<QList<Item>(const QList<Item>&)> build);
    void refreshFailed(std::exception_ptr failure);
    QCoro::Task<> loginTask(QString server, std::stop_token stop);
    QCoro::Task<> revokeTask(Account account);
    void markSelectedRead(qint64 id);
    // The rows matching the query; among the shown rows when the query only narrowed the
    // one of `narrowedFrom`'s words.
    void updateMatches(std::optional<QList<QByteArray>> narrowedFrom);
    // Makes the search text of every listed item, off the main thread for long lists.
    QCoro::Task<> prepareSearch();
    void markShownRead();
    void updateItemAt(qsizetype index, std::optional<bool> unread, std::optional<bool> starred);
    void countShownUnread();
    // Looks for the selected article's note, off the main thread.
    QCoro::Task<> findSelectedNote();
    void moveSelection(int step);
    // Marks the item read or unread here and tells the server, undoing it when refused.
    void setRead(const Item& item, bool read);

    ReaderEnvironment m_env;

    std::optional<Account> m_account;
    LoginState m_login = LoginState::idle();
    QList<Folder> m_folders;
    QList<Feed> m_feeds;
    QHash<qint64, qsizetype> m_feedIndex; // feed id → its index in m_feeds
    qint64 m_starredCount = 0;
    bool m_refreshing = false;
    std::optional<QString> m_error;
    bool m_passwordRefused = false;
    std::optional<QString> m_message;
    std::optional<Source> m_source = Source::allUnread();
    QList<Item> m_items;
    std::optional<Sync::ItemsMark> m_itemsMark;
    bool m_loadingItems = false;
    int m_loadingPermille = -1;
    std::optional<qint64> m_selectedId;
    std::shared_ptr<std::stop_source> m_loginTask; // cancels the running login
    QTimer m_refreshTimer;
    std::optional<Item> m_linked;
    std::weak_ptr<TextSelectionSource> m_webView;
    std::optional<QString> m_selectedNote;
    QString m_query;
    QList<QByteArray> m_words;
    std::optional<QList<qsizetype>> m_matches; // indexes into m_items, ascending
    struct SearchText {
        size_t source = 0; // hash of what it was made from
        QByteArray text;
    };
    QHash<qint64, SearchText> m_searchTexts; // by item id
    QList<QByteArray> m_itemTexts;           // the same, in the order of m_items
    // Rows of recent searches of this list, so erasing what was typed is instant.
    QHash<QList<QByteArray>, QList<qsizetype>> m_recentMatches;
    void alignSearchTexts();
    qsizetype m_shownUnread = 0;
    bool m_preparing = false;
    bool m_prepareAgain = false;

    // Requested when the Reader goes away, so its requests in flight end at once.
    std::stop_source m_lifetime;
    std::unique_ptr<ServerChanges> m_changes;
    std::unique_ptr<QuoteWriter> m_quotes;
};
