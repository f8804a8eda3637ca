#include "LumbraCore/Quote.h"

#include "LumbraCore/internal/JsonReader.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace JsonReader;
using namespace std::string_view_literals;

namespace Json {

template <> Quote decode<Quote>(const QByteArray& json)
{
    return parse<Quote>(json, [](Value root) {
        Quote q;
        bool itemId = false, feedId = false, title = false, feedTitle = false, text = false,
             savedAt = false;
        forEachField(root, [&](std::string_view key, Value v) {
            if (key == "itemId"sv)
                q.itemId = readInt(v), itemId = true;
            else if (key == "feedId"sv)
                q.feedId = readInt(v), feedId = true;
            else if (key == "title"sv)
                q.title = readString(v), title = true;
            else if (key == "url"sv)
                q.url = optional<QString>(v, readString);
            else if (key == "author"sv)
                q.author = optional<QString>(v, readString);
            else if (key == "feedTitle"sv)
                q.feedTitle = readString(v), feedTitle = true;
            else if (key == "siteLink"sv)
                q.siteLink = optional<QString>(v, readString);
            else if (key == "text"sv)
                q.text = readString(v), text = true;
            else if (key == "savedAt"sv)
                q.savedAt = readInt(v), savedAt = true;
            else
                return false;
            return true;
        });
        requireKeys({{"itemId", itemId},
                     {"feedId", feedId},
                     {"title", title},
                     {"feedTitle", feedTitle},
                     {"text", text},
                     {"savedAt", savedAt}});
        return q;
    });
}

} // namespace Json
