#include "App/DesktopEnvironment.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>

namespace {

// Asks xdg-mime, without waiting (it is a shell script), whether a program is set for
// `type` (a MIME type or x-scheme-handler/…) and tells `answer`.
void askForProgram(const QString& type, std::function<void(bool)> answer)
{
    auto* query = new QProcess;
    QObject::connect(query, &QProcess::finished, query, [query, answer] {
        answer(query->exitStatus() == QProcess::NormalExit && query->exitCode() == 0 &&
               !query->readAllStandardOutput().trimmed().isEmpty());
        query->deleteLater();
    });
    QObject::connect(query, &QProcess::errorOccurred, query,
                     [query, answer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         answer(true); // no xdg-mime to ask: let the desktop try
                         query->deleteLater();
                     });
    query->start(QStringLiteral("xdg-mime"),
                 {QStringLiteral("query"), QStringLiteral("default"), type});
}

} // namespace

void DesktopBrowser::open(const QUrl& url, NothingOpens nothingOpens)
{
    if (url.scheme() != QLatin1StringView("mailto") || !nothingOpens) {
        QDesktopServices::openUrl(url);
        return;
    }
    askForProgram(QStringLiteral("x-scheme-handler/mailto"), [url, nothingOpens](bool found) {
        if (found)
            QDesktopServices::openUrl(url);
        else
            nothingOpens();
    });
}

void DesktopNoteOpener::open(const QString& path, NothingOpens nothingOpens)
{
    const QUrl obsidian = QUrl::fromEncoded(
        QByteArray("obsidian://open?path=") + QUrl::toPercentEncoding(path), QUrl::StrictMode);
    const QUrl file = QUrl::fromLocalFile(path);
    askForProgram(QStringLiteral("x-scheme-handler/obsidian"), [=](bool registered) {
        if (registered) {
            QDesktopServices::openUrl(obsidian);
            return;
        }
        askForProgram(QStringLiteral("text/markdown"), [=](bool found) {
            if (found)
                QDesktopServices::openUrl(file);
            else if (nothingOpens)
                nothingOpens();
        });
    });
}

void DesktopNoteOpener::showInFolder(const QString& path)
{
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, folder] {
        // No file manager answers on the bus: the desktop opens the folder.
        if (watcher->isError()) QDesktopServices::openUrl(folder);
        watcher->deleteLater();
    });
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
    // Over the window it was asked from (Settings, say), which gets the focus back after:
    // over the main window, it would hide Settings behind it when closed.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    QWidget* over = QApplication::activeModalWidget();
    if (!over) over = QApplication::activeWindow();
    if (!over) over = m_parent;
    const std::unique_ptr<QFileDialog> dialog = vaultDialog(over, startFolder);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    if (focused) {
        focused->activateWindow();
        focused->setFocus(Qt::OtherFocusReason);
    }
    if (!chosen) return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

std::unique_ptr<QFileDialog> DialogFolderChooser::vaultDialog(QWidget* parent,
                                                              const QString& startFolder)
{
    auto dialog = std::make_unique<QFileDialog>(
        parent, QCoreApplication::translate("DialogFolderChooser", "Choose Obsidian Vault"),
        startFolder);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept,
                         QCoreApplication::translate("DialogFolderChooser", "Use as Vault"));
    // A desktop's own chooser has no room for it; its title says enough there.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* why = new QLabel(QCoreApplication::translate(
            "DialogFolderChooser", "Choose your Obsidian vault. Lumbra keeps a note per "
                                   "article in its lumbra folder."));
        why->setWordWrap(true);
        grid->addWidget(why, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return dialog;
}
