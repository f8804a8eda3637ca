#include "Views/QuoteWebView.h"

#include "Views/Accessibility.h"
#include "Views/PageScripts.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QHash>
#include <QMenu>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <qcoro/qcorosignal.h>

namespace {

const QByteArray documentScheme("lumbra-article");

// The scheme must be known before the application object exists. Every document under one
// host: each page of its own origin (a path-only scheme) made Chromium start a renderer
// for every article, 120 ms a page on a 2-core machine. Their scripts are off, so a shared
// origin lends one article nothing of another.
void registerDocumentScheme()
{
    QWebEngineUrlScheme scheme(documentScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    QWebEngineUrlScheme::registerScheme(scheme);
}
Q_CONSTRUCTOR_FUNCTION(registerDocumentScheme)

// The documents the article views show, served by address: "lumbra-article://article/<n>".
class ArticleDocuments final : public QWebEngineUrlSchemeHandler {
public:
    static ArticleDocuments& instance()
    {
        static auto* documents = [] {
            auto* handler = new ArticleDocuments;
            QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(documentScheme, handler);
            return handler;
        }();
        return *documents;
    }

    QUrl publish(const QString& html)
    {
        QUrl url;
        url.setScheme(QString::fromLatin1(documentScheme));
        url.setHost(QStringLiteral("article"));
        url.setPath(u'/' + QString::number(++m_serial));
        m_documents.insert(url, html.toUtf8());
        return url;
    }
    void withdraw(const QUrl& url) { m_documents.remove(url); }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const auto document = m_documents.constFind(job->requestUrl());
        if (document == m_documents.cend()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(*document);
        job->reply("text/html", buffer);
    }

private:
    quint64 m_serial = 0;
    QHash<QUrl, QByteArray> m_documents;
};

// A script's value, from the application's own world, which the page's disabled JavaScript
// does not block.
class PageScript final : public QObject {
    Q_OBJECT

public:
    static QCoro::Task<QVariant> run(QPointer<QWebEnginePage> page, QString script)
    {
        if (!page) co_return QVariant();
        PageScript answer;
        const QPointer<PageScript> self(&answer);
        page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                            [self](const QVariant& value) {
                                if (self) Q_EMIT self->answered(value);
                            });
        co_return co_await qCoro(&answer, &PageScript::answered);
    }

Q_SIGNALS:
    void answered(const QVariant& value);
};

class PageSelection final : public TextSelectionSource {
public:
    PageSelection(QWebEnginePage* page, std::shared_ptr<const std::optional<qint64>> shown)
        : m_page(page), m_shown(std::move(shown))
    {
    }

    std::optional<qint64> shownItem() const override { return m_page ? *m_shown : std::nullopt; }

    QCoro::Task<std::optional<QString>> selectedText() override
    {
        const QVariant value = co_await PageScript::run(m_page, PageScripts::visibleSelection());
        if (value.typeId() != QMetaType::QString) co_return std::nullopt;
        co_return value.toString();
    }

private:
    QPointer<QWebEnginePage> m_page;
    std::shared_ptr<const std::optional<qint64>> m_shown;
};

} // namespace

QuoteWebView::QuoteWebView(ArticlePage::Opener openExternally, QWidget* parent)
    : QWebEngineView(parent), m_page(new ArticlePage(std::move(openExternally), this))
{
    setPage(m_page);
    m_selection = std::make_shared<PageSelection>(m_page, m_shownItem);
    connect(m_page, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) {
                if (info.url() != m_url) {
                    // A document asked for while an earlier one was on its way is at times
                    // dropped once that one ends: asked for again, it shows.
                    if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus && !m_started &&
                        !m_url.isEmpty()) {
                        m_page->setDocument(m_url);
                        load(m_url);
                    }
                    return;
                }
                switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    m_started = true;
                    return;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    *m_shownItem = m_loadingItem;
                    if (m_loadingItem) Q_EMIT shown(*m_loadingItem);
                    return;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                case QWebEngineLoadingInfo::LoadFailedStatus:
                    // A refused reload of the shown document leaves it as it is.
                    if (*m_shownItem == m_loadingItem) return;
                    // Not remembered as loaded, so showing it again tries again.
                    m_loaded.clear();
                    m_shownItem->reset();
                    Q_EMIT loadFailed();
                    return;
                }
            });
}

QuoteWebView::~QuoteWebView()
{
    ArticleDocuments::instance().withdraw(m_url);
}

void QuoteWebView::show(const QString& html, qint64 item)
{
    if (html == m_loaded && m_loadingItem == item) return;
    m_loaded = html;
    m_loadingItem = item;
    m_shownItem->reset(); // until the new document has loaded, no passage of it is shown
    ArticleDocuments& documents = ArticleDocuments::instance();
    documents.withdraw(m_url);
    m_url = documents.publish(html);
    m_started = false;
    m_page->setDocument(m_url);
    load(m_url);
}

QCoro::Task<std::optional<QStringList>> QuoteWebView::readableText()
{
    const QVariant value = co_await run(PageScripts::readableParts());
    if (value.typeId() != QMetaType::QVariantList) co_return std::nullopt;
    QStringList parts;
    for (const QVariant& part : value.toList())
        parts << part.toString();
    co_return parts;
}

QCoro::Task<QVariant> QuoteWebView::run(QString script)
{
    // Nothing of the view is touched after the wait: it may have gone.
    const std::shared_ptr<const std::optional<qint64>> shownNow = m_shownItem;
    const std::optional<qint64> item = *shownNow;
    if (!item) co_return QVariant();
    const QVariant value = co_await PageScript::run(m_page, std::move(script));
    co_return *shownNow == item ? value : QVariant();
}

QCoro::Task<std::optional<QString>> QuoteWebView::shownText()
{
    const QVariant value = co_await run(PageScripts::shownText());
    if (value.typeId() != QMetaType::QString) co_return std::nullopt;
    co_return value.toString();
}

QCoro::Task<int> QuoteWebView::mark(QList<Highlights::Span> spans, bool dark)
{
    const QVariant drawn = co_await run(PageScripts::marks(spans, dark));
    co_return drawn.toInt();
}

void QuoteWebView::reveal(int index)
{
    m_page->runJavaScript(PageScripts::reveal(index), QWebEngineScript::ApplicationWorld);
}

QMenu* QuoteWebView::quoteContextMenu()
{
    // The standard entries exist only for a menu the page itself asked for.
    QMenu* menu = lastContextMenuRequest() ? createStandardContextMenu() : new QMenu(this);
    offerQuoteFirst(menu, m_quoteAction);
    return menu;
}

void QuoteWebView::offerQuoteFirst(QMenu* menu, QAction* quote)
{
    if (!quote) return;
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().constFirst();
    menu->insertAction(first, quote); // the menu shows it, the actions keep it
    menu->insertSeparator(first);
}

void QuoteWebView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = quoteContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (event->reason() != QContextMenuEvent::Mouse) Accessibility::openOnFirstEntry(menu);
    menu->popup(event->globalPos());
    Q_EMIT contextMenuShown(menu);
}

#include "QuoteWebView.moc"
