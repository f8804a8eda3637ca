#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Lifetime.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <vector>

class FeedIcons;
class Subscriptions;

// The sources as a tree: the three trays, "Folders" with each folder and its feeds under
// it, and "Feeds" with the feeds outside any folder (only when there are some). Rows are
// built in one pass from a snapshot of the subscriptions; long lists are built on a
// worker thread and swapped in, so a million folders never hold the window up. Counts
// change without a rebuild. Past `rowsAtOnce` top-level rows, the views learn of the rest
// as they need them (scrolling, End, a source chosen elsewhere): a tree view lays out every
// row it knows of whenever rows change, which for a million rows is a visible pause.
class SourcesModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role { SourceKindRole = Qt::UserRole + 1, SourceIdRole, BadgeRole, IsSourceRole };
    static constexpr int rowsAtOnce = 50'000;

    SourcesModel(const Subscriptions& subscriptions, FeedIcons& icons, QObject* parent = nullptr);
    ~SourcesModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Asked for every row when the tree lays out: answered without building indexes.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A feed is dragged onto a folder, or anywhere at the top level to leave its folder.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The row of `source`; invalid when it is not listed or not shown yet.
    QModelIndex indexOf(const Source& source) const;
    // The row of `source`, shown first if it was not; invalid when it is not listed.
    QModelIndex reveal(const Source& source);

    // Whether top-level rows remain that the views do not know of yet.
    bool hasHiddenRows() const;
    // The top-level rows, shown or not.
    int allRowCount() const;
    // Shows as many more top-level rows as are shown, at least `rowsAtOnce`.
    void showMoreRows();
    void showAllRows();
    static Source sourceAt(const QModelIndex& index);

    // Whether the rows already show the current lists (false while a long list is
    // being built).
    bool isCurrent() const { return !m_building; }

Q_SIGNALS:
    void becameCurrent();
    // A feed dropped into a folder (none: the top level); the rows change once it moves.
    void feedDropped(qint64 feedId, std::optional<qint64> folderId);

private:
    struct Top;
    struct Rows;

    QCoro::Task<> listsChanged();
    void apply(std::shared_ptr<const Rows> next);
    const Top* topOf(const QModelIndex& index) const;
    // The top-level row that holds `source` (a feed's folder for a feed in one), or -1.
    int topRowOf(const Source& source) const;
    void showRows(int count);

    const Subscriptions& m_subscriptions;
    FeedIcons& m_icons;
    QList<Source> m_trays;
    std::shared_ptr<const Rows> m_rows; // never null; immutable once built
    int m_shown = 0;                    // top-level rows the views know of
    bool m_building = false;
    bool m_stale = false; // the lists changed again while a build ran
    Lifetime m_lifetime;  // last: it ends first
};
