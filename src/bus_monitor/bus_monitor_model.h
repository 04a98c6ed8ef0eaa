#pragma once

#include <QAbstractTableModel>
#include <deque>
#include <vector>

#include "bus/bus.h"

namespace kestrel {

// The bus monitor's list: one row per transaction (START to STOP) as the bus
// reports it. New rows are collected as they come and shown in one batch
// when the event loop next runs, so a long run of transactions costs the
// bus little. Keeps the most recent rows only.
class BusMonitorModel final : public QAbstractTableModel, public TransactionObserver {
    Q_OBJECT
  public:
    enum Column { Time, Kind, Address, Target, Bytes, Pec, Result, ColumnCount };
    static constexpr std::size_t kCapacity = 5000;

    explicit BusMonitorModel(QObject* parent = nullptr);

    void transactionEnded(const TransactionRecord& record) override;
    // Shows the rows collected since the last batch.
    void flush();
    void clear();
    // Shows `records` instead of what the bus sent (a capture), all of them.
    void showRecords(std::vector<TransactionRecord> records);
    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }

    const TransactionRecord& record(int row) const {
        return rows_.at(static_cast<std::size_t>(row));
    }
    std::vector<const TransactionRecord*> records() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::deque<TransactionRecord> rows_;
    std::vector<TransactionRecord> pending_;
    bool flushQueued_ = false;
    bool paused_ = false;
};

}  // namespace kestrel
