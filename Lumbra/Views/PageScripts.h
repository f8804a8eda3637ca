#pragma once

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

} // namespace PageScripts
