#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>

// An article's HTML, held compressed. Bodies are most of what a long list holds, and only
// the article shown, the excerpts in sight and the search's texts ever read them.
class ArticleBody {
public:
    ArticleBody() = default;
    // `html` as the server sent it (UTF-8, not checked).
    explicit ArticleBody(QByteArrayView html);

    // The HTML given, byte for byte.
    QByteArray html() const;
    // Its length in bytes, without decompressing it.
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_stored.isEmpty(); }

    // What is held: the same HTML is always held as the same bytes, so these identify it.
    const QByteArray& stored() const { return m_stored; }

    friend bool operator==(const ArticleBody& a, const ArticleBody& b)
    {
        return a.m_compressed == b.m_compressed &&
               (a.m_stored.isSharedWith(b.m_stored) || a.m_stored == b.m_stored);
    }

private:
    QByteArray m_stored;
    // Kept here, not read from the stored frame: lists ask every item's size at once.
    qsizetype m_size = 0;
    bool m_compressed = false; // short or incompressible bodies are held as they are
};

size_t qHash(const ArticleBody& body, size_t seed = 0) noexcept;
