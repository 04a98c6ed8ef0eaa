#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;

namespace kestrel {

// Names shown above the bit labels, bit 7 first, with their object names.
struct BitNames {
    std::array<QString, 8> texts;
    std::array<QString, 8> objectNames;
};

// How the eight bits stand.
struct BitLayout {
    int pointSize = 0;          // 0: the window's font; editors use 18 pt bold
    bool rowsOfFour = false;    // bits 7..4 above bits 3..0, each row under its names
    bool staggerNames = false;  // names alternate between two rows, so long names fit
    bool vertical = false;      // one column, bit 7 on top, each name to its left
    bool clickable = true;      // big labels take clicks, focus and Space
};

// Eight bit labels forming one indexed array: each label carries the shared
// object name and its bit position in the property "index"; captions are
// "1" or "0", bit 7 leftmost. The register value lives in these captions.
class BitLabelRow : public QWidget {
    Q_OBJECT
  public:
    BitLabelRow(const QString& name, QWidget* parent = nullptr, const BitLayout& layout = {},
                const BitNames* names = nullptr);

    QLabel* label(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
    // Sets the captions from the low eight bits of `value`.
    void showValue(std::uint8_t value);
    // Every caption "X": the register's value is not known (its read failed).
    void showUnknown();
    // The byte the eight captions spell: a caption "1" counts, any other not.
    std::uint8_t value() const;

  signals:
    // A label was clicked, or Space pressed on a focused one; `index` is its
    // bit position.
    void bitClicked(int index);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::array<QLabel*, 8> labels_{};
    QLabel* pressed_ = nullptr;  // the label the left button went down on
};

}  // namespace kestrel
