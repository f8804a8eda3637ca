#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The passages an article's note quotes, found again in the article's text.
namespace Highlights {

// The text of each of the note's quotes as it was taken: every block quote that ends in a
// link back to an article, Markdown's escapes undone, the link and block id left out, its
// lines joined by line breaks. A block quote the user wrote (without the link) is no quote.
QStringList quotes(QStringView noteText);

struct Span {
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(const Span&, const Span&) = default;
};

// Where each quote first stands in `text`, none for a quote that is not there. White space,
// invisible format characters and case are set aside: the note breaks lines where the
// article broke paragraphs, and the page's style may have upper-cased what was selected.
QList<std::optional<Span>> find(QStringView text, const QStringList& quotes);

} // namespace Highlights
