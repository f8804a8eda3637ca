#pragma once

#include <QStyledItemDelegate>

// Paints one timeline row from the model's roles: unread dot, feed line with icon, star
// and date, the title (bold while unread, up to three lines) and the excerpt (up to two).
// Rows share one height, so a long list lays out at once; line heights are measured with
// the fallback fonts CJK and emoji text use. What a row cuts short, its tooltip shows whole.
class ItemRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The whole title and feed title, when the row cuts either short.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
