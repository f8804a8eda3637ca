#pragma once

// What the browser login sends and receives, without the network: the records, the
// address and token forms, and the JSON of the start reply.

#include "LumbraCore/Json.h"

#include <QByteArray>
#include <QString>

namespace LoginFlow {

struct Poll {
    QString token;
    QString endpoint; // used exactly as the server gave it

    friend bool operator==(const Poll&, const Poll&) = default;
};

struct Start {
    Poll poll;
    QString login; // the page to open in the browser

    friend bool operator==(const Start&, const Start&) = default;
};

// Trims blanks and tabs (not line breaks), drops trailing slashes and puts "https://" in
// front unless the text starts with "http://" or "https://".
QString normalise(const QString& address);

// The token as a form value: letters, digits and combining marks pass, every other byte
// becomes "%XX".
QByteArray formEncode(const QString& token);

} // namespace LoginFlow

namespace Json {
template <> LoginFlow::Start decode<LoginFlow::Start>(const QByteArray& json);
} // namespace Json
