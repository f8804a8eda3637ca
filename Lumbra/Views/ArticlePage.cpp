#include "Views/ArticlePage.h"

#include "LumbraCore/WebAddress.h"
#include "Views/Style.h"

#include <QPalette>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

// Frames never load (the page's policy forbids them); each shows as a link to what it
// would have shown. Runs in the application's world, which the page's disabled
// JavaScript does not stop.
QWebEngineScript framesAsLinks()
{
    QWebEngineScript script;
    script.setName(QStringLiteral("lumbra-frames-as-links"));
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QStringLiteral(R"js(
for (const frame of document.querySelectorAll('iframe, frame, embed, object')) {
    const link = document.createElement('a');
    link.href = frame.getAttribute('src') || frame.getAttribute('data') || '';
    link.textContent = link.href || 'Embedded content';
    link.className = 'embedded';
    const line = document.createElement('p');
    line.append(link);
    frame.replaceWith(line);
}
)js"));
    return script;
}

// Stands in for the window a target=_blank link asks for: it takes the first address
// the link sends it to and goes away.
class PopupCatcher final : public QWebEnginePage {
public:
    PopupCatcher(ArticlePage::Opener open, QObject* parent)
        : QWebEnginePage(parent), m_open(std::move(open))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (ArticlePage::mayOpen(url)) m_open(url);
        deleteLater();
        return false;
    }

private:
    ArticlePage::Opener m_open;
};

} // namespace

ArticlePage::ArticlePage(Opener openExternally, QObject* parent)
    : QWebEnginePage(parent), m_open(std::move(openExternally))
{
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    scripts().insert(framesAsLinks());
    setBackgroundColor(Qt::transparent);
}

void ArticlePage::followAppearance(const QPalette& palette)
{
    const bool dark = Style::isDark(palette);
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += dark ? " --blink-settings=preferredColorScheme=0" // Blink's "dark"
                  : " --blink-settings=preferredColorScheme=1";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

void ArticlePage::offerToScreenReaders()
{
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
}

bool ArticlePage::mayOpen(const QUrl& url)
{
    return isWebAddress(url) || isMailAddress(url);
}

bool ArticlePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (type == NavigationTypeLinkClicked) {
        if (mayOpen(url)) m_open(url);
        return false;
    }
    // Meta refreshes, form posts, history moves and frames would let a feed put a page of
    // its choosing where the article was; a refresh of the article itself would load it
    // again for ever.
    if (!isMainFrame || url != m_document) return false;
    m_document.clear();
    return true;
}

QWebEnginePage* ArticlePage::createWindow(WebWindowType)
{
    return new PopupCatcher(m_open, this);
}
