#include "Reader/Settings.h"

#include <QSettings>
#include <algorithm>

namespace {
// The keys as earlier versions wrote them: stored settings stay readable.
const QString vaultKey = QStringLiteral("vaultPath");
const QString serverKey = QStringLiteral("server");
const QString remoteImagesKey = QStringLiteral("loadRemoteImages");
const QString readingViewKey = QStringLiteral("articlesAsText");
const QString geometryKey = QStringLiteral("window/geometry");
const QString columnsKey = QStringLiteral("window/columns");
const QString pinsKey = QStringLiteral("certificatePins");
const QString refreshKey = QStringLiteral("refreshMinutes");
const QString notificationsKey = QStringLiteral("notifications");
const QString panelKey = QStringLiteral("keepInPanel");
const QString autostartKey = QStringLiteral("startWithSession");
} // namespace

Settings::Settings(QSettings& store, QObject* parent) : QObject(parent), m_store(store) {}

void Settings::store(const QString& key, const QVariant& value, void (Settings::*changed)())
{
    if (m_store.value(key) == value) return;
    if (value.isValid())
        m_store.setValue(key, value);
    else
        m_store.remove(key);
    Q_EMIT(this->*changed)();
}

std::optional<QString> Settings::vault() const
{
    const QVariant value = m_store.value(vaultKey);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString();
}

void Settings::setVault(const std::optional<QString>& path)
{
    store(vaultKey, path ? QVariant(*path) : QVariant(), &Settings::vaultChanged);
}

QString Settings::server() const
{
    return m_store.value(serverKey).toString();
}

void Settings::setServer(const QString& server)
{
    store(serverKey, server, &Settings::serverChanged);
}

// Written as "true" or "false"; anything else is no choice.
std::optional<bool> Settings::flag(const QString& key) const
{
    const QString value = m_store.value(key).toString();
    if (value == QStringLiteral("true")) return true;
    if (value == QStringLiteral("false")) return false;
    return std::nullopt;
}

void Settings::setFlag(const QString& key, bool on, void (Settings::*changed)())
{
    store(key, on ? QStringLiteral("true") : QStringLiteral("false"), changed);
}

bool Settings::remoteImages() const
{
    return flag(remoteImagesKey).value_or(true);
}

void Settings::setRemoteImages(bool load)
{
    if (load == remoteImages()) return;
    setFlag(remoteImagesKey, load, &Settings::remoteImagesChanged);
}

std::optional<bool> Settings::readingView() const
{
    return flag(readingViewKey);
}

void Settings::setReadingView(bool asText)
{
    setFlag(readingViewKey, asText, &Settings::readingViewChanged);
}

int Settings::refreshMinutes() const
{
    bool number = false;
    const int minutes = m_store.value(refreshKey).toInt(&number);
    if (!number) return 15;
    return std::clamp(minutes, refreshMinutesRange.first, refreshMinutesRange.second);
}

void Settings::setRefreshMinutes(int minutes)
{
    minutes = std::clamp(minutes, refreshMinutesRange.first, refreshMinutesRange.second);
    if (minutes == refreshMinutes()) return;
    store(refreshKey, minutes, &Settings::refreshMinutesChanged);
}

bool Settings::notifications() const
{
    return flag(notificationsKey).value_or(true);
}

void Settings::setNotifications(bool on)
{
    if (on == notifications()) return;
    setFlag(notificationsKey, on, &Settings::notificationsChanged);
}

std::optional<bool> Settings::keepInPanel() const
{
    return flag(panelKey);
}

void Settings::setKeepInPanel(bool keep)
{
    setFlag(panelKey, keep, &Settings::keepInPanelChanged);
}

bool Settings::startWithSession() const
{
    return flag(autostartKey).value_or(false);
}

void Settings::setStartWithSession(bool start)
{
    if (start == startWithSession()) return;
    setFlag(autostartKey, start, &Settings::startWithSessionChanged);
}

QByteArray Settings::windowGeometry() const
{
    return m_store.value(geometryKey).toByteArray();
}

void Settings::setWindowGeometry(const QByteArray& geometry)
{
    store(geometryKey, geometry, &Settings::windowGeometryChanged);
}

QByteArray Settings::columns() const
{
    return m_store.value(columnsKey).toByteArray();
}

void Settings::setColumns(const QByteArray& state)
{
    store(columnsKey, state, &Settings::columnsChanged);
}

QMap<QString, QString> Settings::certificatePins() const
{
    // Each "origin key": neither holds a space.
    QMap<QString, QString> pins;
    for (const QString& entry : m_store.value(pinsKey).toStringList()) {
        const QStringList parts = entry.split(u' ');
        if (parts.size() == 2 && !parts[0].isEmpty() && !parts[1].isEmpty())
            pins.insert(parts[0], parts[1]);
    }
    return pins;
}

void Settings::setCertificatePins(const QMap<QString, QString>& pins)
{
    QStringList entries;
    for (auto pin = pins.cbegin(); pin != pins.cend(); ++pin)
        entries << pin.key() + u' ' + pin.value();
    store(pinsKey, entries.isEmpty() ? QVariant() : QVariant(entries),
          &Settings::certificatePinsChanged);
}
