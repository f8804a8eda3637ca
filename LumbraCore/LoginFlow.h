#pragma once

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/Json.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Records.h"

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Nextcloud Login Flow v2: the user grants access in the browser and the program polls for
// the account with a fresh app password; revoke gives the app password back at logout.
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

QCoro::Task<Start> start(HttpSession session, QString address, std::stop_token stop = {});
// The account once the user has granted access; none while still pending.
QCoro::Task<std::optional<Account>> poll(HttpSession session, Poll poll, std::stop_token stop = {});
// Never fails: an unreachable server simply keeps the password.
QCoro::Task<> revoke(HttpSession session, Account account, std::stop_token stop = {});

} // namespace LoginFlow

namespace Json {
template <> LoginFlow::Start decode<LoginFlow::Start>(const QByteArray& json);
QByteArray encode(const LoginFlow::Start& start);
} // namespace Json
