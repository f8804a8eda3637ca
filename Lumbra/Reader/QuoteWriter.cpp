#include "Reader/QuoteWriter.h"

#include "LumbraCore/Logging.h"
#include "LumbraCore/Text.h"
#include "LumbraCore/Worker.h"
#include "Reader/NoteIndex.h"
#include "Reader/Settings.h"
#include "Reader/Vault.h"

#include <QDir>
#include <QThreadPool>

QuoteWriter::QuoteWriter(Settings& settings, FolderChooser& chooser, Clock& clock)
    : m_settings(settings), m_chooser(chooser), m_clock(clock),
      m_files(std::make_unique<QThreadPool>()), m_index(std::make_shared<NoteIndex>())
{
    m_files->setMaxThreadCount(1); // one at a time, first come first served
}

QuoteWriter::~QuoteWriter()
{
    // The pool finishes the writes already asked for, without reading the vault first.
    m_index->stop();
}

Quote QuoteWriter::quoteOf(const Item& item, const std::optional<Feed>& feed,
                           const QString& text) const
{
    // Names and titles as the list and the article show them: servers send entities.
    const auto shown = [](const std::optional<QString>& text) -> std::optional<QString> {
        if (!text) return std::nullopt;
        return decodeEntities(*text);
    };
    Quote quote;
    quote.itemId = item.id;
    quote.feedId = item.feedId;
    quote.title = shown(item.title).value_or(QStringLiteral("Untitled"));
    quote.url = item.url;
    quote.author = shown(item.author);
    quote.feedTitle = feed ? decodeEntities(feed->title) : QString();
    quote.siteLink = feed ? feed->link : std::nullopt;
    quote.text = text;
    quote.savedAt = m_clock.now();
    return quote;
}

QCoro::Task<std::optional<Notice>> QuoteWriter::write(QString text, Item item,
                                                      std::optional<Feed> feed)
{
    std::optional<QString> vault = storedVault();
    try {
        if (!vault) vault = chooseVault();
    } catch (const VaultError& refused) {
        co_return Notice{refused.problem()};
    }
    if (!vault) co_return std::nullopt;
    QCoro::Task<Notice> written = onWorker(
        [quote = quoteOf(item, feed, text), vault = *vault, index = m_index] {
            try {
                const QString note = Vault::appendToNote(quote, vault, index.get());
                qCDebug(lcVault).noquote() << "quote of item" << quote.itemId << "added to" << note;
                return Notice{Notice::Kind::quoteAdded, note};
            } catch (const VaultError& failure) {
                qCWarning(lcVault).noquote()
                    << "quote of item" << quote.itemId << "refused:" << failure.description();
                return Notice{failure.problem()};
            } catch (const LumbraError& failure) {
                return Notice{Notice::Kind::vaultRefused, {}, Failure::of(failure)};
            }
        },
        m_files.get());
    co_return co_await std::move(written); // `this` may be gone from here on
}

QCoro::Task<std::optional<QuoteWriter::Note>> QuoteWriter::findNote(Item item,
                                                                    std::optional<Feed> feed)
{
    const std::optional<QString> vault = storedVault();
    if (!vault) co_return std::nullopt;
    QCoro::Task<std::optional<Note>> found = onWorker(
        [quote = quoteOf(item, feed, QString()), vault = *vault,
         index = m_index]() -> std::optional<Note> {
            try {
                const std::optional<QString> path = Vault::findNote(quote, vault, *index);
                if (!path) return std::nullopt;
                return Note{*path, Vault::quotesIn(*path)};
            } catch (const std::exception&) {
                return std::nullopt;
            }
        },
        m_files.get());
    co_return co_await std::move(found);
}

std::optional<QString> QuoteWriter::chooseVault()
{
    const QString vaults = QDir::home().filePath(QStringLiteral("Vaults"));
    const std::optional<QString> chosen =
        m_chooser.chooseVault(QDir(vaults).exists() ? vaults : QDir::homePath());
    if (!chosen) return std::nullopt;
    Vault::requireWritable(*chosen);
    storeVault(chosen);
    return chosen;
}

void QuoteWriter::storeVault(const std::optional<QString>& path)
{
    m_settings.setVault(path);
}

std::optional<QString> QuoteWriter::storedVault() const
{
    return m_settings.vault();
}
