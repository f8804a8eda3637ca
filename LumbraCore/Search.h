#pragma once

#include "LumbraCore/Records.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Finding articles by what they say: texts are compared with case and accents folded
// ("Résumé" matches "resume", "Straße" matches "strasse").
namespace Search {

// How much of an article's text a search looks at, in characters after its tags are gone.
constexpr qsizetype bodyCharacters = 1500;

// `text` with case and accents folded, as UTF-8.
QByteArray fold(const QString& text);

// The folded text a search looks in: the words of the item's title, author, feed title and
// the start of its text (tags removed, entities decoded), each word once.
QByteArray textOf(const Item& item, const QString& feedTitle);

// The folded words of what the user typed; none for an empty query.
QList<QByteArray> words(const QString& query);

// Whether `text` (from textOf) contains every word.
bool matches(const QByteArray& text, const QList<QByteArray>& words);

// Where the words occur in `shown` (a title or excerpt as displayed): start and length in
// `shown`'s characters, in order, not overlapping.
QList<QPair<qsizetype, qsizetype>> highlights(const QString& shown, const QList<QByteArray>& words);

} // namespace Search
