#pragma once

#include <QWidget>
#include <vector>

namespace kestrel {

struct TransactionRecord;

// SCL and SDA of one transaction, drawn from its captured line changes: what
// the master drove, and where it sampled SDA, what the line really was.
class WaveformView final : public QWidget {
    Q_OBJECT
  public:
    explicit WaveformView(QWidget* parent = nullptr);
    void show(const TransactionRecord* record);
    QSize sizeHint() const override { return {900, 110}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Levels per port write (true: high), SDA corrected by the samples.
    std::vector<bool> scl_, sda_;
};

}  // namespace kestrel
