#include "Vault.h"

#include "ArticleNote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

QString appendToNote(const Quote& quote, const QString& vaultPath)
{
    const QDir vault(vaultPath);
    const auto taken = [&](const QString& candidate) {
        // Only a readable note of another article occupies a name.
        QFile file(vault.filePath(candidate));
        if (!file.open(QIODevice::ReadOnly)) return false;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(file.readAll());
        return !utf8.hasError() && !ArticleNote::isFor(text, quote);
    };
    const QString relative = ArticleNote::path(quote, taken);
    const QString path = QDir::cleanPath(vault.absoluteFilePath(relative));
    const QString folder = QDir::cleanPath(vault.absoluteFilePath(articleFolder)) + u'/';
    const QString name = QFileInfo(relative).completeBaseName();
    if (!path.startsWith(folder))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" would lie outside the vault's lumbra folder."));

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw VaultError(QStringLiteral("couldn't create the folder ") +
                         quoted(QFileInfo(path).absolutePath()) + u'.');
    const QString old = readNote(path, name);
    if (isReadOnly(path))
        throw VaultError(QStringLiteral("the note ") + quoted(name) +
                         QStringLiteral(" is read-only, so it was left as it is."));

    const QString text = ArticleNote::append(old, quote, QTimeZone::systemTimeZone());
    QSaveFile file(path); // a temporary file beside the note, renamed over it when complete
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw VaultError(QStringLiteral("couldn't save the note ") + quoted(name) +
                         QStringLiteral(" (") + file.errorString() + QStringLiteral(")."));
    return name;
}

} // namespace Vault
