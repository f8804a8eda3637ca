#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <functional>

class QPalette;

// The article page: JavaScript off, a transparent background, and no navigation away
// from the article: only the document's own load happens in the pane. A clicked link is
// handed to `openExternally` when it is http, https or mailto (feeds are untrusted, so
// file:, javascript: and custom schemes go nowhere).
class ArticlePage final : public QWebEnginePage {
    Q_OBJECT

public:
    using Opener = std::function<void(const QUrl&)>;

    ArticlePage(Opener openExternally, QObject* parent = nullptr);

    static bool mayOpen(const QUrl& url);

    // Pages follow the desktop's light or dark appearance through the CSS
    // prefers-color-scheme, which Qt WebEngine 6.4 does not take from the palette itself.
    // Call once, before the first page exists.
    static void followAppearance(const QPalette& palette);
    // Qt WebEngine 6.4 keeps the pages from screen readers on Linux unless asked. It costs
    // nothing while none listens. Call before the first page exists.
    static void offerToScreenReaders();

    // The one address the main frame may load, once.
    void setDocument(const QUrl& url) { m_document = url; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Links with target=_blank ask for a window instead of navigating.
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    Opener m_open;
    QUrl m_document;
};
