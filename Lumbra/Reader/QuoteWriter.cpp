#include "Reader/QuoteWriter.h"

#include "LumbraCore/Logging.h"
#include "LumbraCore/Quote.h"
#include "Reader/Vault.h"

#include <QDir>

namespace {
const QString vaultKey = QStringLiteral("vaultPath");
}

std::optional<QString> QuoteWriter::write(const QString& text, const Item& item,
                                          const std::optional<Feed>& feed)
{
    std::optional<QString> vault = storedVault();
    if (!vault) vault = chooseVault();
    if (!vault) return std::nullopt;
    Quote quote;
    quote.itemId = item.id;
    quote.feedId = item.feedId;
    quote.title = item.title.value_or(QStringLiteral("Untitled"));
    quote.url = item.url;
    quote.author = item.author;
    quote.feedTitle = feed ? feed->title : QString();
    quote.siteLink = feed ? feed->link : std::nullopt;
    quote.text = text;
    quote.savedAt = m_clock.now();
    try {
        const QString note = Vault::appendToNote(quote, *vault);
        qCDebug(lcVault).noquote() << "quote of item" << item.id << "added to" << note;
        return QStringLiteral("Quote added to ") + note;
    } catch (const LumbraError& failure) {
        qCWarning(lcVault).noquote()
            << "quote of item" << item.id << "refused:" << failure.description();
        return QStringLiteral("Couldn't write to the vault: ") + failure.description();
    }
}

std::optional<QString> QuoteWriter::chooseVault()
{
    const QString vaults = QDir::home().filePath(QStringLiteral("Vaults"));
    const std::optional<QString> chosen = m_chooser.chooseFolder(
        QStringLiteral("Use as Vault"),
        QStringLiteral("Choose your Obsidian vault. Lumbra keeps a note per article in its "
                       "lumbra folder."),
        QDir(vaults).exists() ? vaults : QString());
    if (chosen) storeVault(chosen);
    return chosen;
}

void QuoteWriter::storeVault(const std::optional<QString>& path)
{
    m_preferences.setString(vaultKey, path);
}

std::optional<QString> QuoteWriter::storedVault() const
{
    return m_preferences.string(vaultKey);
}
