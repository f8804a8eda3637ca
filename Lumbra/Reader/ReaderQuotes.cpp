// Saving selected text as a quote into the Obsidian vault.

#include "Reader/Reader.h"

#include "Reader/QuoteWriter.h"

#include <QPointer>

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
    if (auto message = m_quotes->write(text, item, feed(item.feedId)))
        setMessage(std::move(message));
}

std::optional<QString> Reader::chooseVault()
{
    return m_quotes->chooseVault();
}

void Reader::storeVault(const std::optional<QString>& path)
{
    m_quotes->storeVault(path);
}

std::optional<QString> Reader::storedVault() const
{
    return m_quotes->storedVault();
}
