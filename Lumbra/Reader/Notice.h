#pragma once

#include "LumbraCore/Errors.h"

#include <QNetworkReply>
#include <QString>
#include <exception>
#include <optional>

// What failed in a request or a file, as facts for the views to word. The core's own text
// stays as `detail` for failures the views have no words of their own for.
struct Failure {
    enum class Kind {
        newsStatus,  // the News API answered `status` to `request`
        newsMissing, // the server has no News app
        network,     // no exchange: `network` says why
        other,
    };
    Kind kind = Kind::other;
    QString request;
    int status = 0;
    QNetworkReply::NetworkError network = QNetworkReply::NoError;
    QString detail;

    static Failure of(const LumbraError& error);
    // `error` must hold a LumbraError.
    static Failure of(const std::exception_ptr& error);
    // The server refused the app password: logging in again helps.
    bool passwordRefused() const { return kind == Kind::newsStatus && status == 401; }

    friend bool operator==(const Failure&, const Failure&) = default;
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
        vaultRefused,       // `failure`, with the vault's reason as its detail
        addressRefused,     // a link Lumbra does not open: `subject`, shortened
        mailLinkRefused,    // a mail link with no address or text Lumbra keeps: `subject`
        articleGone,        // a link to an article the server no longer has
    };
    explicit Notice(Kind kind, QString subject = {}, std::optional<Failure> failure = {})
        : kind(kind), subject(std::move(subject)), failure(std::move(failure))
    {
    }

    Kind kind;
    QString subject;
    std::optional<Failure> failure;

    friend bool operator==(const Notice&, const Notice&) = default;
};
