#pragma once

#include "LumbraCore/Highlights.h"
#include "Reader/Lifetime.h"

#include <QObject>
#include <optional>
#include <qcoro/qcorotask.h>

class QAction;
class QMenu;
class QToolButton;
class QuoteWebView;
class Reader;
class ReadingView;

// The quotes of the shown article's note, marked in the view that shows it: the toolbar's
// count ("3 quotes"), a menu button that moves between the marks (Q, Shift+Q) and names
// the quotes no longer found in the article. A note changed elsewhere is read again each
// time the article is selected; a new quote is marked at once.
class QuoteMarks final : public QObject {
    Q_OBJECT

public:
    QuoteMarks(Reader& reader, QuoteWebView& page, ReadingView& text, QWidget* parent);

    QToolButton* countButton() const { return m_count; }
    QAction* next() const { return m_next; }
    QAction* previous() const { return m_previous; }
    // The article the views are showing now (none: no article); `dark` colours the marks.
    void showing(std::optional<qint64> item, bool asText, bool dark);
    // Whether the count shows: the shown article's note holds quotes.
    bool hasQuotes() const;

Q_SIGNALS:
    void countChanged();

private:
    QCoro::Task<> mark();
    void showCount(const QStringList& quotes, const QList<std::optional<Highlights::Span>>& found);
    void move(bool forward);

    Reader& m_reader;
    QuoteWebView& m_page;
    ReadingView& m_text;
    QToolButton* m_count;
    QMenu* m_menu;
    QAction* m_next;
    QAction* m_previous;
    struct Shown {
        qint64 item = 0;
        bool asText = false;
        bool dark = false;
    };
    std::optional<Shown> m_shown;
    QStringList m_quotes; // whose count shows
    int m_pageMarks = 0;  // marks drawn on the page
    int m_pageCurrent = -1;
    Lifetime m_lifetime;
};
