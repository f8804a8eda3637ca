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
    // A passage of another article's page must never land in this article's note.
    const QString notShown = QStringLiteral("The selected article isn't shown yet, so nothing "
                                            "was saved.");
    if (page->shownItem() != item->id) {
        setMessage(notShown);
        co_return;
    }
    QPointer<Reader> self(this);
    const std::optional<QString> selected = co_await page->selectedText();
    if (!self) co_return;
    if (page->shownItem() != item->id) {
        setMessage(notShown);
        co_return;
    }
    const QString text = selected.value_or(QString()).trimmed();
    if (text.isEmpty()) {
        setMessage(QStringLiteral("Select some text in the article first."));
        co_return;
    }
    co_await writeQuote(text, *item);
}

QCoro::Task<> Reader::writeQuote(QString text, Item item)
{
    QPointer<Reader> self(this);
    std::optional<QString> message = co_await m_quotes->write(text, item, feed(item.feedId));
    if (!self || !message) co_return;
    setMessage(std::move(message));
    if (m_selectedId == item.id) co_await findSelectedNote();
}

QCoro::Task<> Reader::findSelectedNote()
{
    const std::optional<Item> item = selectedItem();
    if (!item) {
        assign(m_selectedNote, std::optional<QString>(), &Reader::selectedNoteChanged);
        co_return;
    }
    QPointer<Reader> self(this);
    std::optional<QString> note = co_await m_quotes->findNote(*item, feed(item->feedId));
    // A later selection asks for its own note.
    if (self && m_selectedId == item->id)
        assign(m_selectedNote, std::move(note), &Reader::selectedNoteChanged);
}

void Reader::openNote()
{
    if (m_selectedNote && m_env.notes) m_env.notes->open(*m_selectedNote);
}

std::optional<QString> Reader::chooseVault()
{
    return m_quotes->chooseVault();
}

void Reader::storeVault(const std::optional<QString>& path)
{
    m_quotes->storeVault(path);
    findSelectedNote();
}

std::optional<QString> Reader::storedVault() const
{
    return m_quotes->storedVault();
}
