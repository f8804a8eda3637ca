#pragma once

#include "LumbraCore/Errors.h"
#include "LumbraCore/Quote.h"
#include "Reader/VaultProblem.h"

#include <QString>
#include <optional>

class NoteIndex;

// Writing or reading a note failed.
class VaultError : public LumbraError {
public:
    explicit VaultError(VaultProblem problem);
    const VaultProblem& problem() const { return m_problem; }

private:
    VaultProblem m_problem;
};

// The Obsidian vault on disk: one note per article, in its "lumbra" folder unless the user
// moved it elsewhere in the vault.
namespace Vault {

// Appends the quote to its article's note (creating note and folders as needed) and
// returns the note's name as the user knows it. Never loses a note: one that cannot be read
// as UTF-8 text, is read-only or is not a regular file is left as it is and a VaultError
// says why; the write is atomic. With an index, a note of the article that the user moved
// or renamed is found and used when the usual place holds none.
QString appendToNote(const Quote& quote, const QString& vaultPath, NoteIndex* index = nullptr);

// Throws a VaultError unless a file can be made in `folder`, the user's choice of vault.
void requireWritable(const QString& folder);

// The path of the article's existing note, if it has one. Only reads.
std::optional<QString> findNote(const Quote& quote, const QString& vaultPath, NoteIndex& index);

// The quotes the note at `path` holds; none when it cannot be read as text.
QStringList quotesIn(const QString& path);

} // namespace Vault
