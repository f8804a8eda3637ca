#include "LumbraCore/RelativeDate.h"

#include "LumbraCore/internal/Unicode.h"

#include <QLocale>
#include <unicode/datefmt.h>
#include <unicode/reldatefmt.h>

#include <cstdlib>
#include <memory>

namespace {

// The language the interface speaks (the application sets the default locale to it).
QByteArray localeName()
{
    const QByteArray name = QLocale().name().toLatin1();
    return name == "C" ? QByteArray("en_US") : name;
}

// One formatter a thread, made again when the language changes.
template <typename Formatter> struct PerLocale {
    QByteArray name;
    std::unique_ptr<Formatter> formatter;

    template <typename Make> Formatter& get(Make make)
    {
        const QByteArray wanted = localeName();
        if (!formatter || wanted != name) {
            formatter = make(icu::Locale(wanted.constData()));
            name = wanted;
        }
        return *formatter;
    }
};

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
    thread_local PerLocale<icu::RelativeDateTimeFormatter> formatters;
    icu::RelativeDateTimeFormatter& formatter = formatters.get([](const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        return std::make_unique<icu::RelativeDateTimeFormatter>(locale, status);
    });
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
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
    thread_local PerLocale<icu::DateFormat> formats;
    icu::DateFormat& format = formats.get([](const icu::Locale& locale) {
        return std::unique_ptr<icu::DateFormat>(
            icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, locale));
    });
    icu::UnicodeString text;
    format.format(double(*pubDate) * 1000.0, text);
    return Unicode::fromIcu(text);
}
