#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;

namespace kestrel {

// Eight bit labels forming one indexed array: each label carries the shared
// object name and its bit position in the property "index"; captions are
// "1" or "0", bit 7 leftmost. The register value lives in these captions.
class BitLabelRow : public QWidget {
    Q_OBJECT
public:
    BitLabelRow(const QString& name, QWidget* parent = nullptr, int pointSize = 0);

    QLabel* label(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
    // Sets the captions from the low eight bits of `value`.
    void showValue(std::uint8_t value);
    // The byte the eight captions spell.
    std::uint8_t value() const;

signals:
    // A label was clicked; `index` is its bit position.
    void bitClicked(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLabel*, 8> labels_{};
};

}  // namespace kestrel
