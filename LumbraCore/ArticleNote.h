#pragma once

#include "LumbraCore/Quote.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <functional>

// The vault sub-folder that holds the article notes.
inline const QString articleFolder = QStringLiteral("lumbra");

// Which note in the vault belongs to an article, and what it reads after one more quote.
// Pure text work: the caller reads and writes the files.
namespace ArticleNote {

// The author note name the front matter links to; may be empty.
QString author(const Quote& quote);

// The article's address; none when it has none or only a blank one.
std::optional<QString> address(const Quote& quote);

// The vault-relative path of the article's note ("lumbra/<name>.md"): the plain name, or
// when `taken` says that is another's, the name with the site's domain, then with the item
// id (and a number) added, whichever `taken` first lets go.
QString path(const Quote& quote, const std::function<bool(const QString&)>& taken);

// Whether an existing note's text belongs to the quote's article.
bool isFor(const QString& noteText, const Quote& quote);
// Whether it is the note Lumbra wrote for the article: its top is Lumbra's for the article
// (front matter with its date and the article's address, or without an address the title
// line) and it holds a quote block of the article's item. A user's note that holds quotes
// pasted from it is not. Only such a note is ever written to.
bool isLumbraNoteFor(const QString& noteText, const Quote& quote);

// What one of Lumbra's notes says about the articles it may belong to: the item ids of
// its quote blocks and the addresses on its "url:" lines; nothing for any other note. A
// hint for finding a note that moved; `isLumbraNoteFor` decides.
struct Owners {
    QStringList urls;
    QList<qint64> itemIds;
};
Owners owners(const QString& noteText);
// An article address as a note writes it, to compare with `Owners::urls`.
QString writtenUrl(const QString& url);

// The complete new note text: `existing` ("" for a new note) with the quote appended, or a
// new note with front matter and title when `existing` holds only white space.
QString append(const QString& existing, const Quote& quote, const QTimeZone& timeZone);

} // namespace ArticleNote
