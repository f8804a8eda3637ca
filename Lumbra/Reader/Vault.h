#pragma once

#include "LumbraCore/Errors.h"
#include "LumbraCore/Quote.h"

#include <QString>

// Writing or reading a note failed; the description names the note and the problem.
class VaultError : public LumbraError {
public:
    using LumbraError::LumbraError;
};

// The Obsidian vault on disk: one note per article in its "lumbra" folder.
namespace Vault {

// Appends the quote to its article's note (creating note and folders as needed) and
// returns the note's name. Never loses a note: one that cannot be read as UTF-8 text or
// is read-only is left as it is and a VaultError says why; the write is atomic.
QString appendToNote(const Quote& quote, const QString& vaultPath);

} // namespace Vault
