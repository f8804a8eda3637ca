#pragma once

#include <QString>

// Why a quote was not written. `subject` is the note's name or the folder it is about;
// `cause` the system's own words, where it gave any. Nothing was changed in any case.
struct VaultProblem {
    enum class Kind {
        noteNotRegular,     // something other than a file is at the note's place
        noteUnreadable,     // `cause`
        noteTooLarge,       // larger than `size` bytes
        noteNotText,        // not UTF-8
        noteOutside,        // it would lie outside the vault's lumbra folder
        noteIsLink,         // a symbolic link
        noteReadOnly,       //
        noteNotLumbras,     // every name for it is another note's
        noteNotSaved,       // `cause`
        noteCutShort,       // only `written` of `size` bytes could be written
        busy,               // another Lumbra holds the vault's lock
        folderNotWritable,  // `subject` is the folder
        diskFull,           //
        noFileInFolder,     // no file could be made in the folder `subject`
        noVaultFolder,      // the vault's folder `subject` could not be made
        lumbraFolderIsLink, // the vault's lumbra folder is a symbolic link
        noLumbraFolder,     // the folder `subject` could not be made
        vaultNotWritable,   // the folder `subject`, chosen as the vault, takes no files
    };
    VaultProblem(Kind kind, QString subject = {}, QString cause = {})
        : kind(kind), subject(std::move(subject)), cause(std::move(cause))
    {
    }
    static VaultProblem tooLarge(QString note, qint64 largest)
    {
        VaultProblem problem(Kind::noteTooLarge, std::move(note));
        problem.size = largest;
        return problem;
    }
    static VaultProblem cutShort(QString note, qint64 written, qint64 size)
    {
        VaultProblem problem(Kind::noteCutShort, std::move(note));
        problem.written = written;
        problem.size = size;
        return problem;
    }

    Kind kind;
    QString subject;
    QString cause;
    qint64 written = 0;
    qint64 size = 0;

    friend bool operator==(const VaultProblem&, const VaultProblem&) = default;
};
