#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Lifetime.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <optional>
#include <qcoro/qcorotask.h>

// Excerpts of the listed articles, made when a row first asks for one and kept for as long
// as the article's body stays the same, across reloads. Long bodies are cut on a worker, so
// painting a row never waits: the row shows its excerpt once `made` says it is there.
class Excerpts final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The excerpt of the item's body; empty while a long one is being made.
    QString of(qint64 id, const std::optional<ArticleBody>& body);
    // Forgets the excerpts of items not in `items`, the new list.
    void keepOnly(const QList<Item>& items);

Q_SIGNALS:
    void made(qint64 id);

private:
    QCoro::Task<> make(qint64 id, size_t bodyHash, ArticleBody body);

    struct Excerpt {
        const char* body = nullptr; // the bytes it was made from, while they live in a list
        size_t bodyHash = 0;
        QString text;
    };
    QHash<qint64, Excerpt> m_excerpts;
    QSet<qint64> m_pending; // being made on a worker
    Lifetime m_lifetime;    // last: it ends first
};
