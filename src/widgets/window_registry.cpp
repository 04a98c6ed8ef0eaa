#include "widgets/window_registry.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <algorithm>

namespace kestrel {

void fitOnScreen(QWidget* w) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    // Room for the frame and title bar the window manager adds.
    const QSize room = available.size() - QSize(16, 40);
    if (w->width() > room.width() || w->height() > room.height())
        w->resize(w->size().boundedTo(room).expandedTo(w->minimumSizeHint().boundedTo(room)));
    QPoint at = available.center() - w->rect().center();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() - w->width() - 16)));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() - w->height() - 40)));
    w->move(at);
}

void WindowRegistry::add(const QString& name, Factory factory) {
    factories_.insert(name, std::move(factory));
}

QWidget* WindowRegistry::loaded(const QString& name) const {
    const auto it = windows_.constFind(name);
    return it == windows_.constEnd() ? nullptr : it->data();
}

QWidget* WindowRegistry::window(const QString& name) {
    if (QWidget* w = loaded(name)) return w;
    const auto factory = factories_.constFind(name);
    if (factory == factories_.constEnd()) return nullptr;
    QWidget* w = (*factory)();
    w->setAttribute(Qt::WA_DeleteOnClose);
    // Escape does what the window's own Exit button does; a window without
    // one closes, as its close box would close it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), w);
    QAbstractButton* exit = nullptr;
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->property(kEscapeButton).toBool()) {
            exit = b;
            break;
        }
    if (exit != nullptr)
        QObject::connect(escape, &QShortcut::activated, exit, &QAbstractButton::click);
    else
        QObject::connect(escape, &QShortcut::activated, w, &QWidget::close);
    windows_.insert(name, w);
    return w;
}

QWidget* WindowRegistry::show(const QString& name, bool modal) {
    QWidget* w = window(name);
    if (w == nullptr) return nullptr;
    if (!w->isVisible()) {
        w->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        if (!w->property("kestrelShownOnce").toBool()) {
            // First showing: centre on the screen, whole.
            w->setProperty("kestrelShownOnce", true);
            if (!w->testAttribute(Qt::WA_Resized)) w->adjustSize();
            fitOnScreen(w);
        }
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void WindowRegistry::closeAll() {
    for (auto& w : windows_)
        if (w) {
            w->hide();
            w->deleteLater();
        }
}

void WindowRegistry::deleteAll() {
    for (auto& w : windows_)
        if (w) delete w.data();
    windows_.clear();
}

}  // namespace kestrel
