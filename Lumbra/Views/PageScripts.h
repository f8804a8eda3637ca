#pragma once

#include "LumbraCore/Highlights.h"

#include <QString>

// Scripts run on an article's page in the application's own world, which the page's
// disabled JavaScript does not block. Both see the page as the reader does: text the
// page's style hides is neither quoted nor read.
namespace PageScripts {

// The selected passage as the reader saw it: a string.
QString visibleSelection();

// What the page shows, as plain HTML a text view lays out quickly: headings, paragraphs,
// links, emphasis, lists, quotes and tables, nested only a few levels deep (deeper ones
// become plain blocks), images as what they stand for. An array of strings, each whole
// blocks of about 64 KB, to be shown one after another.
QString readableParts();

// The text the page shows, as one string; the script keeps where each piece came from, for
// `marks`.
QString shownText();
// Marks the passages of `spans` (places in `shownText`'s string) over the text, in a closed
// shadow root: the page's style cannot reach the marks, nor tell where they are.
QString marks(const QList<Highlights::Span>& spans, bool dark);
// Rings mark `index` and scrolls it into view; the number of marks drawn, or -1 for none.
QString reveal(int index);

} // namespace PageScripts
