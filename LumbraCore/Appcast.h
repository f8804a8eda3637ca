#pragma once

#include "LumbraCore/HttpSession.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// The update feed: an appcast (RSS with one item per release).
namespace Appcast {

struct Release {
    QString version;
    QUrl notes;
    QUrl download;
};

// The newest release the appcast lists; none when it lists none or is not well-formed XML.
std::optional<Release> newestRelease(const QByteArray& appcast);

// Compares dotted versions numerically (1.10 is newer than 1.9; 2.0.0 is 2).
int compareVersions(const QString& a, const QString& b);

// What a check found, for the views to word.
struct Outcome {
    enum class Kind {
        noFeed,    // this build has no update feed
        failed,    // the feed could not be read: `error`
        noRelease, // the feed lists no release
        upToDate,
        available, // `newest` is newer than `current`
    };
    Kind kind = Kind::noFeed;
    QString current;
    std::optional<Release> newest = {};
    std::exception_ptr error = {};

    // Where to get the newest release: its download, else its notes.
    QUrl link() const;
};

// What a check against `appcast` tells a user running `currentVersion`.
Outcome outcome(const std::optional<Release>& newest, const QString& currentVersion);

// Reads the feed at `address` (empty: the build has none); failures are part of the
// outcome, never thrown (except CancelledError).
QCoro::Task<Outcome> check(HttpSession session, QUrl address, QString currentVersion,
                           std::stop_token stop = {});

} // namespace Appcast
