// Narrowing the listed items to those matching what the user typed.

#include "Reader/TimelineSearch.h"

#include "LumbraCore/Search.h"
#include "LumbraCore/Worker.h"
#include "Reader/Subscriptions.h"

#include <algorithm>

namespace {

qsizetype textBytes(const QList<Item>& items)
{
    qsizetype bytes = 0;
    for (const Item& item : items)
        bytes += (item.title ? item.title->size() : 0) + (item.body ? item.body->size() : 0);
    return bytes;
}

// Of each item, what its search text is made of, and nothing the window's thread changes.
QList<Item> textParts(const QList<Item>& items)
{
    QList<Item> parts;
    parts.reserve(items.size());
    for (const Item& item : items) {
        Item& part = parts.emplace_back();
        part.id = item.id;
        part.feedId = item.feedId;
        part.title = item.title;
        part.author = item.author;
        part.body = item.body;
    }
    return parts;
}

size_t sourceOf(const Item& item, const QString& feedTitle)
{
    return qHashMulti(0, item.title.value_or(QString()), item.author.value_or(QString()),
                      feedTitle);
}

// The indexes among `candidates` (all of `texts` when none) whose text has every word.
QList<qsizetype> matching(const QList<QByteArray>& texts, const QList<QByteArray>& words,
                          const std::optional<QList<qsizetype>>& candidates)
{
    const qsizetype count = candidates ? candidates->size() : texts.size();
    return inTwoHalves(count, InlineBelow::scannedTexts, [&](qsizetype from, qsizetype to) {
        QList<qsizetype> found;
        for (qsizetype at = from; at < to; ++at) {
            const qsizetype index = candidates ? (*candidates)[at] : at;
            if (index < texts.size() && Search::matches(texts[index], words)) found << index;
        }
        return found;
    });
}

// Shared strings, the usual case after a refresh, are told equal without reading them.
bool sameString(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a && b && a->constData() == b->constData() && a->size() == b->size()) return true;
    return a == b;
}

} // namespace

bool TimelineSearch::sameTexts(const QList<Item>& before, const QList<Item>& after)
{
    if (before.size() != after.size()) return false;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const Item& a = before[i];
        const Item& b = after[i];
        if (a.id != b.id || a.feedId != b.feedId || !sameString(a.title, b.title) ||
            !sameString(a.author, b.author) || a.body != b.body)
            return false;
    }
    return true;
}

TimelineSearch::TimelineSearch(const QList<Item>& items, const Subscriptions& subscriptions,
                               QObject* parent)
    : QObject(parent), m_items(items), m_subscriptions(subscriptions)
{
}

void TimelineSearch::setQuery(QString query)
{
    if (query == m_query) return;
    QList<QByteArray> words = Search::words(query);
    m_query = std::move(query);
    Q_EMIT queryChanged();
    if (words == m_words) return;
    // Typing on narrows what is already shown: every earlier word lives on in a new one.
    const bool narrowing =
        m_matches && std::all_of(m_words.cbegin(), m_words.cend(), [&](const QByteArray& old) {
            return std::any_of(words.cbegin(), words.cend(),
                               [&](const QByteArray& word) { return word.contains(old); });
        });
    const QList<QByteArray> before = std::exchange(m_words, std::move(words));
    updateMatches(narrowing ? std::optional(before) : std::nullopt);
    Q_EMIT shownChanged();
}

qsizetype TimelineSearch::rowOfItem(qsizetype index) const
{
    if (index < 0 || !m_matches) return index;
    const auto it = std::lower_bound(m_matches->cbegin(), m_matches->cend(), index);
    return it != m_matches->cend() && *it == index ? it - m_matches->cbegin() : -1;
}

void TimelineSearch::listReplaced()
{
    ++m_listsReplaced;
    // Texts of the old rows: prepareTexts lines them up with the new list on a worker, or
    // updateMatches does here when a search needs them first.
    releaseInBackground(std::exchange(m_inOrder, {}));
    m_recentMatches.clear();
    updateMatches(std::nullopt);
}

void TimelineSearch::unreadChanged(qsizetype index, bool unread)
{
    if (rowOfItem(index) >= 0) m_shownUnread += unread ? 1 : -1;
}

void TimelineSearch::alignTexts()
{
    QList<QByteArray> texts;
    texts.reserve(m_items.size());
    for (const Item& item : m_items)
        texts << m_texts.value(item.id).text; // none yet: empty, matching nothing
    releaseInBackground(std::exchange(m_inOrder, std::move(texts)));
    m_recentMatches.clear(); // rows of another list
}

void TimelineSearch::countShownUnread()
{
    m_shownUnread = 0;
    for (qsizetype row = 0; row < shownCount(); ++row)
        m_shownUnread += shownItem(row).unread;
}

void TimelineSearch::updateMatches(std::optional<QList<QByteArray>> narrowedFrom)
{
    struct Counted {
        TimelineSearch* search;
        ~Counted() { search->countShownUnread(); }
    } counted{this};
    if (m_words.isEmpty()) {
        m_matches.reset();
        return;
    }
    if (m_inOrder.size() != m_items.size()) alignTexts();
    const auto recent = m_recentMatches.constFind(m_words);
    if (recent != m_recentMatches.cend()) {
        m_matches = *recent;
        return;
    }
    // An item whose text is still being made shows once it is ready (its text is empty).
    if (narrowedFrom && m_matches) {
        // The shown rows have the earlier words already; only the new ones need looking for.
        QList<QByteArray> added;
        for (const QByteArray& word : std::as_const(m_words))
            if (!narrowedFrom->contains(word)) added << word;
        m_matches = matching(m_inOrder, added, m_matches);
    } else {
        m_matches = matching(m_inOrder, m_words, std::nullopt);
    }
    if (m_recentMatches.size() >= 32) m_recentMatches.clear();
    m_recentMatches.insert(m_words, *m_matches);
}

QCoro::Task<> TimelineSearch::prepareTexts()
{
    if (m_preparing) {
        m_prepareAgain = true;
        co_return;
    }
    m_preparing = true;
    do {
        m_prepareAgain = false;
        QHash<qint64, QString> feedTitles;
        for (const Feed& feed : m_subscriptions.feeds())
            feedTitles.insert(feed.id, feed.title);
        // Texts of unchanged items are kept; only new and changed ones are made. They come
        // back by id and in the order of the list they were made for.
        struct Made {
            QHash<qint64, Text> texts;
            QList<QByteArray> inOrder;
        };
        const quint64 listsReplaced = m_listsReplaced;
        const qsizetype bytes = textBytes(m_items);
        // While a worker holds the list, an article marked read copies all of it on the
        // window's thread (a third of a second at 100,000 items). After a refresh, what the
        // texts are made of is copied first, at the usual priority, and the list let go; a
        // first load, with no texts known yet, keeps it rather than hold a second list at
        // its peak.
        QList<Item> from = m_items;
        if (m_texts.size() >= m_items.size() / 2 && bytes >= InlineBelow::foldedTextBytes) {
            auto copy = [items = std::exchange(from, {})] { return textParts(items); };
            QCoro::Task<QList<Item>> copying = onWorker(std::move(copy));
            from = co_await guarded(m_lifetime, std::move(copying));
        }
        QCoro::Task<Made> making = unhurriedWhenLarge(
            bytes, InlineBelow::foldedTextBytes,
            [items = std::move(from), known = m_texts, titles = std::move(feedTitles)] {
                Made made;
                made.texts.reserve(items.size());
                made.inOrder.reserve(items.size());
                for (const Item& item : items) {
                    const QString feedTitle = titles.value(item.feedId);
                    const size_t source = sourceOf(item, feedTitle);
                    const auto old = known.constFind(item.id);
                    const Text text =
                        old != known.cend() && old->source == source && old->body == item.body
                            ? *old
                            : Text{source, item.body, Search::textOf(item, feedTitle)};
                    made.texts.insert(item.id, text);
                    made.inOrder << text.text;
                }
                return made;
            });
        Made made = co_await guarded(m_lifetime, std::move(making));
        releaseInBackground(std::exchange(m_texts, std::move(made.texts)));
        // Flags changing meanwhile leave the list's order as it was.
        if (m_listsReplaced == listsReplaced) {
            releaseInBackground(std::exchange(m_inOrder, std::move(made.inOrder)));
            m_recentMatches.clear(); // found before these texts were in
        } else {
            alignTexts();
        }
        if (!m_words.isEmpty()) {
            updateMatches(std::nullopt);
            Q_EMIT shownChanged();
        }
    } while (m_prepareAgain);
    m_preparing = false;
}
