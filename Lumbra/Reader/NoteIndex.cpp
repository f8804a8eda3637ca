#include "Reader/NoteIndex.h"

#include "LumbraCore/ArticleNote.h"
#include "LumbraCore/Logging.h"
#include "Reader/NoteFiles.h"

#include <QDirIterator>
#include <QStringDecoder>
#include <algorithm>

namespace {
// Notes are text a person writes; anything larger is not one of Lumbra's.
constexpr qint64 largestNote = 16'000'000;
} // namespace

void NoteIndex::build(const QString& root)
{
    m_root = root;
    m_built = true;
    ++m_reads;
    m_age.start();
    m_notes = 0;
    m_byUrl.clear();
    m_byItem.clear();
    QStringList folders{root};
    while (!folders.isEmpty()) {
        QDirIterator it(folders.takeLast(), QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            if (m_stopped) {
                m_built = false;
                return;
            }
            const QFileInfo info = it.nextFileInfo();
            // ".obsidian", ".trash" and other hidden folders hold no notes of the user's.
            if (info.isSymLink() || info.fileName().startsWith(u'.')) continue;
            if (info.isDir()) {
                folders << info.filePath();
            } else if (info.suffix() == QLatin1StringView("md")) {
                const NoteFiles::Contents note = NoteFiles::read(info.filePath(), largestNote);
                if (note.kind != NoteFiles::Kind::Regular || !note.error.isEmpty() || note.tooLarge)
                    continue;
                QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                const QString text = utf8.decode(note.bytes);
                if (!utf8.hasError()) add(info.filePath(), text);
            }
        }
    }
    qCDebug(lcVault) << "indexed" << m_notes << "notes";
}

void NoteIndex::add(const QString& path, const QString& text)
{
    const ArticleNote::Owners owners = ArticleNote::owners(text);
    if (owners.urls.isEmpty() && owners.itemIds.isEmpty()) return;
    ++m_notes;
    for (const QString& url : owners.urls)
        m_byUrl[url].insert(path);
    for (qint64 id : owners.itemIds)
        m_byItem[id].insert(path);
}

QStringList NoteIndex::candidates(const Quote& quote) const
{
    QSet<QString> found = m_byItem.value(quote.itemId);
    if (const auto url = ArticleNote::address(quote))
        found.unite(m_byUrl.value(ArticleNote::writtenUrl(*url)));
    QStringList sorted(found.begin(), found.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}
