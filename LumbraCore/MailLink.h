#pragma once

#include <QUrl>
#include <optional>

// A mailto: address as Lumbra hands it to the mail program: rebuilt from its recipients
// (addresses only), and its subject, body and cc. Feeds write mail links too, and some
// mail programs honour headers such as attach= (a local file added to the draft) or bcc=
// (a copy the reader does not notice); every header but those three is dropped. Values
// are bounded in length and the result is percent-encoded as RFC 6068 says. None when
// `url` is no mailto: address, or nothing of it is left to write a mail with.
std::optional<QUrl> safeMailLink(const QUrl& url);
