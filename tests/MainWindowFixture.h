#pragma once

// The main window's views, built as the app builds them, around a real Reader of the
// sandbox, on whatever platform the test runs on.

#include "App/LumbraApp.h"
#include "Await.h"
#include "ReaderFixture.h"
#include "Views/ArticleView.h"
#include "Views/ContentView.h"
#include "Views/FeedIcons.h"
#include "Views/ItemActions.h"
#include "Views/LoginView.h"
#include "Views/MainMenu.h"
#include "Views/SidebarView.h"
#include "Views/SourcesModel.h"
#include "Views/Style.h"
#include "Views/TimelineView.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <memory>

// Qt WebEngine wants shared GL contexts before the application exists.
inline const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

struct MainWindowFixture {
    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<FeedIcons> icons;
    ContentView* content = nullptr;
    ItemActions* actions = nullptr;
    MainMenu* menu = nullptr;

    // Logged in, it returns once the first refresh listed the items.
    void build(bool loggedIn, sandbox::Options options = {})
    {
        f = std::make_unique<ReaderFixture>(options);
        if (loggedIn) f->accounts.stored = f->sandbox.account();
        icons = std::make_unique<FeedIcons>(f->sandbox.session());
        window = std::make_unique<QMainWindow>();
        actions = new ItemActions(*f->reader, window.get());
        content = new ContentView(*f->reader, *icons, *actions, window.get());
        window->setCentralWidget(content);
        menu = new MainMenu(*f->reader, *actions, *content->sourceActions(), *window);
        window->resize(1280, 800);
        window->show();
        await(f->reader->start());
        if (loggedIn)
            QTRY_VERIFY(!f->reader->session().refreshing() &&
                        !f->reader->timeline().items().isEmpty());
    }

    void tearDown()
    {
        window.reset();
        icons.reset();
        f.reset();
    }
};

// The base of the view suites: settings in a throwaway place and the app's icons, and the
// window gone after each test.
class ViewTest : public QObject, public MainWindowFixture {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        LumbraApp::useIconTheme();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumbra.svg")));
    }
    void cleanup() { tearDown(); }
};

inline QStringList rowTitles(const QAbstractItemModel* model, const QModelIndex& parent = {})
{
    QStringList titles;
    for (int row = 0; row < model->rowCount(parent); ++row)
        titles << model->index(row, 0, parent).data().toString();
    return titles;
}
