#pragma once

#include "LumbraCore/Appcast.h"
#include "LumbraCore/Records.h"
#include "Reader/Notice.h"

#include <QCoreApplication>
#include <QString>

// The sentences for what the state objects report: every failure and notice the user
// reads is worded here.
class Wording {
    Q_DECLARE_TR_FUNCTIONS(Wording)

public:
    static QString failure(const Failure& failure);
    // The technical cause behind `failure`'s sentence (the request and its status, the
    // network's own words), for Details; empty when the sentence says it all.
    static QString details(const Failure& failure);
    // `failure`'s details where `sentence` does not already say them.
    static QString detailsBeyond(const QString& sentence, const Failure& failure);
    // What is wrong with `certificate`, most telling first, each as "its certificate …".
    static QStringList certificateProblems(const CertificateInfo& certificate);
    static QString notice(const Notice& notice);
    static QString vaultProblem(const VaultProblem& problem);
    // The sources column's text for a failed refresh, and its title.
    static QString refreshFailure(const RefreshFailure& failure);
    static QString refreshTitle(const RefreshFailure& failure);
    // The login view's text for a login that failed, with a next step where one helps.
    static QString loginFailure(const LoginFailure& failure);
    // A source's title: the server's `name` for a folder or feed it lists, else the kind's.
    static QString sourceTitle(const Source& source, const std::optional<QString>& name);
    // The timeline's text when the source has no articles to show.
    static QString emptyText(const Source& source);
    // Why the feed at `address` could not be subscribed.
    static QString subscribeFailure(const QString& address, const Failure& failure);
    // What Check for Updates found.
    static QString updateCheck(const Appcast::Outcome& outcome);
};
