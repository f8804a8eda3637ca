#pragma once

#include <QUrl>

// Whether `url` is an http or https address with a host: the only kind Lumbra hands to a
// browser, opens for a login or lets resolve an article's relative links. Feeds and
// servers are strangers; file:, smb:, javascript: and custom schemes go nowhere.
bool isWebAddress(const QUrl& url);

// Whether `url` is a mailto: address, handed to the mail program where a mail is meant.
bool isMailAddress(const QUrl& url);
