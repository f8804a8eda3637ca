#include "App/LumbraApp.h"
#include "App/MenuFocusFilter.h"
#include "App/Translations.h"
#include "Reader/Background.h"
#include "Views/ArticlePage.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <cstdio>
#include <string_view>
#include <unistd.h>

namespace {

// Answered before any window system is needed, so they work from any terminal.
bool answeredOnTheCommandLine(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--version") {
            std::printf("Lumbra %s\n", LUMBRA_VERSION);
            return true;
        }
        if (argument == "--help" || argument == "-h") {
            // No window, so no display needed: just the words, in the user's language.
            QCoreApplication core(argc, argv);
            const Translations translations(QLocale::system().uiLanguages());
            const QString help = QCoreApplication::translate(
                "CommandLine",
                "Usage: lumbra [--in-panel] [LINK]\n"
                "A desktop reader for Nextcloud News that saves quotes into an Obsidian vault.\n"
                "\n"
                "  LINK          a tavo://lumbra/item/<id> link from a note: shows that article\n"
                "                (in the Lumbra already running, if there is one)\n"
                "  --in-panel    start in the desktop's panel, without a window\n"
                "  -h, --help    show this help and exit\n"
                "  --version     show the version and exit\n"
                "\n"
                "Qt's own options, such as -platform, are accepted too.\n"
                "Diagnostics: QT_LOGGING_RULES=\"lumbra.*=true\" lumbra\n");
            std::fputs(help.toLocal8Bit().constData(), stdout);
            return true;
        }
    }
    return false;
}

// Font fallback notes and Chromium's start-up report say nothing a user can act on; with
// QT_LOGGING_RULES set, everything is shown as asked.
QtMessageHandler qtsOwnHandler = nullptr;

void withoutFontNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // Qt writes one per font family at start, in no category that could be switched off.
    if (message.trimmed().startsWith(QLatin1StringView("OpenType support missing for"))) return;
    qtsOwnHandler(type, context, message);
}

void quietTerminal()
{
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) return;
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    qtsOwnHandler = qInstallMessageHandler(withoutFontNotes);
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --log-level=3");
}

} // namespace

int main(int argc, char* argv[])
{
    if (answeredOnTheCommandLine(argc, argv)) return 0;
    growMemoryInLargeSteps();
    // Chromium refuses to start its sandbox as root (a fresh VM or container often is), and
    // Qt WebEngine then ends Lumbra. Article pages run no scripts either way.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("lumbra: running as root, so the article pane runs without Chromium's "
                   "sandbox.\n",
                   stderr);
    }
    quietTerminal();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // Qt WebEngine needs it first
    QApplication app(argc, argv);
    app.installEventFilter(new MenuFocusFilter(&app));
    ArticlePage::followAppearance(QApplication::palette());
    ArticlePage::offerToScreenReaders();
    QApplication::setApplicationName(QStringLiteral("Lumbra"));
    QApplication::setOrganizationDomain(QStringLiteral("lumbra.app"));
    QApplication::setApplicationVersion(QStringLiteral(LUMBRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.lumbra.Lumbra"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("app.lumbra.Lumbra"),
                                                 QIcon(QStringLiteral(":/lumbra.svg"))));
    // LUMBRA_PSEUDO_TRANSLATION shows which texts are cut off or never translated.
    const auto translations = qEnvironmentVariableIsEmpty("LUMBRA_PSEUDO_TRANSLATION")
                                  ? std::make_unique<Translations>(QLocale::system().uiLanguages())
                                  : Translations::pseudo();

    // A link given on the command line goes to the Lumbra that already runs, if any.
    QStringList arguments = QApplication::arguments().mid(1);
    const bool inPanel = arguments.removeAll(QStringLiteral("--in-panel")) > 0;
    const QUrl link = arguments.isEmpty() ? QUrl() : QUrl(arguments.first());
    if (LinkHandler::handOver(link)) return 0;

    LumbraApp lumbra;
    // Another Lumbra may have started meanwhile; without a session bus this one runs alone.
    if (!lumbra.links().listen() && LinkHandler::handOver(link)) return 0;
    if (!link.isEmpty()) lumbra.links().open(link); // once the first refresh has ended
    auto starting = lumbra.start(inPanel && link.isEmpty());
    return QApplication::exec();
}
