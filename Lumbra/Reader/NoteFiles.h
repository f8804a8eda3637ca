#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reading a note file without ever waiting on it: a FIFO, a device or a folder at a note's
// path is not a note.
namespace NoteFiles {

enum class Kind { Missing, Regular, Other };

struct Contents {
    Kind kind = Kind::Missing;
    QByteArray bytes;      // the whole file, when it is a regular file that could be read
    QString error;         // the system's words for why a regular file could not be read
    bool tooLarge = false; // a regular file larger than allowed, so not read
};

// Reads `path` unless it is a symbolic link (not followed: reported as Other), larger than
// `maxBytes`, or not a regular file.
Contents read(const QString& path, qint64 maxBytes);

} // namespace NoteFiles
