#pragma once

#include <QAbstractTableModel>
#include <deque>
#include <vector>

#include "bus/bus.h"
#include "capture/capture_limits.h"

namespace kestrel {

// The bus monitor's list: one row per transaction (START to STOP) as the bus
// reports it. New rows are collected as they come and shown in one batch
// when the event loop next runs, so a long run of transactions costs the
// bus little. Keeps the most recent rows only, and counts those it dropped.
class BusMonitorModel final : public QAbstractTableModel, public TransactionObserver {
    Q_OBJECT
  public:
    enum Column { Time, Kind, Address, Target, Bytes, Pec, Result, ColumnCount };
    static constexpr std::size_t kCapacity = capture::limits::kRecordsKept;

    explicit BusMonitorModel(QObject* parent = nullptr);

    void transactionEnded(const TransactionRecord& record) override;
    // Shows the rows collected since the last batch.
    void flush();
    void clear();
    // Shows `records` instead of what the bus sent (a capture's most recent
    // ones, `dropped` earlier ones left out; times in samples when
    // `timeInSamples`).
    void showRecords(std::deque<TransactionRecord> records, std::uint64_t dropped = 0,
                     bool timeInSamples = false);
    // Earlier transactions left out for the cap since the list was last cleared.
    std::uint64_t dropped() const { return dropped_; }
    // "1,234 earlier transactions dropped", or empty.
    QString droppedText() const;
    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }
    bool timeInSamples() const { return timeInSamples_; }

    const TransactionRecord& record(int row) const {
        return rows_.at(static_cast<std::size_t>(row));
    }
    std::vector<const TransactionRecord*> records() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  signals:
    void droppedChanged();

  private:
    void setDropped(std::uint64_t dropped);

    std::deque<TransactionRecord> rows_;
    std::uint64_t dropped_ = 0;
    std::uint64_t pendingDropped_ = 0;  // left out of pending_ before a batch
    bool timeInSamples_ = false;
    std::vector<TransactionRecord> pending_;
    bool flushQueued_ = false;
    bool paused_ = false;
};

}  // namespace kestrel
