#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The item link "tavo://lumbra/item/<id>", with "?u=" and the article's address in
// unpadded URL-safe Base64 when there is one.
QString tavoLink(qint64 itemId, const std::optional<QString>& url);

// A parsed item link. `url` is present only when the link carried an http or https address.
class LumbraLink {
public:
    LumbraLink(qint64 itemId, std::optional<QUrl> url) : m_itemId(itemId), m_url(std::move(url)) {}

    // Accepts "tavo://lumbra/item/<id>" and "lumbra://item/<id>"; absent for anything else.
    static std::optional<LumbraLink> parse(const QUrl& link);

    qint64 itemId() const { return m_itemId; }
    const std::optional<QUrl>& url() const { return m_url; }

    friend bool operator==(const LumbraLink&, const LumbraLink&) = default;

private:
    qint64 m_itemId;
    std::optional<QUrl> m_url;
};
