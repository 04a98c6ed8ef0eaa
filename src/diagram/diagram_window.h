#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <vector>

#include "widgets/dialogs.h"
#include "device/globals.h"

class QScrollBar;

namespace kestrel {

// One picture of the diagram window, placed in twips (15 to a pixel) inside
// the viewport; it remembers its design position for scrolling.
class DiagramPicture : public QWidget {
    Q_OBJECT
  public:
    DiagramPicture(const QString& name, const QPixmap& image, int left, int top, bool hotspot,
                   QWidget* parent);

    int homeLeft() const { return homeLeft_; }
    int homeTop() const { return homeTop_; }
    int left() const { return left_; }
    int top() const { return top_; }
    // Places the picture at a position in twips.
    void moveTo(int left, int top);

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QPixmap image_;
    int homeLeft_, homeTop_, left_, top_;
    bool hotspot_;
    bool hover_ = false;
};

// "KESTREL Configuration Registers": the chip's block diagram in a
// scrollable viewport; its function blocks open their register editors.
class DiagramWindow final : public QWidget {
    Q_OBJECT
  public:
    // `open` shows a window of the program by name (modal or not).
    DiagramWindow(Globals& globals, Dialogs& dialogs,
                  std::function<void(const QString&, bool)> open);

    void Form_Load();
    // A click on the hotspot picture `name` ("pic_ilim").
    void hotspotClick(const QString& name);
    void HScroll1_Change(int value);
    void VScroll1_Change(int value);

    // The artwork at its full size, 624 by 963 pixels, drawn with
    // `pixelRatio` device pixels to each (sharp on high-density screens).
    static QPixmap artwork(qreal pixelRatio = 1.0);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    Globals& g_;
    Dialogs& dialogs_;
    std::function<void(const QString&, bool)> open_;
    std::vector<DiagramPicture*> pictures_;  // the diagram first, then the hotspots
    QScrollBar* HScroll1_ = nullptr;
    QScrollBar* VScroll1_ = nullptr;
};

}  // namespace kestrel
