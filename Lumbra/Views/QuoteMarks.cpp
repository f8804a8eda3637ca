#include "Views/QuoteMarks.h"

#include "LumbraCore/Worker.h"
#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"
#include "Views/Style.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

QuoteMarks::QuoteMarks(Reader& reader, QuoteWebView& page, ReadingView& text, QWidget* parent)
    : QObject(parent), m_reader(reader), m_page(page), m_text(text), m_count(new QToolButton),
      m_menu(new QMenu(m_count)), m_next(new QAction(tr("Next Quote"), parent)),
      m_previous(new QAction(tr("Previous Quote"), parent))
{
    m_next->setShortcut(QKeySequence(Qt::Key_Q));
    m_previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Q));
    parent->addAction(m_next);
    parent->addAction(m_previous);
    connect(m_next, &QAction::triggered, this, [this] { move(true); });
    connect(m_previous, &QAction::triggered, this, [this] { move(false); });
    m_count->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_count->setAutoRaise(true);
    m_count->setPopupMode(QToolButton::InstantPopup);
    m_count->setMenu(m_menu);
    Accessibility::openOnFirstEntry(m_menu);
    connect(&page, &QuoteWebView::shown, this, [this](qint64 item) {
        if (m_shown && !m_shown->asText && m_shown->item == item) mark();
    });
    connect(&text, &ReadingView::shownWhole, this, [this](qint64 item) {
        if (m_shown && m_shown->asText && m_shown->item == item) mark();
    });
    connect(&reader.quotes(), &Quotes::selectedNoteChanged, this, &QuoteMarks::mark);
    showCount({}, {});
}

bool QuoteMarks::hasQuotes() const
{
    return !m_quotes.isEmpty();
}

void QuoteMarks::showing(std::optional<qint64> item, bool asText, bool dark)
{
    const bool same = item && m_shown && m_shown->item == *item && m_shown->asText == asText &&
                      m_shown->dark == dark;
    if (same) return;
    m_shown.reset();
    if (item) m_shown = Shown{*item, asText, dark};
    m_pageMarks = 0;
    m_pageCurrent = -1;
    showCount({}, {});
    // The view may already show this article (the page kept for the other view): it gets no
    // new signal to mark by.
    if (m_shown) mark();
}

QCoro::Task<> QuoteMarks::mark()
{
    if (!m_shown || m_reader.timeline().selectedId() != m_shown->item) co_return;
    const Shown shown = *m_shown;
    const QStringList quotes = m_reader.quotes().selectedQuotes();
    // The view shows this article whole, or it says so later.
    if (shown.asText ? m_text.shownItem() != shown.item || m_text.isAppending()
                     : m_page.shownItem() != shown.item)
        co_return;
    std::optional<QString> text;
    if (quotes.isEmpty()) {
        text = QString();
    } else if (shown.asText) {
        text = m_text.shownText();
    } else {
        QCoro::Task<std::optional<QString>> reading = m_page.shownText();
        text = co_await guarded(m_lifetime, std::move(reading));
    }
    if (!text) co_return;
    // Thousands of quotes in a long article take a while: never on the window's thread.
    QCoro::Task<QList<std::optional<Highlights::Span>>> finding =
        onWorker([text = *text, quotes] { return Highlights::find(text, quotes); });
    const QList<std::optional<Highlights::Span>> found =
        co_await guarded(m_lifetime, std::move(finding));
    const auto stillShown = [&] {
        return m_shown && m_shown->item == shown.item && m_shown->asText == shown.asText &&
               m_reader.quotes().selectedQuotes() == quotes;
    };
    if (!stillShown()) co_return;
    QList<Highlights::Span> spans;
    for (const std::optional<Highlights::Span>& span : found)
        if (span) spans << *span;
    // A passage quoted twice is one mark.
    std::sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return std::pair(a.start, a.length) < std::pair(b.start, b.length);
    });
    spans.erase(std::unique(spans.begin(), spans.end()), spans.end());
    if (shown.asText) {
        m_text.mark(spans);
    } else {
        // The page gets its layer even without marks: whether an article was quoted is not
        // the page's to learn.
        QCoro::Task<int> drawing = m_page.mark(spans, shown.dark);
        const int drawn = co_await guarded(m_lifetime, std::move(drawing));
        if (!stillShown()) co_return;
        m_pageMarks = std::max(drawn, 0);
        m_pageCurrent = -1;
    }
    showCount(quotes, found);
}

void QuoteMarks::showCount(const QStringList& quotes,
                           const QList<std::optional<Highlights::Span>>& found)
{
    m_quotes = quotes;
    m_count->setText(tr("%n quote(s)", nullptr, int(quotes.size())));
    m_menu->clear();
    m_menu->addAction(m_next);
    m_menu->addAction(m_previous);
    QStringList missing;
    for (qsizetype i = 0; i < quotes.size() && i < found.size(); ++i)
        if (!found[i]) missing << quotes[i];
    QString details = tr("Quotes in this article's note");
    if (!missing.isEmpty()) {
        details = tr("%n of the note's quotes no longer found in the article", nullptr,
                     int(missing.size()));
        m_menu->addSection(tr("No Longer in the Article"));
        constexpr qsizetype listed = 20;
        constexpr qsizetype shownLength = 60;
        for (qsizetype i = 0; i < missing.size() && i < listed; ++i) {
            QString words = missing[i].simplified();
            if (words.size() > shownLength) words = words.left(shownLength) + u'\u2026';
            QAction* entry = m_menu->addAction(Style::menuText(tr("\u201C%1\u201D").arg(words)));
            entry->setEnabled(false);
        }
        if (missing.size() > listed)
            m_menu->addAction(tr("and %n more", nullptr, int(missing.size() - listed)))
                ->setEnabled(false);
    }
    m_count->setToolTip(details);
    m_count->setAccessibleDescription(details);
    m_next->setEnabled(!quotes.isEmpty());
    m_previous->setEnabled(!quotes.isEmpty());
    Q_EMIT countChanged();
}

void QuoteMarks::move(bool forward)
{
    if (!m_shown) return;
    if (m_shown->asText) {
        m_text.moveToMark(forward);
        return;
    }
    QWidget* window = m_count->window();
    if (m_pageMarks == 0) {
        Accessibility::say(window, tr("No quotes marked"));
        return;
    }
    const int next = m_pageCurrent + (forward ? 1 : -1);
    if (next < 0 || next >= m_pageMarks) {
        Accessibility::say(window, tr("No more quotes"));
        return;
    }
    m_pageCurrent = next;
    m_page.reveal(next);
    Accessibility::say(window, tr("Quote %1 of %2").arg(next + 1).arg(m_pageMarks));
}
