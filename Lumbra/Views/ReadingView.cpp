#include "Views/ReadingView.h"

#include "Views/Accessibility.h"
#include "Views/QuoteWebView.h"
#include "Views/Style.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>

namespace {

// The view's selection as the quote takes it: paragraphs apart by a blank line, line
// breaks kept.
class ReadingSelection final : public TextSelectionSource {
public:
    ReadingSelection(QTextEdit* view, std::shared_ptr<const std::optional<qint64>> shown)
        : m_view(view), m_shown(std::move(shown))
    {
    }

    std::optional<qint64> shownItem() const override { return m_view ? *m_shown : std::nullopt; }

    QCoro::Task<std::optional<QString>> selectedText() override
    {
        if (!m_view) co_return std::nullopt;
        QString text = m_view->textCursor().selectedText();
        text.replace(QChar::ParagraphSeparator, QStringLiteral("\n\n"));
        text.replace(QChar::LineSeparator, u'\n');
        text.remove(QChar::ObjectReplacementCharacter);
        co_return text;
    }

private:
    QPointer<QTextEdit> m_view;
    std::shared_ptr<const std::optional<qint64>> m_shown;
};

bool isStopKey(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers others =
        key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return others == Qt::NoModifier &&
           (key->key() == Qt::Key_H || key->key() == Qt::Key_P || key->key() == Qt::Key_Q);
}

} // namespace

ReadingView::ReadingView(Opener openExternally, QWidget* parent)
    : QTextEdit(parent), m_open(std::move(openExternally)),
      m_shownItem(std::make_shared<std::optional<qint64>>())
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                            Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setAccessibleName(tr("Article text"));
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
    m_selection = std::make_shared<ReadingSelection>(this, m_shownItem);
    document()->setUndoRedoEnabled(false);
    m_appending.setInterval(0);
    connect(&m_appending, &QTimer::timeout, this, &ReadingView::appendPart);
    connect(this, &QTextEdit::cursorPositionChanged, this, &ReadingView::sayEnteredMark);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ReadingView::showMarksInSight);
}

void ReadingView::open(const QString& link)
{
    const QUrl url = document()->baseUrl().resolved(QUrl(link));
    if (ArticlePage::mayOpen(url)) m_open(url);
}

void ReadingView::mouseReleaseEvent(QMouseEvent* event)
{
    const QString link = event->button() == Qt::LeftButton && !textCursor().hasSelection()
                             ? anchorAt(event->position().toPoint())
                             : QString();
    QTextEdit::mouseReleaseEvent(event);
    if (!link.isEmpty()) open(link);
}

// Tab goes from link to link, then on to the next control. The caret goes to the link's
// start without selecting it: Orca reads a selection out as it changes ("First", then
// "First unselected"), so the link was heard two or three times over.
bool ReadingView::focusNextPrevChild(bool next)
{
    if (!hasFocus()) return QTextEdit::focusNextPrevChild(next);
    QTextCursor cursor = textCursor();
    const int at = next ? cursor.selectionEnd() : cursor.selectionStart();
    const bool onReachedLink = !cursor.hasSelection() && m_reachedLink == at;
    const int from = next ? at + (onReachedLink ? 1 : 0) : at - 1;
    for (QTextBlock block = document()->findBlock(std::max(from, 0)); block.isValid();
         block = next ? block.next() : block.previous()) {
        QList<QTextLayout::FormatRange> formats = block.textFormats();
        if (!next) std::reverse(formats.begin(), formats.end());
        for (const QTextLayout::FormatRange& range : std::as_const(formats)) {
            const int start = block.position() + range.start;
            const int end = start + range.length;
            if (!range.format.isAnchor() || (next ? start < from : end > from + 1)) continue;
            cursor.setPosition(start);
            setTextCursor(cursor);
            ensureCursorVisible();
            m_reachedLink = start;
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            Q_EMIT reached(tr("%1, link").arg(cursor.selectedText()));
            return true;
        }
    }
    return QTextEdit::focusNextPrevChild(next);
}

void ReadingView::show(const QStringList& parts, qint64 item, const QUrl& base)
{
    clearShown();
    document()->setBaseUrl(base);
    if (parts.isEmpty()) return;
    setHtml(parts.constFirst());
    moveCursor(QTextCursor::Start);
    *m_shownItem = item;
    // Reached before its text came, the view is read again: screen readers keep what they
    // read on the focus, and would find nothing to read.
    if (hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
    // The rest a part per turn of the event loop, so the window answers while a long article
    // is laid out; the caret stays where the reader is.
    m_rest = parts.mid(1);
    m_nextPart = 0;
    if (!m_rest.isEmpty())
        m_appending.start();
    else
        Q_EMIT shownWhole(item);
}

void ReadingView::clearShown()
{
    m_appending.stop();
    m_rest.clear();
    *m_shownItem = std::nullopt;
    m_marks.clear();
    m_caretMark = -1;
    m_reachedLink.reset(); // another article's link may start where that one did
    clear();
}

void ReadingView::appendPart()
{
    if (m_nextPart >= m_rest.size()) {
        m_appending.stop();
        m_rest.clear();
        if (*m_shownItem) Q_EMIT shownWhole(**m_shownItem);
        return;
    }
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    end.insertHtml(m_rest.at(m_nextPart++));
}

QVariant ReadingView::loadResource(int, const QUrl&)
{
    return {}; // nothing from disk or the network: only the document's own text
}

bool ReadingView::event(QEvent* event)
{
    // H and P move here; no shortcut of the window takes them from the article.
    if (event->type() == QEvent::ShortcutOverride && isStopKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QTextEdit::event(event);
}

void ReadingView::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter) {
        // The link selected, or the one the caret is at (where Tab leaves it).
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection()) cursor.movePosition(QTextCursor::NextCharacter);
        const QString link = cursor.charFormat().anchorHref();
        if (!link.isEmpty()) {
            open(link);
            return;
        }
    }
    if (!isStopKey(event)) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    const bool forward = !(event->modifiers() & Qt::ShiftModifier);
    if (event->key() == Qt::Key_Q)
        moveToMark(forward);
    else
        moveTo(event->key() == Qt::Key_H ? Stop::heading : Stop::paragraph, forward);
}

void ReadingView::mark(QList<Highlights::Span> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const auto& a, const auto& b) { return a.start < b.start; });
    m_marks = std::move(spans);
    m_caretMark = markAt(textCursor().position());
    showMarksInSight();
}

// Only the marks in sight are drawn: a change to the text's own format lays a long article
// out again, and every extra selection is looked at for each line painted.
void ReadingView::showMarksInSight()
{
    QList<ExtraSelection> shown;
    if (!m_marks.isEmpty()) {
        const int first = cursorForPosition(QPoint(0, 0)).position();
        const int last = cursorForPosition(viewport()->rect().bottomRight()).position();
        QTextCharFormat marked;
        marked.setBackground(Style::isDark(palette()) ? QColor(0x5c, 0x4a, 0x00)
                                                      : QColor(0xff, 0xe0, 0x66));
        for (const Highlights::Span& span : std::as_const(m_marks)) {
            if (span.start > last) break;
            if (span.start + span.length < first) continue;
            QTextCursor cursor(document());
            cursor.setPosition(int(span.start));
            cursor.setPosition(int(span.start + span.length), QTextCursor::KeepAnchor);
            shown << ExtraSelection{cursor, marked};
        }
    }
    setExtraSelections(shown);
}

void ReadingView::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    showMarksInSight();
}

qsizetype ReadingView::markAt(int position) const
{
    const auto after = std::upper_bound(m_marks.cbegin(), m_marks.cend(), position,
                                        [](int at, const auto& span) { return at < span.start; });
    if (after == m_marks.cbegin()) return -1;
    const qsizetype index = after - m_marks.cbegin() - 1;
    const Highlights::Span& span = m_marks[index];
    return position < span.start + span.length ? index : -1;
}

void ReadingView::sayEnteredMark()
{
    const qsizetype now = markAt(textCursor().position());
    const bool entered = now >= 0 && now != m_caretMark;
    m_caretMark = now;
    if (entered && !m_movingToMark) Q_EMIT reached(tr("Quoted"));
}

bool ReadingView::moveToMark(bool forward)
{
    const int position = textCursor().position();
    qsizetype index = -1;
    for (qsizetype i = 0; i < m_marks.size(); ++i) {
        const qsizetype at = forward ? i : m_marks.size() - 1 - i;
        if (forward ? m_marks[at].start > position
                    : m_marks[at].start < position && markAt(position) != at) {
            index = at;
            break;
        }
    }
    if (index < 0) {
        Q_EMIT reached(m_marks.isEmpty() ? tr("No quotes marked") : tr("No more quotes"));
        return false;
    }
    const Highlights::Span& span = m_marks[index];
    QTextCursor cursor = textCursor();
    cursor.setPosition(int(span.start));
    m_movingToMark = true;
    setTextCursor(cursor);
    m_movingToMark = false;
    ensureCursorVisible();
    // Said whole up to a long paragraph's length; the caret reads on from its start.
    constexpr qsizetype saidLength = 300;
    QTextCursor passage(document());
    passage.setPosition(int(span.start));
    passage.setPosition(int(span.start + span.length), QTextCursor::KeepAnchor);
    QString text = passage.selectedText();
    text.replace(QChar::ParagraphSeparator, u' ').replace(QChar::LineSeparator, u' ');
    text = text.simplified();
    if (text.size() > saidLength) text = text.left(saidLength) + u'\u2026';
    Q_EMIT reached(tr("Quote %1 of %2: %3").arg(index + 1).arg(m_marks.size()).arg(text));
    return true;
}

bool ReadingView::moveTo(Stop stop, bool forward)
{
    const QTextBlock from = textCursor().block();
    for (QTextBlock block = forward ? from.next() : from.previous(); block.isValid();
         block = forward ? block.next() : block.previous()) {
        const int level = block.blockFormat().headingLevel();
        const QString text = block.text().trimmed();
        if (text.isEmpty() || (stop == Stop::heading) != (level > 0)) continue;
        setTextCursor(QTextCursor(block));
        ensureCursorVisible();
        Q_EMIT reached(level > 0 ? tr("%1, heading level %2").arg(text, QString::number(level))
                                 : text);
        return true;
    }
    Q_EMIT reached(stop == Stop::heading ? tr("No more headings") : tr("No more paragraphs"));
    return false;
}

void ReadingView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(event->pos());
    QuoteWebView::offerQuoteFirst(menu, m_quoteAction);
    if (event->reason() != QContextMenuEvent::Mouse) Accessibility::openOnFirstEntry(menu);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
