#pragma once

#include <QStyledItemDelegate>

namespace kestrel {

// Draws list items whose texts line up with tab characters: register names
// followed by tabs, then the value. Whatever stands after the last tab is
// drawn in one column just right of the widest name, so the values line up
// in any font.
class TabListDelegate final : public QStyledItemDelegate {
  public:
    TabListDelegate(QString widestName, QObject* parent)
        : QStyledItemDelegate(parent), widestName_(std::move(widestName)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    int valueColumn(const QFont& font) const;
    QString widestName_;
};

}  // namespace kestrel
