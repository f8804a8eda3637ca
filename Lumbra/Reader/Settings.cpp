#include "Reader/Settings.h"

#include <QSettings>

namespace {
// The keys as earlier versions wrote them: stored settings stay readable.
const QString vaultKey = QStringLiteral("vaultPath");
const QString serverKey = QStringLiteral("server");
const QString remoteImagesKey = QStringLiteral("loadRemoteImages");
const QString readingViewKey = QStringLiteral("articlesAsText");
const QString geometryKey = QStringLiteral("window/geometry");
const QString columnsKey = QStringLiteral("window/columns");
const QString pinsKey = QStringLiteral("certificatePins");
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

bool Settings::remoteImages() const
{
    // Written as "true" or "false"; anything else keeps the default.
    return m_store.value(remoteImagesKey).toString() != QStringLiteral("false");
}

void Settings::setRemoteImages(bool load)
{
    if (load == remoteImages()) return;
    store(remoteImagesKey, load ? QStringLiteral("true") : QStringLiteral("false"),
          &Settings::remoteImagesChanged);
}

std::optional<bool> Settings::readingView() const
{
    const QString value = m_store.value(readingViewKey).toString();
    if (value == QStringLiteral("true")) return true;
    if (value == QStringLiteral("false")) return false;
    return std::nullopt;
}

void Settings::setReadingView(bool asText)
{
    store(readingViewKey, asText ? QStringLiteral("true") : QStringLiteral("false"),
          &Settings::readingViewChanged);
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
