#pragma once

#include "LumbraCore/Quote.h"
#include "LumbraCore/Records.h"
#include "Reader/Environment.h"
#include "Reader/Notice.h"

#include <QString>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class NoteIndex;
class QThreadPool;

// Saves quotes into the Obsidian vault: asks for the vault the first time, builds the
// quote from its article and writes it into the article's note. The file work runs on one
// thread of its own, so the window never waits for a disk and quotes land in the order
// they were taken.
class QuoteWriter final {
public:
    QuoteWriter(Settings& settings, FolderChooser& chooser, Clock& clock);
    ~QuoteWriter();

    // Writes `text` as a quote of `item` (from `feed`) and returns what the user is told;
    // none when the user chose no vault.
    QCoro::Task<std::optional<Notice>> write(QString text, Item item, std::optional<Feed> feed);

    // An article's note and the quotes it holds.
    struct Note {
        QString path;
        QStringList quotes;
    };
    // The article's existing note; none without a vault or a note.
    QCoro::Task<std::optional<Note>> findNote(Item item, std::optional<Feed> feed);

    // Asks the user for the vault (starting in ~/Vaults or the home folder) and keeps it;
    // none when cancelled. Throws a VaultError for a folder no file can be made in.
    std::optional<QString> chooseVault();
    void storeVault(const std::optional<QString>& path);
    std::optional<QString> storedVault() const;

private:
    Quote quoteOf(const Item& item, const std::optional<Feed>& feed, const QString& text) const;

    Settings& m_settings;
    FolderChooser& m_chooser;
    Clock& m_clock;
    std::unique_ptr<QThreadPool> m_files;
    std::shared_ptr<NoteIndex> m_index; // used only on m_files' thread
};
