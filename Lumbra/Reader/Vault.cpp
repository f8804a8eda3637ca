#include "Reader/Vault.h"

#include "LumbraCore/ArticleNote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimeZone>

namespace Vault {

namespace {

QString quoted(const QString& name)
{
    return u'\u201C' + name + u'\u201D';
}

// The note's text; "" when there is no note yet. Throws when a note exists but cannot be
// used, so it is never replaced.
QString readNote(const QString& path, const QString& name)
{
    QFile file(path);
    if (!file.exists()) return QString();
    if (!file.open(QIODevice::ReadOnly))
        throw VaultError(QStringLiteral("couldn't read the note ") + quoted(name) +
                         QStringLiteral(" (") + file.errorString() +
                         QStringLiteral("), so it was left as it is."));
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is not UTF-8 text, so it was left as it is."));
    return text;
}

bool isReadOnly(const QString& path)
{
    const QFileInfo info(path);
    // The owner's bit, not access(): a user with every right still keeps read-only notes.
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

// The real location of `path`'s folder must lie in the vault's lumbra folder: symbolic
// links inside the vault are never followed out of it.
void requireInside(const QString& path, const QString& folder, const QString& name)
{
    const QFileInfo note(path);
    if (note.isSymLink())
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is a symbolic link, so it was left as it is."));
    const QString real = QFileInfo(note.absolutePath()).canonicalFilePath() + u'/';
    if (!real.startsWith(folder))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" would lie outside the vault's lumbra folder."));
}

QString appendLocked(const Quote& quote, const QDir& vault, const QString& folder);

} // namespace

QString appendToNote(const Quote& quote, const QString& vaultPath)
{
    // Follow the vault's own path to wherever it really is, once.
    QDir vault(vaultPath);
    if (!vault.exists() && !QDir().mkpath(vault.absolutePath()))
        throw VaultError(QStringLiteral("couldn't create the vault folder ") +
                         quoted(vault.absolutePath()) + u'.');
    vault.setPath(vault.canonicalPath());
    const QString lumbra = vault.filePath(articleFolder);
    if (QFileInfo(lumbra).isSymLink())
        throw VaultError(QStringLiteral("the vault's lumbra folder is a symbolic link, so "
                                        "nothing was written."));
    if (!QDir().mkpath(lumbra))
        throw VaultError(QStringLiteral("couldn't create the folder ") + quoted(lumbra) + u'.');

    // One writer at a time, across processes: choosing the note, reading it and
    // replacing it happen under the lock.
    QLockFile lock(vault.filePath(articleFolder + QStringLiteral("/.lumbra.lock")));
    lock.setStaleLockTime(30'000);
    if (!lock.tryLock(10'000))
        throw VaultError(QStringLiteral("another Lumbra is writing to the vault; try again."));
    return appendLocked(quote, vault, QDir(lumbra).canonicalPath() + u'/');
}

namespace {

QString appendLocked(const Quote& quote, const QDir& vault, const QString& folder)
{
    const auto taken = [&](const QString& candidate) {
        // Only a readable note of another article occupies a name; a link is not read.
        if (QFileInfo(vault.filePath(candidate)).isSymLink()) return false;
        QFile file(vault.filePath(candidate));
        if (!file.open(QIODevice::ReadOnly)) return false;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(file.readAll());
        return !utf8.hasError() && !ArticleNote::isFor(text, quote);
    };
    const QString relative = ArticleNote::path(quote, taken);
    const QString path = QDir::cleanPath(vault.absoluteFilePath(relative));
    const QString name = QFileInfo(relative).completeBaseName();
    if (!path.startsWith(folder))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" would lie outside the vault's lumbra folder."));
    requireInside(path, folder, name);
    const QString old = readNote(path, name);
    if (isReadOnly(path))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is read-only, so it was left as it is."));

    const QString text = ArticleNote::append(old, quote, QTimeZone::systemTimeZone());
    const QByteArray bytes = text.toUtf8();
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
    return name;
}

} // namespace

} // namespace Vault
