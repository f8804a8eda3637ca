#include "Views/QuoteWebView.h"

#include "Views/Accessibility.h"

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

// The scheme must be known before the application object exists.
void registerDocumentScheme()
{
    QWebEngineUrlScheme scheme(documentScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}
Q_CONSTRUCTOR_FUNCTION(registerDocumentScheme)

// The documents the article views show, served by address: "lumbra-article:<n>".
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
        url.setPath(QString::number(++m_serial));
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

// Runs the selection script in the application's own world, which the page's disabled
// JavaScript does not block, and hands back its value.
// The selected text as the reader saw it: text the page's style hides (not displayed,
// invisible, transparent, of no size, moved off the page or clipped away) is taken out
// for the moment the text is read, then put back as it was.
const QString visibleSelection = QStringLiteral(R"((() => {
  const selection = window.getSelection();
  if (!selection || selection.rangeCount === 0) return '';
  const range = selection.getRangeAt(0);
  let root = range.commonAncestorContainer;
  if (root.nodeType !== Node.ELEMENT_NODE) root = root.parentElement;
  if (!root) return selection.toString();
  const page = document.documentElement;
  const width = Math.max(page.scrollWidth, page.clientWidth);
  const height = Math.max(page.scrollHeight, page.clientHeight);
  const hidden = (element) => {
    const style = getComputedStyle(element);
    if (style.display === 'contents') return false;
    const box = element.getBoundingClientRect();
    const left = box.left + window.scrollX, top = box.top + window.scrollY;
    const transparent = /rgba\(.*,\s*0\)$/.test(style.color) || style.color === 'transparent';
    const clipped = (style.clip !== 'auto' && style.clip !== '' &&
                     (style.position === 'absolute' || style.position === 'fixed')) ||
                    style.clipPath !== 'none';
    const empty = (box.width === 0 || box.height === 0) && style.overflow !== 'visible';
    return style.visibility !== 'visible' || parseFloat(style.opacity) === 0 ||
           parseFloat(style.fontSize) === 0 || transparent || clipped || empty ||
           left + box.width <= 0 || top + box.height <= 0 || left >= width || top >= height;
  };
  const taken = [];
  const walker = document.createTreeWalker(root, NodeFilter.SHOW_ELEMENT);
  for (let element = root; element; element = walker.nextNode()) {
    if (element === document.body || !range.intersectsNode(element) || !hidden(element))
      continue;
    taken.push([element, element.style.getPropertyValue('display'),
                element.style.getPropertyPriority('display')]);
  }
  for (const [element] of taken) element.style.setProperty('display', 'none', 'important');
  const text = selection.toString();
  for (const [element, value, priority] of taken) {
    if (value) element.style.setProperty('display', value, priority);
    else element.style.removeProperty('display');
  }
  return text;
})())");

class PageSelection final : public QObject, public TextSelectionSource {
    Q_OBJECT

public:
    PageSelection(QWebEnginePage* page, std::shared_ptr<const std::optional<qint64>> shown)
        : m_page(page), m_shown(std::move(shown))
    {
    }

    std::optional<qint64> shownItem() const override { return m_page ? *m_shown : std::nullopt; }

    QCoro::Task<std::optional<QString>> selectedText() override
    {
        if (!m_page) co_return std::nullopt;
        const QPointer<PageSelection> self(this);
        m_page->runJavaScript(visibleSelection, QWebEngineScript::ApplicationWorld,
                              [self](const QVariant& value) {
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
                if (info.url() != m_url) return;
                switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    return;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    *m_shownItem = m_loadingItem;
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
    m_page->setDocument(m_url);
    load(m_url);
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
