#pragma once

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/LoginReplies.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Records.h"

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Nextcloud Login Flow v2: the user grants access in the browser and the program polls for
// the account with a fresh app password; revoke gives the app password back at logout.
namespace LoginFlow {

QCoro::Task<Start> start(HttpSession session, QString address, std::stop_token stop = {});
// The account once the user has granted access; none while still pending.
QCoro::Task<std::optional<Account>> poll(HttpSession session, Poll poll, std::stop_token stop = {});
// Never fails: an unreachable server simply keeps the password.
QCoro::Task<> revoke(HttpSession session, Account account, std::stop_token stop = {});

} // namespace LoginFlow
