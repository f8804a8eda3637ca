#include "Views/ContentView.h"

#include "Reader/Reader.h"
#include "Views/ArticleView.h"
#include "Views/LoginView.h"
#include "Views/MessageView.h"
#include "Views/SidebarView.h"
#include "Views/TimelineView.h"

#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

ContentView::ContentView(Reader& reader, Preferences& preferences, FeedIcons& icons,
                         ItemActions& actions, QWidget* parent)
    : QStackedWidget(parent), m_reader(reader), m_login(new LoginView(reader, preferences)),
      m_page(new QWidget), m_columns(new QSplitter(Qt::Horizontal)),
      m_sidebar(new SidebarView(reader, icons)),
      m_timeline(new TimelineView(reader, icons, actions))
{
    m_sidebar->setMinimumWidth(200);
    m_timeline->setMinimumWidth(300);
    m_columns->addWidget(m_sidebar);
    m_columns->addWidget(m_timeline);
    m_columns->addWidget(new ArticleView(reader, actions));
    m_columns->setChildrenCollapsible(false);
    m_columns->setStretchFactor(2, 1);
    m_columns->setSizes({240, 360, 600});
    auto* pageLayout = new QVBoxLayout(m_page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(m_columns);
    m_banner = new MessageView(reader, m_page); // over the columns, not one of them
    addWidget(m_login);
    addWidget(m_page);
    connect(&reader, &Reader::accountChanged, this, &ContentView::showAccountState);
    showAccountState();
}

void ContentView::showAccountState()
{
    setCurrentWidget(m_reader.account() ? m_page : static_cast<QWidget*>(m_login));
}
