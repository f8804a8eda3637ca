#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <optional>
#include <utility>

class QSettings;

// Every preference Lumbra keeps between runs, typed, each with its change signal. They
// live in `store`: the XDG config location in the app, a throwaway file in tests.
class Settings final : public QObject {
    Q_OBJECT

public:
    explicit Settings(QSettings& store, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(Settings)

    // The Obsidian vault's folder; none until the user chose one.
    std::optional<QString> vault() const;
    void setVault(const std::optional<QString>& path);
    // The server address last typed into the login.
    QString server() const;
    void setServer(const QString& server);
    // Whether article pages load images, styles and fonts from elsewhere ("Load remote
    // images"; on unless the user turned it off).
    bool remoteImages() const;
    void setRemoteImages(bool load);
    // Whether articles show as text for screen readers rather than as web pages; none
    // until the user chose, when a running screen reader decides.
    std::optional<bool> readingView() const;
    void setReadingView(bool asText);
    // Where the window was and how wide its columns were, as Qt saves them.
    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);
    QByteArray columns() const;
    void setColumns(const QByteArray& state);
    // How often folders, feeds and articles are fetched while Lumbra runs, in minutes:
    // 15 unless the user chose, always within `refreshMinutesRange`.
    static constexpr std::pair<int, int> refreshMinutesRange{5, 24 * 60};
    int refreshMinutes() const;
    void setRefreshMinutes(int minutes);
    // Whether new articles are told as a desktop notification (on unless turned off).
    bool notifications() const;
    void setNotifications(bool on);
    // Whether closing the window keeps Lumbra running in the panel; none until the user
    // chose, when it does wherever a panel shows Lumbra's icon.
    std::optional<bool> keepInPanel() const;
    void setKeepInPanel(bool keep);
    // Whether Lumbra starts, in the panel, when the user logs in to the desktop.
    bool startWithSession() const;
    void setStartWithSession(bool start);
    // The public keys of certificates the user trusted, by server ("https://host:port").
    QMap<QString, QString> certificatePins() const;
    void setCertificatePins(const QMap<QString, QString>& pins);

Q_SIGNALS:
    void vaultChanged();
    void serverChanged();
    void remoteImagesChanged();
    void readingViewChanged();
    void windowGeometryChanged();
    void columnsChanged();
    void certificatePinsChanged();
    void refreshMinutesChanged();
    void notificationsChanged();
    void keepInPanelChanged();
    void startWithSessionChanged();

private:
    std::optional<bool> flag(const QString& key) const;
    void setFlag(const QString& key, bool on, void (Settings::*changed)());
    // Stores `value` under `key` (none removes it) and tells `changed` when it differs.
    void store(const QString& key, const QVariant& value, void (Settings::*changed)());

    QSettings& m_store;
};
