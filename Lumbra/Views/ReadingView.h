#pragma once

#include "LumbraCore/Highlights.h"
#include "Reader/Environment.h"

#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <memory>
#include <optional>

// The article as text a screen reader reads as it reads a document: say-all, reading by
// line, word and character with the caret, H and P (with Shift: back) to the next heading
// and paragraph, Tab to the links. The caret is always there, so Shift with the arrows
// selects a passage for a quote from the keyboard. Built from what the page shows (text its
// style hides is left out), with nothing loaded: no scripts, no images, no navigation; a link
// (clicked, or reached with Tab and opened with Enter) goes to `openExternally`. A text edit, read
// only: screen readers treat it as text to read, where a text browser is a label to them.
class ReadingView final : public QTextEdit {
    Q_OBJECT

public:
    using Opener = std::function<void(const QUrl&)>;

    explicit ReadingView(Opener openExternally, QWidget* parent = nullptr);

    // Shows item `item` as the page showed it, in the parts `QuoteWebView::readableText`
    // gave; `base` resolves its relative links.
    void show(const QStringList& parts, qint64 item, const QUrl& base);
    // Shows nothing until the next article.
    void clearShown();
    // Whether parts of the shown article are still to come.
    bool isAppending() const { return m_appending.isActive(); }
    std::optional<qint64> shownItem() const { return *m_shownItem; }
    // The selected passage, as shown.
    std::shared_ptr<TextSelectionSource> selection() const { return m_selection; }
    // Offered first in the text's menu.
    void setQuoteAction(QAction* action) { m_quoteAction = action; }
    // The shown text, each character at its place in the document: what quotes are found in.
    QString shownText() const { return document()->toRawText(); }
    // Marks these places of the shown text as quoted, in place of earlier marks.
    void mark(QList<Highlights::Span> spans);
    // Moves the caret to the next or previous marked passage and says which it is.
    bool moveToMark(bool forward);

Q_SIGNALS:
    // What moving to a heading, paragraph or quote reached, for screen readers to say.
    void reached(const QString& text);
    // All of item `item`'s text shows.
    void shownWhole(qint64 item);

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    QVariant loadResource(int type, const QUrl& name) override;

private:
    enum class Stop { heading, paragraph };
    bool moveTo(Stop stop, bool forward);
    // The marked passage at `position`; -1 for none.
    qsizetype markAt(int position) const;
    void showMarksInSight();
    void sayEnteredMark();
    void open(const QString& link);
    void appendPart();

    Opener m_open;
    std::shared_ptr<std::optional<qint64>> m_shownItem;
    std::shared_ptr<TextSelectionSource> m_selection;
    QPointer<QAction> m_quoteAction;
    QTimer m_appending;
    QStringList m_rest;
    qsizetype m_nextPart = 0;
    QList<Highlights::Span> m_marks; // in the text's order
    qsizetype m_caretMark = -1;      // the marked passage the caret is in
    bool m_movingToMark = false;
    std::optional<int> m_reachedLink; // where Tab left the caret, at a link's start
};
