#pragma once

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/Records.h"
#include "Reader/Environment.h"
#include "Reader/Notice.h"

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// How a browser login ended: an account (already in the store), a failure to show, or
// neither when it was cancelled.
struct LoginOutcome {
    std::optional<Account> account;
    std::optional<LoginFailure> failure;
};

// What the login needs from outside. The browser and store outlive the login.
struct LoginContext {
    HttpSession session;
    Browser& browser;
    AccountStore& accounts;
    ReaderTiming timing;
};

// The browser login: asks `server` for a login page, opens it in the browser, polls until
// the user grants access (or the polls run out) and saves the account. Cancelling `stop`
// ends it wherever it is, except once the server has handed the password over: that
// attempt completes.
QCoro::Task<LoginOutcome> browserLogin(LoginContext context, QString server, std::stop_token stop);
