#pragma once

#include "LumbraCore/Records.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <optional>
#include <vector>

class FeedIcons;
class Reader;

// The sources as a tree: the three trays, "Folders" with each folder and its feeds under
// it, and "Feeds" with the feeds outside any folder (only when there are some). Built from
// the Reader's lists in one pass, so a million folders cost a few hundred milliseconds,
// not a rebuild of a million items; counts change without a rebuild.
class SourcesModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role { SourceKindRole = Qt::UserRole + 1, SourceIdRole, BadgeRole, IsSourceRole };

    SourcesModel(Reader& reader, FeedIcons& icons, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The row of `source`; invalid when it is not listed.
    QModelIndex indexOf(const Source& source) const;
    static Source sourceAt(const QModelIndex& index);

private:
    // A top-level row: a tray, a section title, a folder or a feed outside any folder.
    struct Top {
        enum class Kind { tray, section, folder, feed } kind;
        qsizetype at = 0;          // the tray's, folder's or feed's index in its list
        std::vector<qsizetype> children; // a folder's feeds, as indexes into the feed list
        QString title;             // a section's title
    };

    void rebuild();
    // Sums the folders' counts; returns the feeds whose count changed since the last time.
    QList<qint64> recount();
    size_t structureHash() const;
    const Top* topOf(const QModelIndex& index) const;

    Reader& m_reader;
    FeedIcons& m_icons;
    QList<Source> m_trays;
    std::vector<Top> m_top;
    QHash<qint64, int> m_folderRows;                   // folder id → top-level row
    QHash<qint64, std::pair<int, int>> m_feedRows;     // feed id → (top row or -1, row)
    QHash<qint64, qint64> m_folderUnread;              // folder id → its feeds' unread sum
    QHash<qint64, qint64> m_feedUnread;                // feed id → its unread count
    size_t m_structure = 0;
};
