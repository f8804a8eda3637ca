#include "ArticleView.h"

#include "ArticleDocument.h"
#include "ArticleWebView.h"
#include "Reader.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {

QWidget* placeholder()
{
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    auto* icon = new QLabel;
    icon->setPixmap(QIcon::fromTheme(QStringLiteral("text-x-generic")).pixmap(48));
    icon->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("No Article Selected"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    title->setForegroundRole(QPalette::PlaceholderText);
    layout->addStretch();
    layout->addWidget(icon);
    layout->addWidget(title);
    layout->addStretch();
    return pane;
}

std::optional<QUrl> parsedUrl(const Item& item)
{
    if (!item.url) return std::nullopt;
    const QUrl url(*item.url, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return std::nullopt;
    return url;
}

} // namespace

ArticleView::ArticleView(Reader& reader, QWidget* parent)
    : QStackedWidget(parent), m_reader(reader), m_placeholder(placeholder()),
      m_articlePage(new QWidget), m_toolbar(new QToolBar), m_web(nullptr)
{
    m_web = new QuoteWebView([&reader](const QUrl& url) { reader.openUrl(url); });
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_star = m_toolbar->addAction(QString());
    m_star->setToolTip(QStringLiteral("Star (S)"));
    m_read = m_toolbar->addAction(QString());
    m_quote =
        m_toolbar->addAction(QIcon::fromTheme(QStringLiteral("format-text-blockquote"),
                                              QIcon::fromTheme(QStringLiteral("insert-text"))),
                             QStringLiteral("Save Quote"));
    m_quote->setToolTip(
        QStringLiteral("Save the selected text as a quote in Obsidian (Shift+Ctrl+H)"));
    // Sharing on Linux: copy the link, or hand it to the mail program.
    m_share = new QToolButton;
    m_share->setIcon(QIcon::fromTheme(QStringLiteral("emblem-shared-symbolic"),
                                      QIcon::fromTheme(QStringLiteral("document-share"))));
    m_share->setText(QStringLiteral("Share"));
    m_share->setPopupMode(QToolButton::InstantPopup);
    auto* shareMenu = new QMenu(m_share);
    QAction* copy = shareMenu->addAction(QIcon::fromTheme(QStringLiteral("edit-copy")),
                                         QStringLiteral("Copy Link"));
    QAction* mail = shareMenu->addAction(QIcon::fromTheme(QStringLiteral("mail-send")),
                                         QStringLiteral("Send Link by Email\u2026"));
    m_share->setMenu(shareMenu);
    m_shareAction = m_toolbar->addWidget(m_share);
    m_browser = m_toolbar->addAction(QIcon::fromTheme(QStringLiteral("internet-web-browser")),
                                     QStringLiteral("Open in Browser"));
    m_browser->setToolTip(QStringLiteral("Open in Browser (B)"));

    auto* layout = new QVBoxLayout(m_articlePage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_web, 1);
    addWidget(m_placeholder);
    addWidget(m_articlePage);

    const auto withItem = [this](auto act) {
        return [this, act] {
            if (const auto item = m_reader.selectedItem()) act(*item);
        };
    };
    connect(m_star, &QAction::triggered, this,
            withItem([this](const Item& i) { m_reader.toggleStarred(i); }));
    connect(m_read, &QAction::triggered, this,
            withItem([this](const Item& i) { m_reader.toggleRead(i); }));
    connect(m_quote, &QAction::triggered, this, [this] { m_reader.saveQuote(); });
    connect(m_web, &QuoteWebView::quoteRequested, this, [this] { m_reader.saveQuote(); });
    connect(m_browser, &QAction::triggered, this, withItem([this](const Item& i) {
                if (const auto url = parsedUrl(i)) m_reader.openUrl(*url);
            }));
    connect(copy, &QAction::triggered, this, withItem([](const Item& i) {
                if (const auto url = parsedUrl(i))
                    QApplication::clipboard()->setText(url->toString());
            }));
    connect(mail, &QAction::triggered, this, withItem([this](const Item& i) {
                const auto url = parsedUrl(i);
                if (!url) return;
                QUrl mailto(QStringLiteral("mailto:"));
                QUrlQuery query;
                query.addQueryItem(QStringLiteral("body"), url->toString(QUrl::FullyEncoded));
                mailto.setQuery(query);
                m_reader.openUrl(mailto);
            }));

    for (auto signal : {&Reader::selectedIdChanged, &Reader::itemsChanged, &Reader::linkedChanged,
                        &Reader::feedsChanged})
        connect(&reader, signal, this, &ArticleView::showSelection);
    connect(&reader, &Reader::itemChanged, this, &ArticleView::showSelection);
    reader.setWebView(m_web->selection());
    showSelection();
}

void ArticleView::showSelection()
{
    const std::optional<Item> item = m_reader.selectedItem();
    if (!item) {
        setCurrentWidget(m_placeholder);
        return;
    }
    const auto feed = m_reader.feed(item->feedId);
    const QString html = ArticleDocument::articleHTML(*item, feed ? feed->title : QString(),
                                                      QDateTime::currentSecsSinceEpoch());
    const std::optional<QUrl> url = parsedUrl(*item);
    m_web->show(html, url.value_or(QUrl()));
    m_star->setText(item->starred ? QStringLiteral("Unstar") : QStringLiteral("Star"));
    m_star->setIcon(QIcon::fromTheme(item->starred ? QStringLiteral("rating")
                                                   : QStringLiteral("rating-unrated")));
    m_read->setText(item->unread ? QStringLiteral("Mark as Read")
                                 : QStringLiteral("Mark as Unread"));
    m_read->setToolTip(item->unread ? QStringLiteral("Mark as Read (M)")
                                    : QStringLiteral("Mark as Unread (M)"));
    m_read->setIcon(QIcon::fromTheme(item->unread ? QStringLiteral("mail-mark-read")
                                                  : QStringLiteral("mail-mark-unread")));
    m_shareAction->setVisible(url.has_value());
    setCurrentWidget(m_articlePage);
}
