#pragma once

// Test helper: a real Reader against the sandbox, logged in, with a vault in a throwaway
// folder and the article page standing in as a page that reports its selection.

#include "Await.h"
#include "ReaderFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <qcoro/qcorotimer.h>

// The article page as the web view reports its selection, after a short delay.
class FakePage final : public TextSelectionSource {
public:
    QCoro::Task<std::optional<QString>> selectedText() override
    {
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
        co_return text;
    }
    std::optional<qint64> shownItem() const override { return shown; }
    std::optional<QString> text;
    std::optional<qint64> shown;
};

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

inline Item article(qint64 id, std::optional<QString> title, std::optional<QString> url,
                    qint64 feedId = 1)
{
    return Item{
        id,   feedId, title, url, QStringLiteral("Ann"), 1796472000, ArticleBody("<p>x</p>"),
        true, false};
}

struct VaultFixture {
    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<QTemporaryDir> vault;
    std::shared_ptr<FakePage> page;

    QString note(const QString& name) const
    {
        return vault->filePath(QStringLiteral("lumbra/") + name + QStringLiteral(".md"));
    }

    // Logged in, with the vault chosen and the page showing what is selected.
    void setUp()
    {
        f = std::make_unique<ReaderFixture>();
        if (!f->startLoggedIn()) QFAIL("the first refresh did not end");
        vault = std::make_unique<QTemporaryDir>();
        f->reader->quotes().storeVault(vault->path());
        page = std::make_shared<FakePage>();
        f->reader->quotes().setWebView(page);
        // The page shows what is selected, at once; tests that need otherwise say so.
        QObject::connect(&f->reader->timeline(), &Timeline::selectedIdChanged, f->reader.get(),
                         [this] {
                             if (page) page->shown = f->reader->timeline().selectedId();
                         });
    }
    void tearDown()
    {
        f.reset();
        vault.reset();
        page.reset();
    }
};
