#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

class QWidget;

// Checks an appcast (RSS with one item per release) for a version newer than this one and
// tells the user. Builds without a feed address say so plainly.
class UpdateController final : public QObject {
    Q_OBJECT

public:
    struct Release {
        QString version;
        QUrl notes;
        QUrl download;
    };

    UpdateController(QNetworkAccessManager& network, QUrl feed, QString currentVersion,
                     QObject* parent = nullptr);

    void checkForUpdates(QWidget* parent);

    // The newest release in an appcast; none when it lists none.
    static std::optional<Release> newestRelease(const QByteArray& appcast);
    // Compares dotted versions numerically: 1.10 is newer than 1.9.
    static int compareVersions(const QString& a, const QString& b);

Q_SIGNALS:
    // The text the check ended with, also shown to the user.
    void checked(const QString& outcome);

private:
    QNetworkAccessManager& m_network;
    QUrl m_feed;
    QString m_currentVersion;
};
