#pragma once

#include <QStackedWidget>

class QAction;
class QToolBar;
class QToolButton;
class QuoteWebView;
class Reader;

// The third column: "No Article Selected", or the selected article's page with its
// toolbar (star, read, quote, share, open in browser).
class ArticleView final : public QStackedWidget {
    Q_OBJECT

public:
    explicit ArticleView(Reader& reader, QWidget* parent = nullptr);

    QuoteWebView* webView() const { return m_web; }
    QAction* starAction() const { return m_star; }
    QAction* readAction() const { return m_read; }
    QAction* quoteAction() const { return m_quote; }
    QToolButton* shareButton() const { return m_share; }
    QAction* browserAction() const { return m_browser; }

private:
    void showSelection();

    Reader& m_reader;
    QWidget* m_placeholder;
    QWidget* m_articlePage;
    QToolBar* m_toolbar;
    QuoteWebView* m_web;
    QAction* m_star;
    QAction* m_read;
    QAction* m_quote;
    QToolButton* m_share;
    QAction* m_shareAction;
    QAction* m_browser;
};
