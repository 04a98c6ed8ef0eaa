#include "app/window_registry.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>

namespace kestrel {

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
    // Escape does what the window's own Exit button does.
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->property(kEscapeButton).toBool()) {
            auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), w);
            QObject::connect(escape, &QShortcut::activated, b, &QAbstractButton::click);
            break;
        }
    windows_.insert(name, w);
    return w;
}

QWidget* WindowRegistry::show(const QString& name, bool modal) {
    QWidget* w = window(name);
    if (w == nullptr) return nullptr;
    if (!w->isVisible()) {
        w->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        if (!w->property("kestrelShownOnce").toBool()) {
            // First showing: centre on the screen.
            w->setProperty("kestrelShownOnce", true);
            if (!w->testAttribute(Qt::WA_Resized)) w->adjustSize();
            if (QScreen* screen = QGuiApplication::primaryScreen())
                w->move(screen->availableGeometry().center() - w->rect().center());
        }
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void WindowRegistry::closeAll() {
    for (auto& w : windows_)
        if (w) delete w.data();
    windows_.clear();
}

}  // namespace kestrel
