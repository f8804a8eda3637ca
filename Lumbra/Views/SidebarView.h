#pragma once

#include <QSet>
#include <QWidget>
#include <functional>

class DetailsView;
class FeedIcons;
class QFrame;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class SourcesModel;
class QMenu;
class QTreeView;
class Reader;

// The sources: the three trays, the folders with their feeds, the feeds outside any
// folder, each with its unread badge; "Can't Reach News" above the list while the last
// refresh failed (the sources stay listed), with "Log In Again" when the password was
// refused; a busy bar beside Refresh while a refresh runs.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    SidebarView(Reader& reader, FeedIcons& icons, QWidget* parent = nullptr);

    QTreeView* tree() const { return m_tree; }
    // What the sources' own menu holds; it opens on the row clicked, or the current one.
    void setSourceMenu(std::function<void(QMenu&)> fill);
    SourcesModel* model() const { return m_model; }
    QPushButton* refreshButton() const { return m_refresh; }
    QFrame* errorPanel() const { return m_errorPanel; }
    QLabel* errorTitle() const { return m_errorTitle; }
    QLabel* errorText() const { return m_errorText; }
    DetailsView* errorDetails() const { return m_errorDetails; }
    QPushButton* logInAgainButton() const { return m_logInAgain; }
    QPushButton* reviewCertificateButton() const { return m_reviewCertificate; }
    QProgressBar* busyBar() const { return m_busy; }

private:
    void buildTree();
    QLayout* buildBar();
    void buildErrorPanel();
    void followSession();
    // Folders open as they were, rows shown as they are needed, a row chosen as a source.
    void followTree();
    void showSource();
    void updateError();
    // The certificate the last refresh failed over, in a dialog that may trust it.
    void reviewCertificate();

    Reader& m_reader;
    SourcesModel* m_model;
    QTreeView* m_tree;
    QPushButton* m_refresh;
    QProgressBar* m_busy;
    QFrame* m_errorPanel;
    QLabel* m_errorTitle;
    QLabel* m_errorText;
    QPushButton* m_logInAgain;
    QPushButton* m_reviewCertificate;
    DetailsView* m_errorDetails;
    QSet<qint64> m_expanded; // the open folders' ids, kept across rebuilds
    bool m_syncing = false;
};
