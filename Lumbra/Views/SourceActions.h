#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Lifetime.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;
class Reader;
namespace Opml {
struct List;
}

// What can be done to the sources: subscribe to a feed, make a folder, and rename, move,
// unsubscribe or delete the source chosen in the sources column. Each opens a dialog of
// the window (never blocking it); the change itself is the Organiser's.
class SourceActions final : public QObject {
    Q_OBJECT

public:
    SourceActions(Reader& reader, QWidget& window);

    QAction* addFeed;
    QAction* newFolder;
    QAction* rename;
    QAction* unsubscribe;
    QAction* deleteFolder;
    QAction* importList;
    QAction* exportList;
    QMenu* moveTo;

    // The sources column's context menu.
    void fill(QMenu& menu) const;
    // The dialog opened last, while it is open.
    QDialog* dialog() const { return m_dialog; }
    // What Import and Export do with the file chosen: the list read (on a worker, with
    // progress and Cancel once it takes a while) and summed up for the user to start the
    // import, or the subscriptions written. A problem is said in a dialog.
    QCoro::Task<> importFrom(QString path);
    void exportTo(const QString& path);

private:
    void update();
    // Opens `dialog`, of the window, whole, as the one opened last.
    void open(QDialog* dialog);
    void fillMoveTo();
    void askForName(const QString& title, const QString& label, const QString& name,
                    std::function<void(const QString&)> done);
    void confirmUnsubscribe();
    // Says `text` in a dialog of the window, with `details` behind a button.
    void tell(const QString& title, const QString& text, const QString& details = {});
    void confirmDeleteFolder();
    void confirmImport(const Opml::List& list);
    void reportImport(const struct ImportReport& report);
    // Makes a folder, or offers the one of that name there is.
    void makeFolder(const QString& name);
    std::optional<Feed> currentFeed() const;
    std::optional<Folder> currentFolder() const;

    Reader& m_reader;
    QWidget& m_window;
    QPointer<QDialog> m_dialog;
    Lifetime m_lifetime;
};
