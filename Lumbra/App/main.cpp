#include "App/LumbraApp.h"
#include "Reader/Background.h"
#include "Views/ArticleWebView.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps();
    // Chromium refuses to start its sandbox as root (a fresh VM or container often is), and
    // Qt WebEngine then ends Lumbra. Article pages run no scripts either way.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("lumbra: running as root, so the article pane runs without Chromium's "
                   "sandbox.\n",
                   stderr);
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // Qt WebEngine needs it first
    QApplication app(argc, argv);
    ArticlePage::followAppearance(QApplication::palette());
    ArticlePage::offerToScreenReaders();
    QApplication::setApplicationName(QStringLiteral("Lumbra"));
    QApplication::setOrganizationDomain(QStringLiteral("lumbra.app"));
    QApplication::setApplicationVersion(QStringLiteral(LUMBRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.lumbra.Lumbra"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("app.lumbra.Lumbra"),
                                                 QIcon(QStringLiteral(":/lumbra.svg"))));

    // A link given on the command line goes to the Lumbra that already runs, if any.
    const QStringList arguments = QApplication::arguments();
    const QUrl link = arguments.size() > 1 ? QUrl(arguments.at(1)) : QUrl();
    if (LinkHandler::handOver(link)) return 0;

    LumbraApp lumbra;
    // Another Lumbra may have started meanwhile; without a session bus this one runs alone.
    if (!lumbra.links().listen() && LinkHandler::handOver(link)) return 0;
    if (!link.isEmpty()) lumbra.links().open(link); // once the first refresh has ended
    auto starting = lumbra.start();
    return QApplication::exec();
}
