#include "Views/ArticleWebView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPalette>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <qcoro/qcorosignal.h>

namespace {

// Runs the selection script in the application's own world, which the page's disabled
// JavaScript does not block, and hands back its value.
class PageSelection final : public QObject, public TextSelectionSource {
    Q_OBJECT

public:
    explicit PageSelection(QWebEnginePage* page) : m_page(page) {}

    QCoro::Task<std::optional<QString>> selectedText() override
    {
        if (!m_page) co_return std::nullopt;
        const QPointer<PageSelection> self(this);
        m_page->runJavaScript(QStringLiteral("window.getSelection().toString()"),
                              QWebEngineScript::ApplicationWorld, [self](const QVariant& value) {
                                  if (self) Q_EMIT self->answered(value);
                              });
        const QVariant value = co_await qCoro(this, &PageSelection::answered);
        if (value.typeId() != QMetaType::QString) co_return std::nullopt;
        co_return value.toString();
    }

Q_SIGNALS:
    void answered(const QVariant& value);

private:
    QPointer<QWebEnginePage> m_page;
};

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
    setBackgroundColor(Qt::transparent);
}

void ArticlePage::followAppearance(const QPalette& palette)
{
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += dark ? " --blink-settings=preferredColorScheme=0" // Blink's "dark"
                  : " --blink-settings=preferredColorScheme=1";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

bool ArticlePage::mayOpen(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() &&
           (scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https") ||
            scheme == QLatin1StringView("mailto"));
}

bool ArticlePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool)
{
    if (type != NavigationTypeLinkClicked) return true; // the document itself, reloads, history
    if (mayOpen(url)) m_open(url);
    return false;
}

QWebEnginePage* ArticlePage::createWindow(WebWindowType)
{
    return new PopupCatcher(m_open, this);
}

QuoteWebView::QuoteWebView(ArticlePage::Opener openExternally, QWidget* parent)
    : QWebEngineView(parent)
{
    auto* page = new ArticlePage(std::move(openExternally), this);
    setPage(page);
    m_selection = std::make_shared<PageSelection>(page);
}

void QuoteWebView::show(const QString& html, const QUrl& baseUrl)
{
    if (html == m_loaded) return;
    m_loaded = html;
    setHtml(html, baseUrl);
}

QMenu* QuoteWebView::quoteContextMenu()
{
    // The standard entries exist only for a menu the page itself asked for.
    QMenu* menu = lastContextMenuRequest() ? createStandardContextMenu() : new QMenu(this);
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().constFirst();
    QAction* quote = new QAction(QStringLiteral("Save Quote to Obsidian"), menu);
    connect(quote, &QAction::triggered, this, &QuoteWebView::quoteRequested);
    menu->insertAction(first, quote);
    menu->insertSeparator(first);
    return menu;
}

void QuoteWebView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = quoteContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    Q_EMIT contextMenuShown(menu);
}

#include "ArticleWebView.moc"
