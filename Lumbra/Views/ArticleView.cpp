#include "Views/ArticleView.h"

#include "LumbraCore/ArticleDocument.h"
#include "LumbraCore/Records.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/ItemActions.h"
#include "Views/QuoteMarks.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"
#include "Views/Style.h"

#include <QAccessible>
#include <QApplication>
#include <QDateTime>
#include <QFrame>
#include <QMenu>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

namespace {

// A toolbar button for an action that flips a state of the article (starred, read): one
// name, and the state as checked or not, which is how screen readers speak a toggle. Its
// icon, tooltip and whether it is enabled follow the action; a click triggers it.
QToolButton* toggleButton(QAction* action, const QString& name, std::function<bool()> isOn)
{
    auto* button = new QToolButton;
    button->setCheckable(true);
    button->setText(name);
    button->setAutoRaise(true);
    const auto follow = [button, action, isOn = std::move(isOn)] {
        button->setIcon(action->icon());
        button->setToolTip(action->toolTip());
        button->setEnabled(action->isEnabled());
        button->setChecked(isOn());
    };
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(button, &QToolButton::clicked, action, [action, follow] {
        action->trigger();
        follow(); // the click flipped the button; the article's state decides
    });
    follow();
    return button;
}

// Screen readers may start and stop while Lumbra runs; Qt learns it from the desktop.
class ScreenReaderWatch final : public QObject, public QAccessible::ActivationObserver {
    Q_OBJECT

public:
    explicit ScreenReaderWatch(QObject* parent) : QObject(parent)
    {
        QAccessible::installActivationObserver(this);
    }
    ~ScreenReaderWatch() override { QAccessible::removeActivationObserver(this); }
    void accessibilityActiveChanged(bool) override { Q_EMIT changed(); }

Q_SIGNALS:
    void changed();
};

} // namespace

bool ArticleView::readsAsText(const Settings& settings)
{
    return settings.readingView().value_or(QAccessible::isActive());
}

ArticleView::ArticleView(Reader& reader, ItemActions& actions, QWidget* parent)
    : QStackedWidget(parent), m_reader(reader),
      m_placeholder(new EmptyState(QStringLiteral("text-x-generic"), tr("No Article Selected"))),
      m_failed(new EmptyState(QStringLiteral("dialog-warning"), tr("Couldn't Show This Article"))),
      m_articlePage(new QWidget), m_toolbar(new QToolBar), m_web(nullptr)
{
    m_web = new QuoteWebView([&reader](const QUrl& url) { reader.openUrl(url); });
    m_reading = new ReadingView([&reader](const QUrl& url) { reader.openUrl(url); });
    m_quoteMarks = new QuoteMarks(reader, *m_web, *m_reading, this);
    // The page draws through OpenGL. A window learns that from such a child when it is
    // created; had it learnt it only when the first article shows, it would be made again
    // then: losing its maximised state, jumping, flickering. This child tells it up front,
    // where OpenGL works at all (not on the offscreen platform).
    if (QOpenGLContext context; context.create()) (new QOpenGLWidget(this))->hide();
    buildToolbar(actions);
    buildPage();
    addWidget(m_placeholder);
    addWidget(m_articlePage);
    addWidget(m_failed);
    m_web->setQuoteAction(actions.saveQuote);
    m_reading->setQuoteAction(actions.saveQuote);
    follow();
    showSelection();
}

void ArticleView::buildToolbar(ItemActions& actions)
{
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolbar->setAccessibleName(tr("Article"));
    const auto selected = [this](bool Item::*flag) {
        return [this, flag] {
            const Item* item = m_reader.timeline().selectedItem();
            return item && (*item).*flag;
        };
    };
    for (QAction* action : actions.toolbar()) {
        if (action == actions.star)
            m_toolbar->addWidget(toggleButton(action, tr("Starred"), selected(&Item::starred)));
        else if (action == actions.markRead)
            m_toolbar->addWidget(toggleButton(action, tr("Unread"), selected(&Item::unread)));
        else
            m_toolbar->addAction(action);
    }
    // Sharing on Linux: copy the link, or hand it to the mail program.
    m_share = new QToolButton;
    m_share->setIcon(QIcon::fromTheme(QStringLiteral("emblem-shared-symbolic"),
                                      QIcon::fromTheme(QStringLiteral("document-share"))));
    m_share->setText(tr("Share"));
    m_share->setToolTip(tr("Share"));
    m_share->setPopupMode(QToolButton::InstantPopup);
    auto* shareMenu = new QMenu(m_share);
    ItemActions::addTo(shareMenu, actions.shareMenu());
    Accessibility::openOnFirstEntry(shareMenu);
    m_share->setMenu(shareMenu);
    m_shareAction = m_toolbar->addWidget(m_share);
    m_loadImages = m_toolbar->addAction(QIcon::fromTheme(QStringLiteral("image-x-generic")),
                                        tr("Load Remote Images"), this, [this] {
                                            m_imagesAllowedFor = m_reader.timeline().selectedId();
                                            showSelection();
                                        });
    m_loadImages->setToolTip(tr("Load this article's images, fonts and styles from other sites"));
    QAction* quoteCount = m_toolbar->addWidget(m_quoteMarks->countButton());
    const auto showCount = [this, quoteCount] {
        quoteCount->setVisible(m_quoteMarks->hasQuotes());
    };
    connect(m_quoteMarks, &QuoteMarks::countChanged, this, showCount);
    showCount();
    // Every button is a Tab stop; clicking one leaves the focus where it was.
    for (QAction* action : m_toolbar->actions())
        if (QWidget* button = m_toolbar->widgetForAction(action))
            button->setFocusPolicy(Qt::TabFocus);
}

void ArticleView::buildPage()
{
    auto* layout = new QVBoxLayout(m_articlePage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    // The page shows no focus of its own until a link has it: the frame shows it.
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("articleFrame"));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(m_web);
    frameLayout->addWidget(m_reading);
    const auto showFocus = [this, frame](QWidget*, QWidget* now) {
        const bool inPage = now && (now == m_web || m_web->isAncestorOf(now) || now == m_reading);
        frame->setStyleSheet(QStringLiteral("#articleFrame { border: 2px solid %1; }")
                                 .arg(inPage ? QStringLiteral("palette(highlight)")
                                             : QStringLiteral("transparent")));
    };
    showFocus(nullptr, nullptr);
    connect(qApp, &QApplication::focusChanged, frame, showFocus);
    layout->addWidget(frame, 1);
}

void ArticleView::follow()
{
    connect(&m_reader.timeline(), &Timeline::selectedItemChanged, this,
            &ArticleView::showSelection);
    connect(&m_reader.subscriptions(), &Subscriptions::feedsChanged, this,
            &ArticleView::showSelection);
    connect(&m_reader.settings(), &Settings::remoteImagesChanged, this,
            &ArticleView::showSelection);
    connect(&m_reader.settings(), &Settings::readingViewChanged, this, &ArticleView::showSelection);
    connect(new ScreenReaderWatch(this), &ScreenReaderWatch::changed, this,
            &ArticleView::showSelection);
    connect(m_reading, &ReadingView::reached, this,
            [this](const QString& text) { Accessibility::say(this, text); });
    connect(m_web, &QuoteWebView::loadFailed, this, [this] { setCurrentWidget(m_failed); });
    connect(m_web, &QuoteWebView::shown, this, [this](qint64 item) {
        if (m_shown && m_shown->asText && m_shown->item.id == item) showAsText(item);
    });
}

QCoro::Task<> ArticleView::showAsText(qint64 item)
{
    QCoro::Task<std::optional<QStringList>> reading = m_web->readableText();
    const std::optional<QStringList> parts = co_await guarded(m_lifetime, std::move(reading));
    if (!m_shown || !m_shown->asText || m_shown->item.id != item) co_return;
    if (!parts) {
        setCurrentWidget(m_failed);
        co_return;
    }
    m_reading->show(*parts, item, articleUrl(m_shown->item).value_or(QUrl()));
}

void ArticleView::changeEvent(QEvent* event)
{
    QStackedWidget::changeEvent(event);
    // A light or dark desktop while Lumbra runs: the page follows.
    if (event->type() == QEvent::PaletteChange) showSelection();
}

void ArticleView::showSelection()
{
    const Item* item = m_reader.timeline().selectedItem();
    if (!item) {
        m_shown.reset();
        m_quoteMarks->showing(std::nullopt, false, false);
        setCurrentWidget(m_placeholder);
        return;
    }
    const auto feed = m_reader.subscriptions().feed(item->feedId);
    const bool asText = readsAsText(m_reader.settings());
    Shown shown{*item, feed ? feed->title : QString(),
                m_reader.settings().remoteImages() || m_imagesAllowedFor == item->id,
                Style::isDark(palette()), asText};
    // Flags and other articles change often (a row at a time during Mark All as Read); the
    // page loads again only when what it shows changed, so its scroll and selection stay.
    if (shown.sameArticle(m_shown) && currentWidget() == m_articlePage) {
        m_shown = std::move(shown);
        return;
    }
    ArticleDocument::Options options;
    options.remoteContent = shown.remoteContent;
    options.dark = shown.dark;
    const QString html = ArticleDocument::articleHTML(*item, shown.feedTitle,
                                                      QDateTime::currentSecsSinceEpoch(), options);
    m_quoteMarks->showing(item->id, asText, shown.dark);
    m_shown = std::move(shown);
    // Quotes come from the view the user sees.
    m_reading->setVisible(asText);
    m_web->setVisible(!asText);
    m_reader.quotes().setWebView(asText ? m_reading->selection() : m_web->selection());
    // The text is what the page shows, so the page loads (out of sight) in both views.
    if (asText) m_reading->clearShown();
    const bool loaded = m_web->loaded() == html && m_web->shownItem() == item->id;
    m_web->show(html, item->id);
    if (asText && loaded) showAsText(item->id);
    m_shareAction->setVisible(articleUrl(*item).has_value());
    m_loadImages->setVisible(!options.remoteContent && !asText);
    setCurrentWidget(m_articlePage);
}

#include "ArticleView.moc"
