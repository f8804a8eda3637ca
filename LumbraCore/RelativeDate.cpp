#include "LumbraCore/RelativeDate.h"

#include "LumbraCore/internal/Unicode.h"

#include <QLocale>
#include <unicode/datefmt.h>
#include <unicode/reldatefmt.h>

#include <cstdlib>
#include <memory>

namespace {

icu::Locale userLocale()
{
    const QByteArray name = QLocale::system().name().toLatin1();
    return name == "C" ? icu::Locale("en_US") : icu::Locale(name.constData());
}

// The largest whole unit, as the platform's relative formatter picks it.
QString relativePhrase(qint64 seconds)
{
    const qint64 magnitude = std::llabs(seconds);
    UDateRelativeUnit unit = UDAT_RELATIVE_SECONDS;
    double value = double(magnitude);
    if (magnitude >= 86400)
        unit = UDAT_RELATIVE_DAYS, value = double(magnitude / 86400);
    else if (magnitude >= 3600)
        unit = UDAT_RELATIVE_HOURS, value = double(magnitude / 3600);
    else if (magnitude >= 60)
        unit = UDAT_RELATIVE_MINUTES, value = double(magnitude / 60);
    UErrorCode status = U_ZERO_ERROR;
    thread_local icu::RelativeDateTimeFormatter formatter(userLocale(), status);
    icu::UnicodeString text;
    status = U_ZERO_ERROR;
    formatter.format(value, seconds < 0 ? UDAT_DIRECTION_LAST : UDAT_DIRECTION_NEXT, unit, text,
                     status);
    return U_SUCCESS(status) ? Unicode::fromIcu(text) : QString();
}

} // namespace

QString relativeDate(std::optional<qint64> pubDate, qint64 now)
{
    if (!pubDate) return QString();
    qint64 distance = 0;
    // A date so far off that the distance overflows is certainly not within the week.
    const bool far = __builtin_sub_overflow(*pubDate, now, &distance) || distance <= -604800 ||
                     distance >= 604800;
    if (!far) return relativePhrase(distance);
    thread_local std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, userLocale()));
    icu::UnicodeString text;
    format->format(double(*pubDate) * 1000.0, text);
    return Unicode::fromIcu(text);
}
