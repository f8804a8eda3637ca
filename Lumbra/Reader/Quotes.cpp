#include "Reader/Quotes.h"

#include "Reader/Lifetime.h"
#include "Reader/QuoteWriter.h"
#include "Reader/Session.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"
#include "Reader/Vault.h"

Quotes::Quotes(ReaderEnvironment& environment, Session& session, const Subscriptions& subscriptions,
               const Timeline& timeline, QObject* parent)
    : QObject(parent), m_env(environment), m_session(session), m_subscriptions(subscriptions),
      m_timeline(timeline),
      m_writer(std::make_unique<QuoteWriter>(*m_env.settings, *m_env.folderChooser, *m_env.clock))
{
    connect(&timeline, &Timeline::selectedIdChanged, this, [this] {
        // The last article's note is not this one's, even for the moment the look-up takes.
        setSelectedNote(std::nullopt);
        findSelectedNote();
    });
}

Quotes::~Quotes() = default;

void Quotes::setSelectedNote(std::optional<QString> note, QStringList quotes)
{
    if (note == m_selectedNote && quotes == m_selectedQuotes) return;
    m_selectedNote = std::move(note);
    m_selectedQuotes = std::move(quotes);
    Q_EMIT selectedNoteChanged();
}

QCoro::Task<> Quotes::saveQuote()
{
    const std::shared_ptr<TextSelectionSource> page = m_webView.lock();
    if (!page || !m_timeline.selectedItem()) co_return;
    // The quote belongs to the item selected now, whatever comes later.
    const Item item = *m_timeline.selectedItem();
    // A passage of another article's page must never land in this article's note.
    const Notice notShown{Notice::Kind::articleNotShownYet};
    if (page->shownItem() != item.id) {
        m_session.setMessage(notShown);
        co_return;
    }
    const std::optional<QString> selected = co_await guarded(m_lifetime, page->selectedText());
    if (page->shownItem() != item.id) {
        m_session.setMessage(notShown);
        co_return;
    }
    const QString text = selected.value_or(QString()).trimmed();
    if (text.isEmpty()) {
        m_session.setMessage(Notice{Notice::Kind::nothingSelected});
        co_return;
    }
    co_await writeQuote(text, item);
}

QCoro::Task<> Quotes::writeQuote(QString text, Item item)
{
    std::optional<Notice> message = co_await guarded(
        m_lifetime, m_writer->write(text, item, m_subscriptions.feed(item.feedId)));
    if (!message) co_return;
    m_session.setMessage(std::move(message));
    if (m_timeline.selectedId() == item.id) co_await findSelectedNote();
}

QCoro::Task<> Quotes::findSelectedNote()
{
    const Item* selected = m_timeline.selectedItem();
    if (!selected) {
        setSelectedNote(std::nullopt);
        co_return;
    }
    const Item item = *selected;
    std::optional<QuoteWriter::Note> note =
        co_await guarded(m_lifetime, m_writer->findNote(item, m_subscriptions.feed(item.feedId)));
    // A later selection asks for its own note.
    if (m_timeline.selectedId() != item.id) co_return;
    if (note)
        setSelectedNote(std::move(note->path), std::move(note->quotes));
    else
        setSelectedNote(std::nullopt);
}

void Quotes::openNote()
{
    if (!m_selectedNote || !m_env.notes) return;
    m_env.notes->open(*m_selectedNote, whileAlive(m_lifetime, [this, note = *m_selectedNote] {
        m_session.setMessage(Notice{Notice::Kind::noNoteProgram, note});
    }));
}

void Quotes::showNoteInFolder()
{
    if (m_selectedNote && m_env.notes) m_env.notes->showInFolder(*m_selectedNote);
}

std::optional<QString> Quotes::chooseVault()
{
    try {
        return m_writer->chooseVault();
    } catch (const VaultError& refused) {
        m_session.setMessage(Notice{refused.problem()});
        return std::nullopt;
    }
}

void Quotes::storeVault(const std::optional<QString>& path)
{
    m_writer->storeVault(path);
    findSelectedNote();
}

std::optional<QString> Quotes::storedVault() const
{
    return m_writer->storedVault();
}
