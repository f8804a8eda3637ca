#pragma once

#include "Reader/Environment.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>
#include <memory>

// The desktop's own browser, window activation and clock.
class DesktopBrowser final : public Browser {
public:
    void open(const QUrl& url, NothingOpens nothingOpens) override;
};

// Obsidian when it is registered for its links, otherwise the desktop's app for Markdown;
// the file manager through org.freedesktop.FileManager1, or the folder through xdg-open.
class DesktopNoteOpener final : public NoteOpener {
public:
    void open(const QString& path, NothingOpens nothingOpens) override;
    void showInFolder(const QString& path) override;
};

class MainWindowActivator final : public WindowActivator {
public:
    void setWindow(QWidget* window) { m_window = window; }
    void activate() override;

private:
    QPointer<QWidget> m_window;
};

class SystemClock final : public Clock {
public:
    qint64 now() const override;
};

class DialogFolderChooser final : public FolderChooser {
public:
    void setParent(QWidget* parent) { m_parent = parent; }
    std::optional<QString> chooseVault(const QString& startFolder) override;
    // The chooser, over `parent`: a short title, and what the vault is for beneath the
    // folders where Qt's own dialog shows it.
    static std::unique_ptr<QFileDialog> vaultDialog(QWidget* parent, const QString& startFolder);

private:
    QPointer<QWidget> m_parent;
};
