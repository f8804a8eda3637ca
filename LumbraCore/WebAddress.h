#pragma once

#include <QUrl>
#include <optional>

// Whether `url` is an http or https address with a host: the only kind Lumbra hands to a
// browser, opens for a login or lets resolve an article's relative links. Feeds and
// servers are strangers; file:, smb:, javascript: and custom schemes go nowhere.
bool isWebAddress(const QUrl& url);

// Whether `url` is a mailto: address, handed to the mail program where a mail is meant.
bool isMailAddress(const QUrl& url);

// `url` as feed addresses are compared: scheme and host in lower case, the scheme's default
// port left out, the rest as written. The server takes `HTTP://Host/feed` for another feed
// than `http://host/feed` and then lists both under the latter.
QString comparableFeedAddress(const QUrl& url);

struct Item;

// The article's web address, when it has one that a browser can open.
std::optional<QUrl> articleUrl(const Item& item);
