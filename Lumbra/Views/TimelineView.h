#pragma once

#include <QWidget>

class EmptyState;
class FeedIcons;
class ItemActions;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QTimer;
class QToolButton;
class Reader;
class TimelineModel;

// The items of the chosen source: a header with the source's title and unread count, the
// "Mark All as Read" button, a search field that narrows the rows (Ctrl+F; Escape clears
// it), the rows, and an overlay while empty.
class TimelineView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int longestQuery = 500;
    TimelineView(Reader& reader, FeedIcons& icons, ItemActions& actions, QWidget* parent = nullptr);

    QListView* list() const { return m_list; }
    QToolButton* markAllReadButton() const { return m_markAll; }
    QLabel* titleLabel() const { return m_title; }
    QLabel* subtitleLabel() const { return m_subtitle; }
    EmptyState* placeholder() const { return m_placeholder; }
    QProgressBar* progress() const { return m_progress; }
    QLabel* progressText() const { return m_progressText; }
    // Beside the count while a refresh or an item list loads.
    QProgressBar* busyBar() const { return m_busy; }
    QLineEdit* searchField() const { return m_search; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSearch();
    void buildList();
    void buildLayout();
    void followSearch();
    // Rows chosen open their article; the article chosen elsewhere is the row selected.
    void followList();
    // The header's counts, the list's overlays and its progress follow the timeline.
    void followTimeline();
    void updateHeader();
    void showTitle();
    void fitMarkAllButton();
    void updateOverlay();
    void showProgress();
    void placeProgress();
    void showSelection();
    void showContextMenu(const QPoint& position);
    void sayMatches();

    Reader& m_reader;
    ItemActions& m_actions;
    TimelineModel* m_model;
    QListView* m_list;
    QLabel* m_title;
    QString m_fullTitle; // the title shows it elided when the column is narrow
    QLabel* m_subtitle;
    QToolButton* m_markAll;
    QBoxLayout* m_header = nullptr;
    QBoxLayout* m_markRow = nullptr;
    EmptyState* m_placeholder;
    QProgressBar* m_progress;
    QLabel* m_progressText; // under the bar: what the empty list waits for
    QProgressBar* m_busy;
    QLineEdit* m_search;
    bool m_syncing = false;
    QTimer* m_matchesSettle; // the count is said once typing pauses
};
