#pragma once

#include "LumbraCore/Quote.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>

// Where a vault's article notes are, by the articles they name, so that a note the user
// moved or renamed is still found. Built once per vault by reading its Markdown files,
// then kept current as Lumbra writes. Not thread-safe: one thread uses it at a time.
class NoteIndex final {
public:
    // Whether the index describes the vault at `root` (a canonical path).
    bool covers(const QString& root) const { return m_built && m_root == root; }
    // Whether the user may have moved notes since it was built, long enough ago that
    // reading the vault again costs little.
    bool isOld() const { return m_age.hasExpired(5 * 60 * 1000); }
    // Reads every Markdown file in the vault; hidden folders are skipped and symbolic links
    // never followed.
    void build(const QString& root);
    // Notes that may belong to the quote's article, in a stable order; the owner test decides.
    QStringList candidates(const Quote& quote) const;
    // Records what a note now holds.
    void add(const QString& path, const QString& text);
    qsizetype noteCount() const { return m_notes; }
    // How often the vault was read.
    int reads() const { return m_reads; }
    // Ends a build under way, and every later one, at the next file: quitting need not wait
    // for a large vault to be read. Safe from any thread.
    void stop() { m_stopped = true; }

private:
    QString m_root;
    bool m_built = false;
    QElapsedTimer m_age;
    qsizetype m_notes = 0;
    int m_reads = 0;
    QHash<QString, QSet<QString>> m_byUrl;
    QHash<qint64, QSet<QString>> m_byItem;
    std::atomic<bool> m_stopped = false;
};
