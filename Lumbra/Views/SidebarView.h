#pragma once

#include <QSet>
#include <QWidget>

class EmptyState;
class FeedIcons;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class Reader;
struct Feed;

// The sources: the three trays, the folders with their feeds, the feeds outside any
// folder, each with its unread badge; "Can't Reach News" over the list while the last
// refresh failed.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    enum Role { SourceKindRole = Qt::UserRole + 1, SourceIdRole, BadgeRole, IsSourceRole };

    SidebarView(Reader& reader, FeedIcons& icons, QWidget* parent = nullptr);

    QTreeView* tree() const { return m_tree; }
    QStandardItemModel* model() const { return m_model; }
    QPushButton* refreshButton() const { return m_refresh; }
    EmptyState* errorOverlay() const { return m_errorOverlay; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void updateBadges();
    void showSource();
    void updateError();
    QStandardItem* feedRow(const Feed& feed);

    Reader& m_reader;
    FeedIcons& m_icons;
    QStandardItemModel* m_model;
    QTreeView* m_tree;
    QPushButton* m_refresh;
    EmptyState* m_errorOverlay;
    QSet<qint64> m_expanded;
    QString m_structure; // what the rows were built from, to rebuild only when it changes
    bool m_syncing = false;
};
