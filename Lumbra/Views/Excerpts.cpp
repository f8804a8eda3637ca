#include "Views/Excerpts.h"

#include "LumbraCore/Text.h"
#include "LumbraCore/Worker.h"

namespace {
constexpr qsizetype excerptLength = 160;
} // namespace

QString Excerpts::of(qint64 id, const std::optional<ArticleBody>& body)
{
    // Painting asks on every frame: the same bytes answer at once, and only a new list's
    // body is hashed, once, to see whether it changed.
    const char* bytes = body ? body->stored().constData() : nullptr;
    const auto known = m_excerpts.find(id);
    if (known != m_excerpts.end() && known->body == bytes && bytes) return known->text;
    const size_t bodyHash = body ? qHash(*body) : 0;
    if (known != m_excerpts.end() && known->bodyHash == bodyHash) {
        known->body = bytes;
        return known->text;
    }
    if (!body || body->size() < InlineBelow::excerptedBodyBytes) {
        const QString text =
            excerpt(body ? std::optional(body->html()) : std::nullopt, excerptLength);
        m_excerpts.insert(id, Excerpt{bytes, bodyHash, text});
        return text;
    }
    if (!m_pending.contains(id)) make(id, bodyHash, *body);
    return QString();
}

QCoro::Task<> Excerpts::make(qint64 id, size_t bodyHash, ArticleBody body)
{
    m_pending.insert(id);
    QCoro::Task<QString> making =
        onWorker([body = std::move(body)] { return excerpt(body.html(), excerptLength); });
    const QString text = co_await guarded(m_lifetime, std::move(making));
    m_pending.remove(id);
    m_excerpts.insert(id, Excerpt{nullptr, bodyHash, text});
    Q_EMIT made(id);
}

void Excerpts::keepOnly(const QList<Item>& items)
{
    QSet<qint64> listed;
    listed.reserve(items.size());
    for (const Item& item : items)
        listed.insert(item.id);
    m_excerpts.removeIf([&listed](const auto& entry) { return !listed.contains(entry.key()); });
    // The old list's bytes may be freed and their addresses reused: compare by hash again.
    for (Excerpt& kept : m_excerpts)
        kept.body = nullptr;
}
