#pragma once

#include <QAbstractListModel>
#include <QHash>

class FeedIcons;
class Reader;

// The Reader's items as list rows. A replaced list resets the model once; a flag change
// updates its row only. Excerpts are computed when a row is first shown and cached.
class TimelineModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        ExcerptRole,
        UnreadRole,
        StarredRole,
        FeedTitleRole,
        FeedIconRole,
        DateRole,
    };

    TimelineModel(Reader& reader, FeedIcons& icons, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The row of the item with that id, -1 when not listed.
    int rowOf(qint64 id) const;

private:
    Reader& m_reader;
    FeedIcons& m_icons;
    mutable QHash<qint64, QString> m_excerpts;
};
