#include "UpdateController.h"

#include <QMessageBox>
#include <QNetworkReply>
#include <QPointer>
#include <QVersionNumber>
#include <QXmlStreamReader>

UpdateController::UpdateController(QNetworkAccessManager& network, QUrl feed,
                                   QString currentVersion, QObject* parent)
    : QObject(parent), m_network(network), m_feed(std::move(feed)),
      m_currentVersion(std::move(currentVersion))
{
}

int UpdateController::compareVersions(const QString& a, const QString& b)
{
    // Trailing zeros do not count: 2.0.0 is 2.
    return QVersionNumber::compare(QVersionNumber::fromString(a).normalized(),
                                   QVersionNumber::fromString(b).normalized());
}

std::optional<UpdateController::Release> UpdateController::newestRelease(const QByteArray& appcast)
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

void UpdateController::checkForUpdates(QWidget* parent)
{
    const QPointer<QWidget> owner(parent);
    const auto tell = [this, owner](const QString& text) {
        Q_EMIT checked(text);
        if (owner) QMessageBox::information(owner, QStringLiteral("Check for Updates"), text);
    };
    if (m_feed.isEmpty()) {
        tell(QStringLiteral("This build of Lumbra has no update feed, so it cannot check for "
                            "updates. Your distribution's package manager keeps it current."));
        return;
    }
    QNetworkReply* reply = m_network.get(QNetworkRequest(m_feed));
    connect(reply, &QNetworkReply::finished, this, [this, reply, tell] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            tell(QStringLiteral("Couldn't check for updates: ") + reply->errorString());
            return;
        }
        const std::optional<Release> newest = newestRelease(reply->readAll());
        if (!newest) {
            tell(QStringLiteral("Couldn't check for updates: the update feed lists no release."));
        } else if (compareVersions(newest->version, m_currentVersion) > 0) {
            tell(QStringLiteral("Lumbra ") + newest->version +
                 QStringLiteral(" is available (you have ") + m_currentVersion +
                 QStringLiteral("). Download it from ") +
                 (newest->download.isEmpty() ? newest->notes : newest->download).toString() + u'.');
        } else {
            tell(QStringLiteral("Lumbra ") + m_currentVersion +
                 QStringLiteral(" is the newest version."));
        }
    });
}
