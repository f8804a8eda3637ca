#pragma once

#include <QString>
#include <optional>

// A publication date as a row shows it: "" without a date, a relative phrase ("2 hours
// ago", "in 5 minutes") within 7 days of `now`, otherwise an abbreviated date in the
// user's locale. Both times are seconds since 1970-01-01 00:00 UTC.
QString relativeDate(std::optional<qint64> pubDate, qint64 now);
