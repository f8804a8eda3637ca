#include "LumbraCore/Search.h"

#include "LumbraCore/Text.h"
#include "LumbraCore/internal/Unicode.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <cstring>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

namespace Search {

namespace {

const icu::Normalizer2& decomposition()
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status) || !nfd) qFatal("ICU has no NFD normalizer");
    return *nfd;
}

// Case folded, decomposed, without combining marks: what compares equal for a reader.
icu::UnicodeString folded(const icu::UnicodeString& text)
{
    static const icu::Normalizer2& nfd = decomposition();
    icu::UnicodeString lower(text);
    lower.foldCase();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString parts = nfd.normalize(lower, status);
    if (U_FAILURE(status)) return lower;
    icu::UnicodeString kept;
    for (int32_t at = 0; at < parts.length();) {
        const UChar32 c = parts.char32At(at);
        if (u_charType(c) != U_NON_SPACING_MARK) kept.append(c);
        at += U16_LENGTH(c);
    }
    return kept;
}

} // namespace

QByteArray fold(const QString& text)
{
    // Most text is ASCII: lower-cased here; only the runs beyond it go through ICU.
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype at = 0; at < text.size();) {
        const char16_t c = text.at(at).unicode();
        if (c < 0x80) {
            out += char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++at;
            continue;
        }
        qsizetype end = at + 1;
        while (end < text.size() && text.at(end).unicode() >= 0x80)
            ++end;
        out += Unicode::fromIcu(folded(Unicode::toIcu(QStringView(text).sliced(at, end - at))))
                   .toUtf8();
        at = end;
    }
    return out;
}

namespace {

// The start of an HTML body's text: tags and the insides of scripts and styles dropped,
// entities decoded; about `max` characters. One pass over the bytes it reads.
QString plainText(const QByteArray& html, qsizetype max)
{
    QByteArray text;
    text.reserve(std::min<qsizetype>(html.size(), max * 2));
    const char* at = html.constData();
    const char* const end = at + html.size();
    const auto startsTag = [&](const char* p, QByteArrayView name) {
        return end - p > name.size() &&
               QByteArrayView(p + 1, name.size()).compare(name, Qt::CaseInsensitive) == 0;
    };
    while (at < end && text.size() < max * 2) {
        if (*at != '<') {
            text += *at++;
            continue;
        }
        // Script and style contents are not text: skip to their closing tag.
        for (const QByteArrayView skipped : {QByteArrayView("script"), QByteArrayView("style")}) {
            if (!startsTag(at, skipped)) continue;
            // Its closing tag, in any case ("</SCRIPT>" too).
            const char* close = at + 1;
            while (close < end) {
                close = static_cast<const char*>(std::memchr(close, '<', size_t(end - close)));
                if (!close) break;
                if (close + 1 < end && close[1] == '/' && startsTag(close + 1, skipped)) break;
                ++close;
            }
            at = close && close < end ? close + 1 : end;
            break;
        }
        const void* tagEnd = std::memchr(at, '>', size_t(end - at));
        at = tagEnd ? static_cast<const char*>(tagEnd) + 1 : end;
        text += ' ';
    }
    return decodeEntities(QString::fromUtf8(text)).left(max);
}

bool isQuerySpace(char c)
{
    // What `words` splits a query at, so no query word holds one.
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// `text`'s words, each once, in the order they first appear. A word typed in the search
// holds no space, so it is found in the result exactly when it is found in `text`; a long
// list's texts take a fraction of the memory.
QByteArray distinctWords(const QByteArray& text)
{
    // Made in a buffer kept for the thread and copied out at its size: the texts of a long
    // list stay side by side in memory, with no freed space between them.
    thread_local QByteArray out;
    out.resize(0);
    out.reserve(text.size());
    QSet<QByteArrayView> seen;
    seen.reserve(256);
    for (qsizetype at = 0; at < text.size();) {
        if (isQuerySpace(text[at])) {
            ++at;
            continue;
        }
        qsizetype end = at + 1;
        while (end < text.size() && !isQuerySpace(text[end]))
            ++end;
        const QByteArrayView word(text.constData() + at, end - at);
        if (!seen.contains(word)) {
            seen.insert(word);
            if (!out.isEmpty()) out += ' ';
            out += word;
        }
        at = end;
    }
    return QByteArray(out.constData(), out.size());
}

} // namespace

QByteArray textOf(const Item& item, const QString& feedTitle)
{
    const QString text = decodeEntities(item.title.value_or(QString())) + u'\n' +
                         item.author.value_or(QString()) + u'\n' + feedTitle + u'\n' +
                         (item.body ? plainText(item.body->html(), bodyCharacters) : QString());
    return distinctWords(fold(text));
}

QList<QByteArray> words(const QString& query)
{
    QList<QByteArray> found;
    for (const QString& word :
         query.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QByteArray one = fold(word);
        if (!one.isEmpty() && !found.contains(one)) found << one;
    }
    return found;
}

bool matches(const QByteArray& text, const QList<QByteArray>& words)
{
    // glibc's memmem: no table to build per call, and fast on short words.
    for (const QByteArray& word : words)
        if (!::memmem(text.constData(), size_t(text.size()), word.constData(), size_t(word.size())))
            return false;
    return true;
}

QList<QPair<qsizetype, qsizetype>> highlights(const QString& shown, const QList<QByteArray>& words)
{
    if (words.isEmpty() || shown.isEmpty()) return {};
    // Fold character by character, remembering where each folded character came from.
    QString flat;
    QList<qsizetype> origin;
    for (qsizetype at = 0; at < shown.size();) {
        const qsizetype length = shown.at(at).isHighSurrogate() && at + 1 < shown.size() ? 2 : 1;
        const char16_t c = shown.at(at).unicode();
        const QString piece = c < 0x80
                                  ? QString(QChar(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c))
                                  : Unicode::fromIcu(folded(Unicode::toIcu(shown.mid(at, length))));
        flat += piece;
        for (qsizetype i = 0; i < piece.size(); ++i)
            origin << at;
        at += length;
    }
    origin << shown.size();
    QList<bool> marked(shown.size(), false);
    for (const QByteArray& word : words) {
        const QString needle = QString::fromUtf8(word);
        for (qsizetype at = flat.indexOf(needle); at >= 0; at = flat.indexOf(needle, at + 1)) {
            const qsizetype end =
                at + needle.size() < origin.size() - 1 ? origin[at + needle.size()] : shown.size();
            for (qsizetype i = origin[at]; i < std::max(end, origin[at] + 1); ++i)
                marked[i] = true;
        }
    }
    QList<QPair<qsizetype, qsizetype>> ranges;
    for (qsizetype i = 0; i < marked.size();) {
        if (!marked[i]) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < marked.size() && marked[end])
            ++end;
        ranges << qMakePair(i, end - i);
        i = end;
    }
    return ranges;
}

} // namespace Search
