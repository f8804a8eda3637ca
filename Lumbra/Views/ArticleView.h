#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Lifetime.h"

#include <QStackedWidget>
#include <optional>

class EmptyState;
class ItemActions;
class QToolBar;
class QToolButton;
class QuoteMarks;
class QuoteWebView;
class Reader;
class ReadingView;
class Settings;

// The third column: "No Article Selected", or the selected article's page with its
// toolbar (star, read, quote, share, open in browser).
class ArticleView final : public QStackedWidget {
    Q_OBJECT

public:
    ArticleView(Reader& reader, ItemActions& actions, QWidget* parent = nullptr);

    // Whether articles show as text (the reading view) rather than as pages: as the user
    // chose, or while a screen reader runs.
    static bool readsAsText(const Settings& settings);

    QuoteWebView* webView() const { return m_web; }
    ReadingView* readingView() const { return m_reading; }
    QToolBar* toolbar() const { return m_toolbar; }
    QToolButton* shareButton() const { return m_share; }
    // Loads the current article's remote images once, when the setting keeps them out.
    QAction* loadImagesAction() const { return m_loadImages; }
    QuoteMarks* quoteMarks() const { return m_quoteMarks; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildToolbar(ItemActions& actions);
    // The page and the text view, framed so the focus shows.
    void buildPage();
    void follow();
    void showSelection();
    QCoro::Task<> showAsText(qint64 item);

    Reader& m_reader;
    EmptyState* m_placeholder;
    EmptyState* m_failed;
    QWidget* m_articlePage;
    QToolBar* m_toolbar;
    QuoteWebView* m_web;
    ReadingView* m_reading;
    QuoteMarks* m_quoteMarks;
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
        bool asText = false;
        // The page would look the same: only the article's flags differ.
        bool sameArticle(const std::optional<Shown>& other) const
        {
            if (!other) return false;
            Item flagsAsOther = item;
            flagsAsOther.unread = other->item.unread;
            flagsAsOther.starred = other->item.starred;
            return flagsAsOther == other->item && feedTitle == other->feedTitle &&
                   remoteContent == other->remoteContent && dark == other->dark &&
                   asText == other->asText;
        }
    };
    std::optional<Shown> m_shown;
    Lifetime m_lifetime;
};
