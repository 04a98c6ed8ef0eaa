#include "main_window/bit_label_row.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

namespace kestrel {

BitLabelRow::BitLabelRow(const QString& name, QWidget* parent, int pointSize) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (int i = 7; i >= 0; --i) {
        auto* label = new QLabel(QStringLiteral("0"), this);
        label->setObjectName(name);
        label->setProperty("index", i);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(pointSize > 0 ? pointSize + 10 : 18);
        if (pointSize > 0) {
            QFont f = label->font();
            f.setPointSize(pointSize);
            f.setBold(true);
            label->setFont(f);
        }
        label->installEventFilter(this);
        labels_[static_cast<std::size_t>(i)] = label;
        row->addWidget(label);
    }
}

void BitLabelRow::showValue(std::uint8_t value) {
    for (int i = 0; i < 8; ++i)
        labels_[static_cast<std::size_t>(i)]->setText((value >> i) & 1 ? QStringLiteral("1")
                                                                        : QStringLiteral("0"));
}

std::uint8_t BitLabelRow::value() const {
    unsigned v = 0;
    for (int i = 0; i < 8; ++i)
        if (labels_[static_cast<std::size_t>(i)]->text() == QLatin1String("1")) v |= 1u << i;
    return static_cast<std::uint8_t>(v);
}

bool BitLabelRow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (auto* label = qobject_cast<QLabel*>(watched)) {
            emit bitClicked(label->property("index").toInt());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kestrel
