// Saving selected text as a quote into the Obsidian vault.

#include "Reader.h"
#include "Vault.h"

#include <QDir>
#include <QPointer>

namespace {
const QString vaultKey = QStringLiteral("vaultPath");
}

QCoro::Task<> Reader::saveQuote()
{
    const std::shared_ptr<TextSelectionSource> page = m_webView.lock();
    if (!page) co_return;
    const std::optional<Item> item = selectedItem();
    if (!item) co_return; // the quote belongs to the item selected now, whatever comes later
    QPointer<Reader> self(this);
    const std::optional<QString> selected = co_await page->selectedText();
    if (!self) co_return;
    const QString text = selected.value_or(QString()).trimmed();
    if (text.isEmpty()) {
        setMessage(QStringLiteral("Select some text in the article first."));
        co_return;
    }
    writeQuote(text, *item);
}

void Reader::writeQuote(const QString& text, const Item& item)
{
    std::optional<QString> vault = storedVault();
    if (!vault) vault = chooseVault();
    if (!vault) return;
    const std::optional<Feed> source = feed(item.feedId);
    Quote quote;
    quote.itemId = item.id;
    quote.feedId = item.feedId;
    quote.title = item.title.value_or(QStringLiteral("Untitled"));
    quote.url = item.url;
    quote.author = item.author;
    quote.feedTitle = source ? source->title : QString();
    quote.siteLink = source ? source->link : std::nullopt;
    quote.text = text;
    quote.savedAt = m_env.clock->now();
    try {
        setMessage(QStringLiteral("Quote added to ") + Vault::appendToNote(quote, *vault));
    } catch (const LumbraError& failure) {
        setMessage(QStringLiteral("Couldn't write to the vault: ") + failure.description());
    }
}

std::optional<QString> Reader::chooseVault()
{
    const QString vaults = QDir::home().filePath(QStringLiteral("Vaults"));
    const std::optional<QString> chosen = m_env.folderChooser->chooseFolder(
        QStringLiteral("Use as Vault"),
        QStringLiteral("Choose your Obsidian vault. Lumbra keeps a note per article in its "
                       "lumbra folder."),
        QDir(vaults).exists() ? vaults : QString());
    if (chosen) storeVault(chosen);
    return chosen;
}

void Reader::storeVault(const std::optional<QString>& path)
{
    m_env.preferences->setString(vaultKey, path);
}

std::optional<QString> Reader::storedVault() const
{
    return m_env.preferences->string(vaultKey);
}
