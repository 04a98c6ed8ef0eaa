#pragma once

#include <QStyledItemDelegate>

namespace kestrel {

// Draws list items whose texts line up with tab characters (register names
// followed by tabs, then the value), with a tab stop every 48 pixels.
class TabListDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kTabStop = 48;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace kestrel
