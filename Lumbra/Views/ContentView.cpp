#include "Views/ContentView.h"

#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/ArticleView.h"
#include "Views/ItemActions.h"
#include "Views/LoginView.h"
#include "Views/MessageView.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"
#include "Views/SidebarView.h"
#include "Views/SourceActions.h"
#include "Views/TimelineView.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

ContentView::ContentView(Reader& reader, FeedIcons& icons, ItemActions& actions, QWidget* parent)
    : QStackedWidget(parent), m_reader(reader), m_login(new LoginView(reader)), m_page(new QWidget),
      m_columns(new QSplitter(Qt::Horizontal)), m_sidebar(new SidebarView(reader, icons)),
      m_timeline(new TimelineView(reader, icons, actions)),
      m_sourceActions(new SourceActions(reader, *this))
{
    // Narrow enough for the window to tile to half of a 1440-pixel screen.
    m_sidebar->setMinimumWidth(160);
    m_timeline->setMinimumWidth(240);
    m_columns->addWidget(m_sidebar);
    m_columns->addWidget(m_timeline);
    auto* article = new ArticleView(reader, actions);
    article->setMinimumWidth(240);
    m_columns->addWidget(article);
    m_columns->setChildrenCollapsible(false);
    m_columns->setStretchFactor(2, 1);
    m_columns->setSizes({240, 360, 600});
    m_columns->handle(1)->setAccessibleName(tr("Resize sources and articles"));
    m_columns->handle(2)->setAccessibleName(tr("Resize articles and article"));
    auto* pageLayout = new QVBoxLayout(m_page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(m_columns);
    m_banner = new MessageView(reader.session(), m_page); // over the columns, not one of them

    // Tab goes through the columns as they read: left to right, top to bottom.
    QList<QWidget*> order = {m_sidebar->refreshButton(),
                             m_sidebar->logInAgainButton(),
                             m_sidebar->reviewCertificateButton(),
                             m_sidebar->tree(),
                             m_timeline->markAllReadButton(),
                             m_timeline->searchField(),
                             m_timeline->list()};
    for (QAction* action : article->toolbar()->actions())
        if (QWidget* button = article->toolbar()->widgetForAction(action)) order << button;
    order << article->webView() << article->readingView();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_sidebar->setSourceMenu([this](QMenu& menu) { m_sourceActions->fill(menu); });
    // F2 and Delete act on the source as a file manager's on a file, and only from the
    // sources: elsewhere Delete edits text.
    for (QAction* action :
         {m_sourceActions->rename, m_sourceActions->unsubscribe, m_sourceActions->deleteFolder}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        m_sidebar->tree()->addAction(action);
    }
    connect(&actions, &ItemActions::spoken, this,
            [this](const QString& text) { Accessibility::say(this, text); });
    addWidget(m_login);
    addWidget(m_page);
    connect(&reader.session(), &Session::accountChanged, this, &ContentView::showAccountState);
    showAccountState();
}

void ContentView::showAccountState()
{
    setCurrentWidget(m_reader.session().account() ? m_page : static_cast<QWidget*>(m_login));
}
