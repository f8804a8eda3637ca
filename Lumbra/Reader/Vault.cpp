#include "Reader/Vault.h"

#include "LumbraCore/ArticleNote.h"
#include "Reader/NoteFiles.h"
#include "Reader/NoteIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QTimeZone>

namespace Vault {

namespace {

constexpr qint64 largestNote = 64'000'000;
const QByteArray byteOrderMark("\xEF\xBB\xBF");

QString quoted(const QString& name)
{
    return u'\u201C' + name + u'\u201D';
}

struct NoteText {
    QString text; // "" when there is no note yet
    bool byteOrderMark = false;
};

// Decodes a note's bytes; none when they are not UTF-8.
std::optional<QString> decoded(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return std::nullopt;
    return text;
}

// The note's text. Throws when something is at the path that cannot be used as the note,
// so it is never replaced.
NoteText readNote(const QString& path, const QString& name)
{
    const NoteFiles::Contents note = NoteFiles::read(path, largestNote);
    if (note.kind == NoteFiles::Kind::Missing) return {};
    if (note.kind == NoteFiles::Kind::Other)
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is not a regular file, so it was left as it is."));
    if (!note.error.isEmpty())
        throw VaultError(QStringLiteral("couldn't read the note ") + quoted(name) +
                         QStringLiteral(" (") + note.error +
                         QStringLiteral("), so it was left as it is."));
    std::optional<QString> text = decoded(note.bytes);
    if (!text)
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is not UTF-8 text, so it was left as it is."));
    return {*text, note.bytes.startsWith(byteOrderMark)};
}

// Whether the file at `path` is a readable note of the quote's article.
bool holdsNoteOf(const QString& path, const Quote& quote)
{
    const NoteFiles::Contents note = NoteFiles::read(path, largestNote);
    if (note.kind != NoteFiles::Kind::Regular || !note.error.isEmpty()) return false;
    const std::optional<QString> text = decoded(note.bytes);
    return text && ArticleNote::isFor(*text, quote);
}

bool isReadOnly(const QString& path)
{
    const QFileInfo info(path);
    // The owner's bit, not access(): a user with every right still keeps read-only notes.
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

// The real location of `path`'s folder must lie in `folder`: symbolic links inside the
// vault are never followed out of it.
void requireInside(const QString& path, const QString& folder, const QString& name)
{
    const QString real = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath() + u'/';
    if (!real.startsWith(folder))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" would lie outside the vault's lumbra folder."));
}

// The path of the article's note where Lumbra puts it, as the core names it.
QString computedPath(const Quote& quote, const QDir& vault)
{
    const auto taken = [&](const QString& candidate) {
        // Only a readable note of another article occupies a name; a link is not read.
        const NoteFiles::Contents note = NoteFiles::read(vault.filePath(candidate), largestNote);
        if (note.kind != NoteFiles::Kind::Regular || !note.error.isEmpty()) return false;
        const std::optional<QString> text = decoded(note.bytes);
        return text && !ArticleNote::isFor(*text, quote);
    };
    return QDir::cleanPath(vault.absoluteFilePath(ArticleNote::path(quote, taken)));
}

// A note of this article elsewhere in the vault (moved or renamed by the user). The index
// is read again when it lists a note of the article that is no longer where it was (the
// user moved it), or when it is old.
std::optional<QString> movedNote(const Quote& quote, const QString& root, NoteIndex& index)
{
    bool moved = false;
    const auto lookUp = [&]() -> std::optional<QString> {
        for (const QString& candidate : index.candidates(quote)) {
            const QString real =
                QFileInfo(QFileInfo(candidate).absolutePath()).canonicalFilePath() + u'/';
            if (real.startsWith(QString(root + u'/')) && holdsNoteOf(candidate, quote))
                return candidate;
            moved = true;
        }
        return std::nullopt;
    };
    if (!index.covers(root)) index.build(root);
    if (auto found = lookUp()) return found;
    if (!moved && !index.isOld()) return std::nullopt;
    index.build(root);
    return lookUp();
}

QString lockFailure(const QLockFile& lock, const QString& folder)
{
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return QStringLiteral("another Lumbra is writing to the vault; try again.");
    case QLockFile::PermissionError:
        return QStringLiteral("Lumbra may not write in the folder ") + quoted(folder) +
               QStringLiteral(", so nothing was written.");
    default:
        if (QStorageInfo(folder).bytesAvailable() == 0)
            return QStringLiteral("the disk holding the vault is full, so nothing was written.");
        return QStringLiteral("couldn't create a file in the folder ") + quoted(folder) +
               QStringLiteral(", so nothing was written.");
    }
}

QString appendLocked(const Quote& quote, const QDir& vault, const QString& lumbraFolder,
                     NoteIndex* index);

} // namespace

QString appendToNote(const Quote& quote, const QString& vaultPath, NoteIndex* index)
{
    // Follow the vault's own path to wherever it really is, once.
    QDir vault(vaultPath);
    if (!vault.exists() && !QDir().mkpath(vault.absolutePath()))
        throw VaultError(QStringLiteral("couldn't create the vault folder ") +
                         quoted(vault.absolutePath()) +
                         QStringLiteral(", so nothing was written."));
    vault.setPath(vault.canonicalPath());
    const QString lumbra = vault.filePath(articleFolder);
    if (QFileInfo(lumbra).isSymLink())
        throw VaultError(QStringLiteral("the vault's lumbra folder is a symbolic link, so "
                                        "nothing was written."));
    if (!QDir().mkpath(lumbra))
        throw VaultError(QStringLiteral("couldn't create the folder ") + quoted(lumbra) +
                         QStringLiteral(", so nothing was written."));

    // One writer at a time, across processes: choosing the note, reading it and
    // replacing it happen under the lock.
    QLockFile lock(vault.filePath(articleFolder + QStringLiteral("/.lumbra.lock")));
    lock.setStaleLockTime(30'000);
    if (!lock.tryLock(10'000)) throw VaultError(lockFailure(lock, lumbra));
    return appendLocked(quote, vault, QDir(lumbra).canonicalPath() + u'/', index);
}

std::optional<QString> findNote(const Quote& quote, const QString& vaultPath, NoteIndex& index)
{
    const QDir vault(QDir(vaultPath).canonicalPath());
    if (vaultPath.isEmpty() || !vault.exists()) return std::nullopt;
    const QString path = computedPath(quote, vault);
    if (holdsNoteOf(path, quote)) return path;
    return movedNote(quote, vault.absolutePath(), index);
}

namespace {

QString appendLocked(const Quote& quote, const QDir& vault, const QString& lumbraFolder,
                     NoteIndex* index)
{
    QString path = computedPath(quote, vault);
    QString name = QFileInfo(path).completeBaseName();
    if (!path.startsWith(lumbraFolder))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" would lie outside the vault's lumbra folder."));
    if (QFileInfo(path).isSymLink())
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is a symbolic link, so it was left as it is."));
    requireInside(path, lumbraFolder, name);
    if (index && !holdsNoteOf(path, quote)) {
        if (const auto moved = movedNote(quote, vault.absolutePath(), *index)) {
            path = *moved;
            // Outside the lumbra folder the user needs the folder too to find it.
            const QString relative = vault.relativeFilePath(path);
            name = path.startsWith(lumbraFolder)
                       ? QFileInfo(path).completeBaseName()
                       : relative.left(relative.size() - QFileInfo(relative).suffix().size() - 1);
        }
    }
    const NoteText old = readNote(path, name);
    if (isReadOnly(path))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is read-only, so it was left as it is."));

    const QString text = ArticleNote::append(old.text, quote, QTimeZone::systemTimeZone());
    // A note that began with a byte-order mark keeps it: some tools expect it.
    const QByteArray bytes = (old.byteOrderMark ? byteOrderMark : QByteArray()) + text.toUtf8();
    QSaveFile file(path); // a temporary file beside the note, renamed over it when complete
    const auto failed = [&](const QString& cause) {
        file.cancelWriting();
        throw VaultError(QStringLiteral("couldn't save the note ") + quoted(name) +
                         QStringLiteral(" (") + cause +
                         QStringLiteral("), so it was left as it was."));
    };
    // Unbuffered, so a short write shows here; a buffered one would slip through commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) failed(file.errorString());
    // A short write (a full disk, a size limit) must not be committed as the whole note.
    const qint64 written = file.write(bytes);
    if (written != bytes.size())
        failed(written < 0
                   ? file.errorString()
                   : QStringLiteral("only %1 of %2 bytes could be written; is the disk full?")
                         .arg(written)
                         .arg(bytes.size()));
    if (!file.commit()) failed(file.errorString());
    if (index && index->covers(vault.absolutePath())) index->add(path, text);
    return name;
}

} // namespace

} // namespace Vault
