#pragma once

#include <cstdint>
#include <vector>

namespace kestrel::sim {

// Something attached to the two bus lines: a slave chip or a bus analyser.
// SCL is only ever driven by the master; SDA is open drain, low whenever the
// master or any listener pulls it.
class WireListener {
  public:
    virtual ~WireListener() = default;
    // SDA fell while SCL was high.
    virtual void onStart() = 0;
    // SDA rose while SCL was high.
    virtual void onStop() = 0;
    // SCL rose; `sda` is the line's level (true: high).
    virtual void onSclRise(bool sda) = 0;
    // SCL fell; a slave changes what it drives on SDA now.
    virtual void onSclFall() = 0;

    bool pullsSda() const noexcept { return pullsSda_; }

  protected:
    void pullSda(bool low) noexcept { pullsSda_ = low; }

  private:
    bool pullsSda_ = false;
};

// The two wires with the master's drivers, the listeners and the faults a
// board can have. Levels: true means high (released).
class Wire {
  public:
    void attach(WireListener& listener) { listeners_.push_back(&listener); }

    // The master drives new levels (true: released). When both lines change
    // at once they settle as on a real bus: SCL falls first, SDA changes while
    // SCL is low, SCL rises last.
    void drive(bool sclReleased, bool sdaReleased);

    bool scl() const noexcept { return scl_; }
    bool sda() const noexcept { return sda_; }

    // Fault: something on the board holds SDA low.
    void setSdaStuckLow(bool stuck);

  private:
    void settleSda();

    std::vector<WireListener*> listeners_;
    bool masterSda_ = true;
    bool scl_ = true;
    bool sda_ = true;
    bool stuckLow_ = false;
};

}  // namespace kestrel::sim
