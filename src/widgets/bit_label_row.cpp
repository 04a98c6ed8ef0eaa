#include "widgets/bit_label_row.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace kestrel {

BitLabelRow::BitLabelRow(const QString& name, QWidget* parent, const BitLayout& layout,
                         const BitNames* names)
    : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    const int nameRows = names == nullptr ? 0 : (layout.staggerNames ? 2 : 1);
    const int perRow = layout.rowsOfFour ? 4 : 8;
    // Each bit takes two grid columns, so a staggered name may span four.
    for (int position = 0; position < 8; ++position) {
        const int bit = 7 - position;
        const int block = position / perRow;
        const int column = 2 * (position % perRow);
        const int top = block * (nameRows + 1);
        if (layout.vertical) {
            if (names != nullptr) {
                auto* nameLabel =
                    new QLabel(names->texts[static_cast<std::size_t>(position)], this);
                nameLabel->setObjectName(names->objectNames[static_cast<std::size_t>(position)]);
                grid->addWidget(nameLabel, position, 0, Qt::AlignRight | Qt::AlignVCenter);
            }
        } else if (names != nullptr) {
            auto* nameLabel = new QLabel(names->texts[static_cast<std::size_t>(position)], this);
            nameLabel->setObjectName(names->objectNames[static_cast<std::size_t>(position)]);
            nameLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
            if (layout.staggerNames) {
                const int first = std::max(0, column - 1);
                const int span = std::min(2 * perRow, column + 3) - first;
                grid->addWidget(nameLabel, top + position % 2, first, 1, span, Qt::AlignHCenter);
            } else {
                grid->addWidget(nameLabel, top, column, 1, 2);
            }
        }
        auto* label = new QLabel(QStringLiteral("0"), this);
        label->setObjectName(name);
        label->setProperty("index", bit);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        if (layout.pointSize > 0) {
            QFont f = label->font();
            f.setPointSize(layout.pointSize);
            f.setBold(true);
            label->setFont(f);
            label->setMinimumWidth(layout.pointSize * 2 + 6);
            if (layout.clickable) {
                label->setCursor(Qt::PointingHandCursor);
                // Tab reaches the bits in reading order; Space toggles one.
                label->setFocusPolicy(Qt::TabFocus);
                label->setStyleSheet(
                    QStringLiteral("QLabel:focus { background: palette(highlight); color: "
                                   "palette(highlighted-text); }"));
            }
        } else {
            label->setMinimumWidth(18);
        }
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        label->installEventFilter(this);
        labels_[static_cast<std::size_t>(bit)] = label;
        if (layout.vertical)
            grid->addWidget(label, position, 1);
        else
            grid->addWidget(label, top + nameRows, column, 1, 2);
    }
}

void BitLabelRow::showValue(std::uint8_t value) {
    for (int i = 0; i < 8; ++i)
        labels_[static_cast<std::size_t>(i)]->setText((value >> i) & 1 ? QStringLiteral("1")
                                                                       : QStringLiteral("0"));
}

void BitLabelRow::showUnknown() {
    for (QLabel* label : labels_) label->setText(QStringLiteral("X"));
}

std::uint8_t BitLabelRow::value() const {
    unsigned v = 0;
    for (int i = 0; i < 8; ++i)
        if (labels_[static_cast<std::size_t>(i)]->text() == QLatin1String("1")) v |= 1u << i;
    return static_cast<std::uint8_t>(v);
}

bool BitLabelRow::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label == nullptr) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) pressed_ = label;
            return true;
        case QEvent::MouseButtonDblClick:
            // The second press of a double-click: the first click already
            // toggled, so this one counts for nothing.
            pressed_ = nullptr;
            return true;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return true;
            // A click is a press and a release on the same label.
            const bool click =
                pressed_ == label && label->rect().contains(mouse->position().toPoint());
            pressed_ = nullptr;
            if (click) emit bitClicked(label->property("index").toInt());
            return true;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Space || label->focusPolicy() == Qt::NoFocus)
                return QWidget::eventFilter(watched, event);
            if (!key->isAutoRepeat()) emit bitClicked(label->property("index").toInt());
            return true;
        }
        default:
            return QWidget::eventFilter(watched, event);
    }
}

}  // namespace kestrel
