#include "Reader/Reader.h"

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/SourceKinds.h"
#include "Reader/Background.h"
#include "Reader/QuoteWriter.h"
#include "Reader/ServerChanges.h"

#include <QPointer>
#include <limits>

Reader::Reader(ReaderEnvironment environment, QObject* parent)
    : QObject(parent), m_env(environment),
      m_changes(std::make_unique<ServerChanges>(
          m_lifetime.get_token(), [this](const QString& message) { setMessage(message); })),
      m_quotes(
          std::make_unique<QuoteWriter>(*m_env.preferences, *m_env.folderChooser, *m_env.clock))
{
    Sync::loadCollationInBackground();
    m_refreshTimer.setInterval(m_env.timing.refreshInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &Reader::refresh);
    connect(this, &Reader::selectedIdChanged, this, [this] {
        // The last article's note is not this one's, even for the moment the look-up takes.
        assign(m_selectedNote, std::optional<QString>(), &Reader::selectedNoteChanged);
        findSelectedNote();
    });
}

Reader::~Reader()
{
    m_lifetime.request_stop();
    if (m_loginTask) m_loginTask->request_stop();
}

QCoro::Task<> Reader::start()
{
    QPointer<Reader> self(this);
    std::optional<Account> stored = co_await m_env.accounts->load();
    if (!self) co_return;
    setAccount(std::move(stored));
    refresh();
    m_refreshTimer.start();
}

namespace {
const QString remoteImagesKey = QStringLiteral("loadRemoteImages");
}

bool Reader::remoteImages() const
{
    return m_env.preferences->string(remoteImagesKey) != QStringLiteral("false");
}

void Reader::setRemoteImages(bool load)
{
    if (load == remoteImages()) return;
    m_env.preferences->setString(remoteImagesKey,
                                 load ? QStringLiteral("true") : QStringLiteral("false"));
    Q_EMIT remoteImagesChanged();
}

NewsAPI Reader::api() const
{
    return NewsAPI(*m_account, m_env.session);
}

void Reader::setMessage(std::optional<QString> message)
{
    assign(m_message, std::move(message), &Reader::messageChanged);
}

void Reader::replaceFolders(QList<Folder> folders)
{
    releaseInBackground(std::exchange(m_folders, std::move(folders)));
    Q_EMIT foldersChanged();
}

void Reader::replaceFeeds(Sync::FeedList feeds)
{
    releaseInBackground(std::exchange(m_feeds, std::move(feeds.feeds)));
    releaseInBackground(std::exchange(m_feedIndex, std::move(feeds.index)));
    Q_EMIT feedsChanged();
}

void Reader::setFeeds(QList<Feed> feeds)
{
    if (feeds == m_feeds) return;
    // Rows look their feed up on every paint: by id, not by a walk through the list.
    const bool sameIds = feeds.size() == m_feeds.size() &&
                         std::equal(feeds.cbegin(), feeds.cend(), m_feeds.cbegin(),
                                    [](const Feed& a, const Feed& b) { return a.id == b.id; });
    m_feeds = std::move(feeds);
    if (!sameIds) {
        m_feedIndex.clear();
        m_feedIndex.reserve(m_feeds.size());
        for (qsizetype i = 0; i < m_feeds.size(); ++i)
            m_feedIndex.insert(m_feeds[i].id, i);
    }
    Q_EMIT feedsChanged();
}

std::optional<Feed> Reader::feed(qint64 id) const
{
    const auto it = m_feedIndex.constFind(id);
    if (it == m_feedIndex.cend()) return std::nullopt;
    return m_feeds[*it];
}

QString Reader::title(const Source& source) const
{
    const SourceKind& kind = sourceKind(source);
    if (!kind.namedByServer) return kind.title;
    if (source.kind() == Source::Kind::folder) {
        for (const Folder& folder : m_folders)
            if (folder.id == source.id()) return folder.name;
    } else if (const auto found = feed(source.id())) {
        return found->title;
    }
    return kind.title;
}

qint64 Reader::count(const Source& source) const
{
    using Scope = SourceKind::Scope;
    const Scope scope = sourceKind(source).scope;
    if (scope == Scope::starred) return m_starredCount;
    qint64 sum = 0;
    for (const Feed& feed : m_feeds) {
        const bool counts = scope == Scope::everything ||
                            (scope == Scope::folder && feed.folderId == source.id()) ||
                            (scope == Scope::feed && feed.id == source.id());
        // Saturates: a server may send counts whose sum does not fit.
        if (counts && __builtin_add_overflow(sum, feed.unreadCount.value_or(0), &sum))
            return std::numeric_limits<qint64>::max();
    }
    return sum;
}
