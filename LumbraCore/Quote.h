#pragma once

#include "LumbraCore/Errors.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One saved passage with its article's metadata.
struct Quote {
    qint64 itemId = 0;
    qint64 feedId = 0;
    QString title;
    std::optional<QString> url;
    std::optional<QString> author;
    QString feedTitle;
    std::optional<QString> siteLink;
    QString text; // lines separated by "\n"
    qint64 savedAt = 0;

    friend bool operator==(const Quote&, const Quote&) = default;
};

namespace Json {
template <typename T> T decode(const QByteArray& json);
template <> Quote decode<Quote>(const QByteArray& json);
} // namespace Json
