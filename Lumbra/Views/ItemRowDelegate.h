#pragma once

#include <QStyledItemDelegate>

// Paints one timeline row from the model's roles: unread dot, feed line with icon, star
// and date, the title (bold while unread) and a two-line excerpt. Rows share one height,
// so a long list lays out at once.
class ItemRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
