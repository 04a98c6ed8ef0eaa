#pragma once

#include <QWidget>
#include <vector>

namespace kestrel {

struct TransactionRecord;

// SCL and SDA of one transaction, drawn from its captured line changes: what
// the master drove, with SDA corrected by its samples (LineDecoder's levels,
// the same as a line trace shows).
class WaveformView final : public QWidget {
    Q_OBJECT
  public:
    explicit WaveformView(QWidget* parent = nullptr);
    void show(const TransactionRecord* record);
    QSize sizeHint() const override { return {900, 110}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Levels per port write (true: high).
    std::vector<bool> scl_, sda_;
};

}  // namespace kestrel
