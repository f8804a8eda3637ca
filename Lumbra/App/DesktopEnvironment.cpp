#include "App/DesktopEnvironment.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QProcess>

void DesktopBrowser::open(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void DesktopNoteOpener::open(const QString& path)
{
    const QUrl obsidian = QUrl::fromEncoded(
        QByteArray("obsidian://open?path=") + QUrl::toPercentEncoding(path), QUrl::StrictMode);
    const QUrl file = QUrl::fromLocalFile(path);
    // Asked without waiting: xdg-mime is a shell script.
    auto* query = new QProcess;
    QObject::connect(query, &QProcess::finished, query, [query, obsidian, file] {
        const bool registered = query->exitStatus() == QProcess::NormalExit &&
                                query->exitCode() == 0 &&
                                !query->readAllStandardOutput().trimmed().isEmpty();
        QDesktopServices::openUrl(registered ? obsidian : file);
        query->deleteLater();
    });
    QObject::connect(query, &QProcess::errorOccurred, query,
                     [query, file](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         QDesktopServices::openUrl(file);
                         query->deleteLater();
                     });
    query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                              QStringLiteral("x-scheme-handler/obsidian")});
}

void MainWindowActivator::activate()
{
    if (!m_window) return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

qint64 SystemClock::now() const
{
    return QDateTime::currentSecsSinceEpoch();
}

std::optional<QString> DialogFolderChooser::chooseVault(const QString& startFolder)
{
    QFileDialog dialog(
        m_parent,
        QCoreApplication::translate("DialogFolderChooser",
                                    "Choose your Obsidian vault. Lumbra keeps a note per "
                                    "article in its lumbra folder."),
        startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept,
                        QCoreApplication::translate("DialogFolderChooser", "Use as Vault"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
