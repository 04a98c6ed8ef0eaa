#pragma once

#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace kestrel {

// The program-wide reference to every secondary window: each exists once,
// created (and so loaded) on first use. A window's Exit button hides it and
// it keeps its contents; its close box destroys it, and the next use creates
// and loads it anew.
// Shrinks a window that is larger than the screen's free area and moves it
// so that it stands whole on the screen, title bar included.
void fitOnScreen(QWidget* window);

// A window marks its Exit button with this property (true); the registry
// makes Escape press it.
inline constexpr const char* kEscapeButton = "escapeButton";

class WindowRegistry {
  public:
    using Factory = std::function<QWidget*()>;

    void add(const QString& name, Factory factory);
    bool has(const QString& name) const { return factories_.contains(name); }
    // Every window's name, in alphabetical order.
    QStringList names() const { return factories_.keys(); }

    // The window, created on first use.
    QWidget* window(const QString& name);
    // The window if it is loaded now, without creating it.
    QWidget* loaded(const QString& name) const;
    template <typename W>
    W* window(const QString& name) {
        return qobject_cast<W*>(window(name));
    }

    // Shows the window (creating it if needed) and brings it to the front.
    // A modal window blocks input to every other window until it closes.
    QWidget* show(const QString& name, bool modal);

    // Hides every loaded window and destroys it once control is back in the
    // event loop that runs it (the program is ending): a window whose own
    // code is running, in a question it asked, is never deleted under it.
    void closeAll();
    // Destroys every loaded window now (no event loop runs any more).
    void deleteAll();

  private:
    QMap<QString, Factory> factories_;
    QMap<QString, QPointer<QWidget>> windows_;
};

}  // namespace kestrel
