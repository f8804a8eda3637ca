#pragma once

#include "LumbraCore/Highlights.h"
#include "Reader/Environment.h"
#include "Views/ArticlePage.h"

#include <QPointer>
#include <QWebEngineView>
#include <memory>
#include <optional>

class QAction;
class QMenu;

// The view: loads a document only when its text changed, so marking read or starring
// keeps the scroll position and the selection; every context menu starts with "Save
// Quote to Obsidian". Documents are served through a scheme of Lumbra's own, so an
// article of any size shows (Qt WebEngine's setHtml stops at 2 MB).
class QuoteWebView final : public QWebEngineView {
    Q_OBJECT

public:
    QuoteWebView(ArticlePage::Opener openExternally, QWidget* parent = nullptr);
    ~QuoteWebView() override;

    // Shows the document of item `item`.
    void show(const QString& html, qint64 item);
    const QString& loaded() const { return m_loaded; }
    // The item whose document has finished loading and is shown now.
    std::optional<qint64> shownItem() const { return *m_shownItem; }
    // What the shown page shows, as parts for the reading view; none when no page is shown
    // or another one came meanwhile.
    QCoro::Task<std::optional<QStringList>> readableText();
    // What the shown page shows, as one text to find quotes in; none as for `readableText`.
    QCoro::Task<std::optional<QString>> shownText();
    // Marks these places of `shownText`'s text, in place of earlier marks; how many it drew.
    QCoro::Task<int> mark(QList<Highlights::Span> spans, bool dark);
    // Rings mark `index` and scrolls to it.
    void reveal(int index);
    // The page's selection, through a script in a world of its own.
    std::shared_ptr<TextSelectionSource> selection() const { return m_selection; }

    // The article command that saves a quote; the context menu offers it first.
    void setQuoteAction(QAction* action) { m_quoteAction = action; }
    // Builds the menu the user sees on a right click.
    QMenu* quoteContextMenu();
    // Puts `quote` first in `menu`, above what an article's text offers.
    static void offerQuoteFirst(QMenu* menu, QAction* quote);

Q_SIGNALS:
    void contextMenuShown(QMenu* menu);
    // The document of item `item` has loaded and shows.
    void shown(qint64 item);
    // The document of `show` could not be shown.
    void loadFailed();

private:
    void contextMenuEvent(QContextMenuEvent* event) override;
    QCoro::Task<QVariant> run(QString script);

    QPointer<QAction> m_quoteAction;

    ArticlePage* m_page;
    QString m_loaded;
    QUrl m_url;
    bool m_started = false; // the load of m_url has started
    std::optional<qint64> m_loadingItem;
    // Shared with the selection, which may outlive the view for a moment.
    std::shared_ptr<std::optional<qint64>> m_shownItem = std::make_shared<std::optional<qint64>>();
    std::shared_ptr<TextSelectionSource> m_selection;
};
