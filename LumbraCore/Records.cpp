#include "LumbraCore/Records.h"

#include "LumbraCore/SourceKinds.h"

namespace {

// An absent optional hashes differently from every present value.
template <typename T>
void combine(QtPrivate::QHashCombine& hash, size_t& seed, const std::optional<T>& value)
{
    seed = hash(seed, value.has_value());
    if (value) seed = hash(seed, *value);
}

} // namespace

size_t qHash(const Folder& folder, size_t seed) noexcept
{
    return qHashMulti(seed, folder.id, folder.name);
}

size_t qHash(const Feed& feed, size_t seed) noexcept
{
    QtPrivate::QHashCombine hash;
    seed = hash(seed, feed.id);
    seed = hash(seed, feed.title);
    combine(hash, seed, feed.url);
    combine(hash, seed, feed.link);
    combine(hash, seed, feed.faviconLink);
    combine(hash, seed, feed.folderId);
    combine(hash, seed, feed.unreadCount);
    return seed;
}

size_t qHash(const Item& item, size_t seed) noexcept
{
    QtPrivate::QHashCombine hash;
    seed = hash(seed, item.id);
    seed = hash(seed, item.feedId);
    combine(hash, seed, item.title);
    combine(hash, seed, item.url);
    combine(hash, seed, item.author);
    combine(hash, seed, item.pubDate);
    combine(hash, seed, item.body);
    seed = hash(seed, item.unread);
    seed = hash(seed, item.starred);
    return seed;
}

size_t qHash(const Source& source, size_t seed) noexcept
{
    QtPrivate::QHashCombine hash;
    seed = hash(seed, static_cast<int>(source.kind()));
    return hash(seed, source.id()); // 0 for the trays
}

Source Source::of(Kind kind, qint64 id)
{
    return Source(kind, sourceKind(kind).carriesId ? id : 0);
}
