#include "widgets/tab_list_delegate.h"

#include <QApplication>
#include <QPainter>

namespace kestrel {

int TabListDelegate::valueColumn(const QFont& font) const {
    const QFontMetrics fm(font);
    return fm.horizontalAdvance(widestName_) + 3 * fm.averageCharWidth();
}

void TabListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(QPalette::Normal, (opt.state & QStyle::State_Selected)
                                                            ? QPalette::HighlightedText
                                                            : QPalette::Text));
    const QRect area = opt.rect.adjusted(4, 0, 0, 0);
    const int firstTab = static_cast<int>(text.indexOf(QLatin1Char('\t')));
    if (firstTab < 0) {
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, text);
    } else {
        const int lastTab = static_cast<int>(text.lastIndexOf(QLatin1Char('\t')));
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, text.left(firstTab));
        painter->drawText(area.adjusted(valueColumn(opt.font), 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter, text.mid(lastTab + 1));
    }
    painter->restore();
}

QSize TabListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int lastTab = static_cast<int>(text.lastIndexOf(QLatin1Char('\t')));
    if (lastTab >= 0)
        size.setWidth(valueColumn(option.font) +
                      QFontMetrics(option.font).horizontalAdvance(text.mid(lastTab + 1)) + 12);
    return size;
}

}  // namespace kestrel
