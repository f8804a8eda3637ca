#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Environment.h"

#include <QString>
#include <optional>

// Saves quotes into the Obsidian vault: asks for the vault the first time, builds the
// quote from its article and writes it into the article's note.
class QuoteWriter final {
public:
    QuoteWriter(Preferences& preferences, FolderChooser& chooser, Clock& clock)
        : m_preferences(preferences), m_chooser(chooser), m_clock(clock)
    {
    }

    // Writes `text` as a quote of `item` (from `feed`) and returns what the user is told;
    // none when the user chose no vault.
    std::optional<QString> write(const QString& text, const Item& item,
                                 const std::optional<Feed>& feed);

    // Asks the user for the vault and keeps it; none when cancelled.
    std::optional<QString> chooseVault();
    void storeVault(const std::optional<QString>& path);
    std::optional<QString> storedVault() const;

private:
    Preferences& m_preferences;
    FolderChooser& m_chooser;
    Clock& m_clock;
};
