#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <string>
#include <string_view>

// Small helpers the windows share: controls created with their object name,
// and the list item rule.
namespace kestrel::ui {

inline std::string str(const QString& s) {
    return s.toStdString();
}
inline QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline QPushButton* button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

inline QLabel* label(const char* name, const QString& caption, QWidget* parent) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

inline QLineEdit* edit(const char* name, const QString& text, QWidget* parent, int maxWidth = 70) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    e->setMaximumWidth(maxWidth);
    return e;
}

// Puts a window's contents into a scroll area, so the window can shrink
// below its natural size on a small screen; it still opens at that size.
inline void makeScrollable(QWidget* window) {
    const QSize natural = window->sizeHint();
    auto* inner = new QWidget;
    inner->setLayout(window->layout());  // takes the layout and its controls over
    auto* area = new QScrollArea(window);
    area->setObjectName(QStringLiteral("scrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(inner);
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(area);
    window->resize(natural);
}

// Sets item k of a list: replaces it, or appends it when the list holds
// exactly k items; an item further out is left alone.
inline void setListItem(QListWidget* list, int k, const QString& text) {
    if (k < list->count())
        list->item(k)->setText(text);
    else if (k == list->count())
        list->addItem(text);
}

}  // namespace kestrel::ui
