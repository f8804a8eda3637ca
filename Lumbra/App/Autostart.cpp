#include "App/Autostart.h"

#include "Reader/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A program path as a desktop entry's Exec key quotes it: the quoting rule first, then the
// string escapes over the result.
QString quotedForExec(const QString& program)
{
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        if (c == u'%') quoted += u'%';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

Autostart::Autostart(Settings& settings, QObject* parent) : QObject(parent), m_settings(settings)
{
    connect(&m_settings, &Settings::startWithSessionChanged, this, &Autostart::follow);
}

void Autostart::follow()
{
    if (m_reverting) return;
    const bool wanted = m_settings.startWithSession();
    const std::optional<QString> failure = apply(wanted);
    if (!failure) return;
    // Nothing changed on disk: the setting says so too.
    m_reverting = true;
    m_settings.setStartWithSession(!wanted);
    m_reverting = false;
    Q_EMIT failed(*failure, wanted);
}

QString Autostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/app.lumbra.Lumbra.desktop");
}

QString Autostart::entry(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Lumbra\n"
                          "Exec=%1 --in-panel\n"
                          "Icon=app.lumbra.Lumbra\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(quotedForExec(program));
}

std::optional<QString> Autostart::apply(bool start)
{
    const QString path = entryPath();
    const QString program = QCoreApplication::applicationFilePath();
    if (!start) {
        if (!QFileInfo::exists(path) || QFile::remove(path)) return std::nullopt;
        return QFile(path).errorString();
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QCoreApplication::translate("Autostart", "Can't make the folder %1.")
            .arg(QFileInfo(path).path());
    if (program.contains(u'\n') || program.contains(u'\r'))
        return QCoreApplication::translate("Autostart", "Lumbra's path has a line break.");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry(program).toUtf8()) < 0 ||
        !file.commit())
        return file.errorString();
    return std::nullopt;
}
