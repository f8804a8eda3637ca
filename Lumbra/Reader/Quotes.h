#pragma once

#include "Reader/Environment.h"
#include "Reader/Lifetime.h"

#include <QObject>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class QuoteWriter;
class Session;
class Subscriptions;
class Timeline;

// Quotes of the selected article saved into the Obsidian vault, and that article's note.
class Quotes final : public QObject {
    Q_OBJECT

public:
    Quotes(ReaderEnvironment& environment, Session& session, const Subscriptions& subscriptions,
           const Timeline& timeline, QObject* parent = nullptr);
    ~Quotes() override;
    Q_DISABLE_COPY_MOVE(Quotes)

    // The article view registers its page; it is only kept weakly.
    void setWebView(std::weak_ptr<TextSelectionSource> page) { m_webView = std::move(page); }
    // Saves the page's selected text as a quote of the selected article.
    QCoro::Task<> saveQuote();
    QCoro::Task<> writeQuote(QString text, Item item);
    // The selected article's note in the vault, once it has one, and the quotes it holds.
    const std::optional<QString>& selectedNote() const { return m_selectedNote; }
    const QStringList& selectedQuotes() const { return m_selectedQuotes; }
    // Opens the selected article's note; says so when no program opens notes.
    void openNote();
    void showNoteInFolder();
    std::optional<QString> chooseVault();
    void storeVault(const std::optional<QString>& path);
    std::optional<QString> storedVault() const;

Q_SIGNALS:
    // The note, or the quotes in it.
    void selectedNoteChanged();

private:
    void setSelectedNote(std::optional<QString> note, QStringList quotes = {});
    // Looks for the selected article's note, off the main thread.
    QCoro::Task<> findSelectedNote();

    ReaderEnvironment& m_env;
    Session& m_session;
    const Subscriptions& m_subscriptions;
    const Timeline& m_timeline;
    std::unique_ptr<QuoteWriter> m_writer;
    std::weak_ptr<TextSelectionSource> m_webView;
    std::optional<QString> m_selectedNote;
    QStringList m_selectedQuotes;
    Lifetime m_lifetime; // last: it ends first
};
