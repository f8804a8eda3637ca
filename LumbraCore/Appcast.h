#pragma once

#include "LumbraCore/HttpSession.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
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

// What a check against `appcast` tells a user running `currentVersion`.
QString outcome(const std::optional<Release>& newest, const QString& currentVersion);

// Reads the feed at `address` (empty: the build has none) and says what the user should
// know; failures are part of the text, never thrown (except CancelledError).
QCoro::Task<QString> check(HttpSession session, QUrl address, QString currentVersion,
                           std::stop_token stop = {});

} // namespace Appcast
