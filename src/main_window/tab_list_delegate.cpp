#include "main_window/tab_list_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

namespace kestrel {

void TabListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
    textOption.setTabStopDistance(kTabStop);
    textOption.setWrapMode(QTextOption::NoWrap);
    painter->save();
    painter->setPen(opt.palette.color(QPalette::Normal, (opt.state & QStyle::State_Selected)
                                                            ? QPalette::HighlightedText
                                                            : QPalette::Text));
    painter->drawText(QRectF(opt.rect.adjusted(4, 0, 0, 0)), text, textOption);
    painter->restore();
}

QSize TabListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int tabs = static_cast<int>(text.count(QLatin1Char('\t')));
    size.setWidth(size.width() + tabs * kTabStop);
    return size;
}

}  // namespace kestrel
