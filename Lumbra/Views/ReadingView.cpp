#include "Views/ReadingView.h"

#include "Views/Accessibility.h"
#include "Views/QuoteWebView.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
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
    return others == Qt::NoModifier && (key->key() == Qt::Key_H || key->key() == Qt::Key_P);
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

// Tab goes from link to link, then on to the next control.
bool ReadingView::focusNextPrevChild(bool next)
{
    if (!hasFocus()) return QTextEdit::focusNextPrevChild(next);
    QTextCursor cursor = textCursor();
    const int from = next ? cursor.selectionEnd() : cursor.selectionStart() - 1;
    for (QTextBlock block = document()->findBlock(std::max(from, 0)); block.isValid();
         block = next ? block.next() : block.previous()) {
        QList<QTextLayout::FormatRange> formats = block.textFormats();
        if (!next) std::reverse(formats.begin(), formats.end());
        for (const QTextLayout::FormatRange& range : std::as_const(formats)) {
            const int start = block.position() + range.start;
            const int end = start + range.length;
            if (!range.format.isAnchor() || (next ? start < from : end > from + 1)) continue;
            cursor.setPosition(start);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            setTextCursor(cursor);
            ensureCursorVisible();
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
    if (!m_rest.isEmpty()) m_appending.start();
}

void ReadingView::clearShown()
{
    m_appending.stop();
    m_rest.clear();
    *m_shownItem = std::nullopt;
    clear();
}

void ReadingView::appendPart()
{
    if (m_nextPart >= m_rest.size()) {
        m_appending.stop();
        m_rest.clear();
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
    if (enter && textCursor().hasSelection()) {
        const QString link = textCursor().charFormat().anchorHref();
        if (!link.isEmpty()) {
            open(link);
            return;
        }
    }
    if (!isStopKey(event)) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    const Stop stop = event->key() == Qt::Key_H ? Stop::heading : Stop::paragraph;
    moveTo(stop, !(event->modifiers() & Qt::ShiftModifier));
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
