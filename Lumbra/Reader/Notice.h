#pragma once

#include "LumbraCore/Certificates.h"
#include "LumbraCore/Errors.h"
#include "Reader/VaultProblem.h"

#include <QNetworkReply>
#include <QString>
#include <exception>
#include <optional>

// What failed in a request, as facts for the views to word. `detail` holds words the
// system gave (Qt's text for a network failure, where a reply was unreadable) or, for
// failures the views have no words of their own for, the core's text.
struct Failure {
    enum class Kind {
        newsStatus,        // the News API answered `status` to `request`
        newsMissing,       // the server has no News app
        network,           // no exchange: `network` says why
        httpStatus,        // a plain download answered `status`
        tooLarge,          // the reply grew past `limit` bytes
        redirected,        // the server sent the request on to `request`, a host
        invalidAddress,    // `request` is no address that can be asked
        alreadySubscribed, // `request` is subscribed as the feed titled `detail`
        unreadable,        // the reply is not what was expected: `detail` says where
        outOfMemory,
        other,
    };
    Kind kind = Kind::other;
    QString request;
    int status = 0;
    QNetworkReply::NetworkError network = QNetworkReply::NoError;
    qint64 limit = 0;
    QString detail;
    // The server's certificate, when the secure connection failed over it.
    std::optional<CertificateInfo> certificate = {};
    // The server's own words for a refusal, when it gave some.
    QString serverMessage = {};

    static Failure of(const LumbraError& error);
    // `error` must hold a LumbraError.
    static Failure of(const std::exception_ptr& error);
    // The server refused the app password: logging in again helps.
    bool passwordRefused() const { return kind == Kind::newsStatus && status == 401; }
    // Nobody vouches for the server's certificate, and nothing else is wrong with it: the
    // user may look at it and trust it.
    bool certificateMayBeTrusted() const { return certificate && certificate->trustable; }

    friend bool operator==(const Failure&, const Failure&) = default;
};

// Why a browser login ended without an account.
struct LoginFailure {
    enum class Kind {
        request,    // asking the server failed: `failure`
        notWebPage, // the server's login page is not a web address, so it was not opened
        timedOut,   // the user did not grant access in time
    };
    explicit LoginFailure(Kind kind, Failure failure = {}, QString typed = {}, QString tried = {})
        : kind(kind), failure(std::move(failure)), typed(std::move(typed)), tried(std::move(tried))
    {
    }

    Kind kind;
    Failure failure;
    QString typed; // the server address as the user typed it
    QString tried; // the address Lumbra asked

    friend bool operator==(const LoginFailure&, const LoginFailure&) = default;
};

// A refresh of `server` that failed.
struct RefreshFailure {
    QString server;
    Failure failure;

    friend bool operator==(const RefreshFailure&, const RefreshFailure&) = default;
};

// Something the banner tells the user.
struct Notice {
    enum class Kind {
        articlesNotLoaded,  // `failure`
        changeRefused,      // the server refused a change, which was undone: `failure`
        articleNotShownYet, // a quote of an article whose page is not shown yet
        nothingSelected,    // a quote without selected text
        quoteAdded,         // `subject`: the note's name
        vaultRefused,       // `vault` says why
        addressRefused,     // a link Lumbra does not open: `subject`
        mailLinkRefused,    // a mail link with no address or text Lumbra keeps: `subject`
        articleGone,        // a link to an article the server no longer has
        noNoteProgram,      // no program opens the note `subject` (its path)
        noMailProgram,      // no program writes mail
        linkCopied,         // the article's address is on the clipboard: `subject`
        exported,           // the subscriptions were written to the file `subject`
        subscribed,         // a feed was added: `subject`, its title
        unsubscribed,       // a feed was removed: `subject`, its title
    };
    explicit Notice(Kind kind, QString subject = {}, std::optional<Failure> failure = {})
        : kind(kind), subject(std::move(subject)), failure(std::move(failure))
    {
    }
    explicit Notice(VaultProblem problem) : kind(Kind::vaultRefused), vault(std::move(problem)) {}

    Kind kind;
    QString subject;
    std::optional<Failure> failure;
    std::optional<VaultProblem> vault;

    friend bool operator==(const Notice&, const Notice&) = default;
};
