#include "DesktopEnvironment.h"
#include "Keychain.h"
#include "Reader.h"

#include <QApplication>
#include <QMainWindow>
#include <QNetworkAccessManager>

namespace {

QCoro::Task<> startUp(Reader& reader, QMainWindow& window)
{
    // The stored account is known before the window first shows.
    co_await reader.start();
    window.show();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbra"));
    QApplication::setOrganizationDomain(QStringLiteral("lumbra.app"));

    QNetworkAccessManager network;
    Keychain keychain;
    DesktopBrowser browser;
    MainWindowActivator activator;
    SystemClock clock;
    QSettings settings;
    SettingsPreferences preferences(settings);
    DialogFolderChooser folderChooser;
    Reader reader(ReaderEnvironment{&keychain, &browser, &activator, &clock, &preferences,
                                    &folderChooser, HttpSession{&network, requestTimeout},
                                    ReaderTiming{}});

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Lumbra"));
    window.setMinimumSize(900, 560);
    activator.setWindow(&window);
    folderChooser.setParent(&window);
    auto starting = startUp(reader, window);
    return QApplication::exec();
}
