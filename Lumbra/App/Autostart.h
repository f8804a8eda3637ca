#pragma once

#include <QObject>
#include <QString>
#include <optional>

class Settings;

// The entry that starts Lumbra, in the panel, when the user logs in to the desktop: an XDG
// autostart file of Lumbra's own, there exactly while the user's setting asks for it.
class Autostart final : public QObject {
    Q_OBJECT

public:
    explicit Autostart(Settings& settings, QObject* parent = nullptr);

    // "$XDG_CONFIG_HOME/autostart/app.lumbra.Lumbra.desktop".
    static QString entryPath();
    // The entry starting `program` in the panel.
    static QString entry(const QString& program);
    // Writes the entry for this program, or removes it; why that failed, when it did.
    static std::optional<QString> apply(bool start);

Q_SIGNALS:
    // The entry could not be written (`wanted`) or removed; the setting went back.
    void failed(const QString& why, bool wanted);

private:
    void follow();

    Settings& m_settings;
    bool m_reverting = false;
};
