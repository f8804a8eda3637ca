#pragma once

#include <QSet>
#include <QWidget>

class EmptyState;
class FeedIcons;
class QPushButton;
class SourcesModel;
class QTreeView;
class Reader;

// The sources: the three trays, the folders with their feeds, the feeds outside any
// folder, each with its unread badge; "Can't Reach News" over the list while the last
// refresh failed.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    SidebarView(Reader& reader, FeedIcons& icons, QWidget* parent = nullptr);

    QTreeView* tree() const { return m_tree; }
    SourcesModel* model() const { return m_model; }
    QPushButton* refreshButton() const { return m_refresh; }
    EmptyState* errorOverlay() const { return m_errorOverlay; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showSource();
    void updateError();

    Reader& m_reader;
    SourcesModel* m_model;
    QTreeView* m_tree;
    QPushButton* m_refresh;
    EmptyState* m_errorOverlay;
    QSet<qint64> m_expanded; // the open folders' ids, kept across rebuilds
    bool m_syncing = false;
};
