#pragma once

#include "LumbraCore/Records.h"

#include <QStackedWidget>
#include <optional>

class EmptyState;
class ItemActions;
class QToolBar;
class QToolButton;
class QuoteWebView;
class Reader;

// The third column: "No Article Selected", or the selected article's page with its
// toolbar (star, read, quote, share, open in browser).
class ArticleView final : public QStackedWidget {
    Q_OBJECT

public:
    ArticleView(Reader& reader, ItemActions& actions, QWidget* parent = nullptr);

    QuoteWebView* webView() const { return m_web; }
    QToolBar* toolbar() const { return m_toolbar; }
    QToolButton* shareButton() const { return m_share; }
    // Loads the current article's remote images once, when the setting keeps them out.
    QAction* loadImagesAction() const { return m_loadImages; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void showSelection();

    Reader& m_reader;
    EmptyState* m_placeholder;
    EmptyState* m_failed;
    QWidget* m_articlePage;
    QToolBar* m_toolbar;
    QuoteWebView* m_web;
    QToolButton* m_share;
    QAction* m_shareAction;
    QAction* m_loadImages;
    std::optional<qint64> m_imagesAllowedFor; // the article whose images the user asked for
    // What the page was made from.
    struct Shown {
        Item item;
        QString feedTitle;
        bool remoteContent = false;
        bool dark = false;
        // The page would look the same: only the article's flags differ.
        bool sameArticle(const std::optional<Shown>& other) const
        {
            if (!other) return false;
            Item flagsAsOther = item;
            flagsAsOther.unread = other->item.unread;
            flagsAsOther.starred = other->item.starred;
            return flagsAsOther == other->item && feedTitle == other->feedTitle &&
                   remoteContent == other->remoteContent && dark == other->dark;
        }
    };
    std::optional<Shown> m_shown;
};
