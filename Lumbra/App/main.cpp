#include "App/LumbraApp.h"
#include "Views/ArticleWebView.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // Qt WebEngine needs it first
    QApplication app(argc, argv);
    ArticlePage::followAppearance(QApplication::palette());
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
    lumbra.links().listen();
    auto starting = lumbra.start();
    if (!link.isEmpty())
        QMetaObject::invokeMethod(
            &lumbra, [&] { lumbra.links().open(link); }, Qt::QueuedConnection);
    return QApplication::exec();
}
