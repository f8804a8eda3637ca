#include "Reader/Vault.h"

#include "LumbraCore/ArticleNote.h"
#include "LumbraCore/Highlights.h"
#include "LumbraCore/Logging.h"
#include "Reader/NoteFiles.h"
#include "Reader/NoteIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

VaultError::VaultError(VaultProblem problem)
    : LumbraError(QStringLiteral("vault problem %1: %2 %3")
                      .arg(int(problem.kind))
                      .arg(problem.subject, problem.cause)
                      .trimmed()),
      m_problem(std::move(problem))
{
}

namespace Vault {

namespace {

constexpr qint64 largestNote = 64'000'000;
const QByteArray byteOrderMark("\xEF\xBB\xBF");

bool readable(const NoteFiles::Contents& note)
{
    return note.kind == NoteFiles::Kind::Regular && note.error.isEmpty() && !note.tooLarge;
}

struct NoteText {
    QString text; // "" when there is no note yet
    bool byteOrderMark = false;
    QByteArray bytes; // as read
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
    using enum VaultProblem::Kind;
    if (note.kind == NoteFiles::Kind::Other) throw VaultError(VaultProblem(noteNotRegular, name));
    if (note.tooLarge) throw VaultError(VaultProblem::tooLarge(name, largestNote));
    if (!note.error.isEmpty()) throw VaultError(VaultProblem(noteUnreadable, name, note.error));
    std::optional<QString> text = decoded(note.bytes);
    if (!text) throw VaultError(VaultProblem(noteNotText, name));
    return {*text, note.bytes.startsWith(byteOrderMark), note.bytes};
}

// Whether the file at `path` is a readable note of the quote's article.
bool holdsNoteOf(const QString& path, const Quote& quote)
{
    const NoteFiles::Contents note = NoteFiles::read(path, largestNote);
    if (!readable(note)) return false;
    const std::optional<QString> text = decoded(note.bytes);
    return text && ArticleNote::isLumbraNoteFor(*text, quote);
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
        throw VaultError(VaultProblem(VaultProblem::Kind::noteOutside, name));
}

// The path of the article's note where Lumbra puts it, as the core names it.
QString computedPath(const Quote& quote, const QDir& vault)
{
    const auto taken = [&](const QString& candidate) {
        // Any readable note but Lumbra's own of this article occupies a name; a link is
        // not read.
        const NoteFiles::Contents note = NoteFiles::read(vault.filePath(candidate), largestNote);
        if (!readable(note)) return false;
        const std::optional<QString> text = decoded(note.bytes);
        return text && !ArticleNote::isLumbraNoteFor(*text, quote);
    };
    return QDir::cleanPath(vault.absoluteFilePath(ArticleNote::path(quote, taken)));
}

// A note of this article elsewhere in the vault (moved or renamed by the user). The index
// is read again when a note it lists is no longer where it was (the user moved it), or
// when it is old; a miss is otherwise taken as it stands, so selecting an article without
// a note does not read the vault again.
std::optional<QString> movedNote(const Quote& quote, const QString& root, NoteIndex& index)
{
    bool moved = false;
    const auto lookUp = [&]() -> std::optional<QString> {
        for (const QString& candidate : index.candidates(quote)) {
            const QString real =
                QFileInfo(QFileInfo(candidate).absolutePath()).canonicalFilePath() + u'/';
            if (!real.startsWith(QString(root + u'/')) || !QFileInfo::exists(candidate)) {
                moved = true;
                continue;
            }
            // Another article's note sharing the address is where it was: nothing moved.
            if (holdsNoteOf(candidate, quote)) return candidate;
        }
        return std::nullopt;
    };
    if (!index.covers(root)) index.build(root);
    if (auto found = lookUp()) return found;
    if (!moved && !index.isOld()) return std::nullopt;
    index.build(root);
    return lookUp();
}

VaultProblem lockFailure(const QLockFile& lock, const QString& folder)
{
    using enum VaultProblem::Kind;
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return {busy};
    case QLockFile::PermissionError:
        return {folderNotWritable, folder};
    default:
        if (QStorageInfo(folder).bytesAvailable() == 0) return {diskFull};
        return {noFileInFolder, folder};
    }
}

QString appendLocked(const Quote& quote, const QDir& vault, const QString& lumbraFolder,
                     NoteIndex* index);

enum class InPlace { appended, changed };

// Appends `tail` to the note at `path` where it stands. Lines another program appended
// since the note was read (`size` bytes) stay before it, a line break apart; a note that
// shrank meanwhile was rewritten, and is read again. A write that fails half-way is taken
// back when nothing came after it.
InPlace appendInPlace(const QString& path, qint64 size, QByteArray tail, const QString& name)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw VaultError(VaultProblem(VaultProblem::Kind::noteNotSaved, name,
                                      QString::fromLocal8Bit(std::strerror(errno))));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < size) {
        ::close(fd);
        return InPlace::changed;
    }
    if (info.st_size > size) tail.prepend('\n');
    const qint64 before = info.st_size;
    const ssize_t written = ::write(fd, tail.constData(), size_t(tail.size()));
    const int cause = errno;
    if (written != tail.size()) {
        if (written > 0 && ::fstat(fd, &info) == 0 && info.st_size == before + written &&
            ::ftruncate(fd, before) != 0)
            qCWarning(lcVault) << "a cut-short quote could not be taken back";
        ::close(fd);
        if (written < 0)
            throw VaultError(VaultProblem(VaultProblem::Kind::noteNotSaved, name,
                                          QString::fromLocal8Bit(std::strerror(cause))));
        throw VaultError(VaultProblem::cutShort(name, written, tail.size()));
    }
    ::close(fd);
    return InPlace::appended;
}

} // namespace

QString appendToNote(const Quote& quote, const QString& vaultPath, NoteIndex* index)
{
    // Follow the vault's own path to wherever it really is, once.
    using enum VaultProblem::Kind;
    QDir vault(vaultPath);
    if (!vault.exists() && !QDir().mkpath(vault.absolutePath()))
        throw VaultError(VaultProblem(noVaultFolder, vault.absolutePath()));
    vault.setPath(vault.canonicalPath());
    const QString lumbra = vault.filePath(articleFolder);
    if (QFileInfo(lumbra).isSymLink()) throw VaultError(VaultProblem(lumbraFolderIsLink));
    if (!QDir().mkpath(lumbra)) throw VaultError(VaultProblem(noLumbraFolder, lumbra));

    // One writer at a time, across processes: choosing the note, reading it and
    // replacing it happen under the lock.
    QLockFile lock(vault.filePath(articleFolder + QStringLiteral("/.lumbra.lock")));
    lock.setStaleLockTime(30'000);
    if (!lock.tryLock(10'000)) throw VaultError(lockFailure(lock, lumbra));
    return appendLocked(quote, vault, QDir(lumbra).canonicalPath() + u'/', index);
}

void requireWritable(const QString& folder)
{
    // Tried, not read from the permissions: root may write anywhere but /proc, a read-only
    // mount refuses everyone.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".lumbra-XXXXXX")));
    if (!QFileInfo(folder).isDir() || !probe.open())
        throw VaultError(VaultProblem(VaultProblem::Kind::vaultNotWritable, folder));
}

std::optional<QString> findNote(const Quote& quote, const QString& vaultPath, NoteIndex& index)
{
    const QDir vault(QDir(vaultPath).canonicalPath());
    if (vaultPath.isEmpty() || !vault.exists()) return std::nullopt;
    const QString path = computedPath(quote, vault);
    if (holdsNoteOf(path, quote)) return path;
    return movedNote(quote, vault.absolutePath(), index);
}

QStringList quotesIn(const QString& path)
{
    const NoteFiles::Contents note = NoteFiles::read(path, largestNote);
    if (!readable(note)) return {};
    const std::optional<QString> text = decoded(note.bytes);
    return text ? Highlights::quotes(*text) : QStringList();
}

namespace {

QString appendLocked(const Quote& quote, const QDir& vault, const QString& lumbraFolder,
                     NoteIndex* index)
{
    using enum VaultProblem::Kind;
    QString path = computedPath(quote, vault);
    QString name = QFileInfo(path).completeBaseName();
    if (!path.startsWith(lumbraFolder)) throw VaultError(VaultProblem(noteOutside, name));
    if (QFileInfo(path).isSymLink()) throw VaultError(VaultProblem(noteIsLink, name));
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
    // Another program (an editor, a sync client) may write to the note meanwhile: what it
    // wrote is never lost. Most quotes are appended where the note stands; a note that must
    // be rewritten is replaced only when it is still what was read.
    for (int attempt = 1;; ++attempt) {
        const NoteText old = readNote(path, name);
        // Every name was another's: a note that is not Lumbra's of this article is never
        // written to.
        if (!old.text.trimmed().isEmpty() && !ArticleNote::isLumbraNoteFor(old.text, quote))
            throw VaultError(VaultProblem(noteNotLumbras, name));
        if (isReadOnly(path)) throw VaultError(VaultProblem(noteReadOnly, name));
        if (attempt > 50) throw VaultError(VaultProblem(busy));

        const QString text = ArticleNote::append(old.text, quote, QTimeZone::systemTimeZone());
        if (!old.text.isEmpty() && text.startsWith(old.text)) {
            const QByteArray tail = QStringView(text).sliced(old.text.size()).toUtf8();
            if (appendInPlace(path, old.bytes.size(), tail, name) == InPlace::changed) continue;
        } else {
            // A note that began with a byte-order mark keeps it: some tools expect it.
            const QByteArray bytes =
                (old.byteOrderMark ? byteOrderMark : QByteArray()) + text.toUtf8();
            QSaveFile file(path); // a temporary file beside the note, renamed over it
            const auto failed = [&](VaultProblem problem) {
                file.cancelWriting();
                throw VaultError(std::move(problem));
            };
            // Unbuffered, so a short write shows here; a buffered one would slip through.
            if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                failed(VaultProblem(noteNotSaved, name, file.errorString()));
            // A short write (a full disk, a size limit) is never committed as the note.
            const qint64 written = file.write(bytes);
            if (written < 0) failed(VaultProblem(noteNotSaved, name, file.errorString()));
            if (written != bytes.size())
                failed(VaultProblem::cutShort(name, written, bytes.size()));
            if (NoteFiles::read(path, largestNote).bytes != old.bytes) {
                file.cancelWriting();
                continue;
            }
            if (!file.commit()) failed(VaultProblem(noteNotSaved, name, file.errorString()));
        }
        if (index && index->covers(vault.absolutePath())) index->add(path, text);
        return name;
    }
}

} // namespace

} // namespace Vault
