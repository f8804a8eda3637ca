#include "LumbraCore/Appcast.h"

#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"

#include <QXmlStreamReader>

namespace Appcast {

namespace {
// An appcast lists a few dozen releases; anything far larger is not one.
constexpr qint64 appcastLimit = qint64(1) << 20;
} // namespace

namespace {

// The numeric parts of a version ("1.10" of "1.10-rc.2"), each without leading zeros.
QList<QStringView> versionParts(const QString& version)
{
    qsizetype end = 0;
    while (end < version.size() &&
           (version[end] == u'.' || (version[end] >= u'0' && version[end] <= u'9')))
        ++end;
    QList<QStringView> parts = QStringView(version).first(end).split(u'.');
    for (QStringView& part : parts)
        while (!part.isEmpty() && part.front() == u'0')
            part = part.sliced(1);
    return parts;
}

} // namespace

int compareVersions(const QString& a, const QString& b)
{
    // Parts are compared as digit strings: a part longer than any integer still counts.
    const QList<QStringView> left = versionParts(a);
    const QList<QStringView> right = versionParts(b);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const QStringView x = i < left.size() ? left[i] : QStringView();
        const QStringView y = i < right.size() ? right[i] : QStringView();
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y)) return order < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<Release> newestRelease(const QByteArray& appcast)
{
    std::optional<Release> newest;
    Release current;
    QXmlStreamReader xml(appcast);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1StringView("item")) {
            current = Release{};
        } else if (xml.isStartElement() && xml.name() == QLatin1StringView("version")) {
            current.version = xml.readElementText().trimmed();
        } else if (xml.isStartElement() && xml.name() == QLatin1StringView("releaseNotesLink")) {
            current.notes = QUrl(xml.readElementText().trimmed());
        } else if (xml.isStartElement() && xml.name() == QLatin1StringView("enclosure")) {
            current.download = QUrl(xml.attributes().value(QLatin1StringView("url")).toString());
            for (const QXmlStreamAttribute& attribute : xml.attributes())
                if (attribute.name() == QLatin1StringView("version") && current.version.isEmpty())
                    current.version = attribute.value().toString();
        } else if (xml.isEndElement() && xml.name() == QLatin1StringView("item")) {
            if (!current.version.isEmpty() &&
                (!newest || compareVersions(current.version, newest->version) > 0))
                newest = current;
        }
    }
    if (xml.hasError()) return std::nullopt;
    return newest;
}

QUrl Outcome::link() const
{
    if (!newest) return {};
    return newest->download.isEmpty() ? newest->notes : newest->download;
}

Outcome outcome(const std::optional<Release>& newest, const QString& currentVersion)
{
    Outcome result{Outcome::Kind::noRelease, currentVersion, newest};
    if (newest)
        result.kind = compareVersions(newest->version, currentVersion) <= 0
                          ? Outcome::Kind::upToDate
                          : Outcome::Kind::available;
    return result;
}

QCoro::Task<Outcome> check(HttpSession session, QUrl address, QString currentVersion,
                           std::stop_token stop)
{
    if (address.isEmpty()) co_return Outcome{Outcome::Kind::noFeed, currentVersion};
    QByteArray appcast;
    try {
        appcast = co_await fetch(session, address, appcastLimit, stop);
    } catch (const CancelledError&) {
        throw;
    } catch (const LumbraError& failure) {
        qCWarning(lcUpdates).noquote()
            << "reading" << address.toDisplayString() << "failed:" << failure.description();
        co_return Outcome{Outcome::Kind::failed, currentVersion, std::nullopt,
                          std::current_exception()};
    }
    co_return outcome(newestRelease(appcast), currentVersion);
}

} // namespace Appcast
