#pragma once

// What the Reader needs from the world outside, given to it at construction: the product
// passes the desktop's own, tests stand in for what needs a person.

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/Records.h"

#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class Settings;

// Keeps the one account between runs. Never reports failures: a failed load is "none".
class AccountStore {
public:
    virtual ~AccountStore() = default;
    virtual QCoro::Task<std::optional<Account>> load() = 0;
    virtual QCoro::Task<> save(Account account) = 0;
    virtual QCoro::Task<> remove() = 0;
};

// Called when the desktop has no program for what was to be opened.
using NothingOpens = std::function<void()>;

class Browser {
public:
    virtual ~Browser() = default;
    // Best effort; `nothingOpens` (may be empty) when no program takes mail links.
    virtual void open(const QUrl& url, NothingOpens nothingOpens) = 0;
};

class WindowActivator {
public:
    virtual ~WindowActivator() = default;
    // Brings the application to the front.
    virtual void activate() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Whole seconds since 1970-01-01 00:00 UTC.
    virtual qint64 now() const = 0;
};

// Asks the user which folder is their Obsidian vault; none when cancelled.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    virtual std::optional<QString> chooseVault(const QString& startFolder) = 0;
};

// Opens a note of the vault for the user to read or edit.
class NoteOpener {
public:
    virtual ~NoteOpener() = default;
    // Best effort; `nothingOpens` when no program takes Markdown notes.
    virtual void open(const QString& path, NothingOpens nothingOpens) = 0;
    // Shows the note selected in the desktop's file manager, or at least its folder.
    virtual void showInFolder(const QString& path) = 0;
};

// The article page's text selection, as the page reports it: none when the page answers
// anything but a string.
class TextSelectionSource {
public:
    virtual ~TextSelectionSource() = default;
    virtual QCoro::Task<std::optional<QString>> selectedText() = 0;
    // The item whose article the page shows, once it has loaded; a passage belongs to it.
    virtual std::optional<qint64> shownItem() const = 0;
};

// The Reader's waits. Tests shorten them; the product uses these values.
struct ReaderTiming {
    std::chrono::milliseconds refreshInterval{900'000};
    std::chrono::milliseconds pollInterval{2'000};
    int maxPolls = 600;
};

// Everything the outside world hands the Reader.
struct ReaderEnvironment {
    AccountStore* accounts = nullptr;
    Browser* browser = nullptr;
    WindowActivator* activator = nullptr;
    Clock* clock = nullptr;
    Settings* settings = nullptr;
    FolderChooser* folderChooser = nullptr;
    HttpSession session;
    ReaderTiming timing;
    NoteOpener* notes = nullptr;
};
