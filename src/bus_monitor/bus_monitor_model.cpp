#include "bus_monitor/bus_monitor_model.h"

#include <QBrush>
#include <QColor>
#include <QTimer>

#include "bus/record_export.h"
#include "device/diagnostics.h"
#include "device/text_rules.h"

namespace kestrel {

BusMonitorModel::BusMonitorModel(QObject* parent) : QAbstractTableModel(parent) {}

void BusMonitorModel::transactionEnded(const TransactionRecord& record) {
    if (paused_) return;
    // Bounded while no batch is shown (a long run in one hold of the bus).
    if (pending_.size() >= 2 * kCapacity) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(kCapacity));
        pendingDropped_ += kCapacity;
    }
    pending_.push_back(record);
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { flush(); });
    }
}

void BusMonitorModel::flush() {
    flushQueued_ = false;
    if (pending_.empty()) return;
    std::uint64_t dropped = dropped_ + pendingDropped_;
    pendingDropped_ = 0;
    if (pending_.size() > kCapacity) {
        dropped += pending_.size() - kCapacity;
        pending_.erase(pending_.begin(), pending_.end() - kCapacity);
    }
    const std::size_t overflow =
        rows_.size() + pending_.size() > kCapacity ? rows_.size() + pending_.size() - kCapacity : 0;
    if (overflow > 0) {
        beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<long>(overflow));
        endRemoveRows();
        dropped += overflow;
    }
    setDropped(dropped);
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(pending_.size()) - 1);
    for (TransactionRecord& r : pending_) rows_.push_back(std::move(r));
    endInsertRows();
    pending_.clear();
}

void BusMonitorModel::clear() {
    beginResetModel();
    rows_.clear();
    pending_.clear();
    pendingDropped_ = 0;
    timeInSamples_ = false;
    endResetModel();
    setDropped(0);
}

void BusMonitorModel::showRecords(std::deque<TransactionRecord> records, std::uint64_t dropped,
                                  bool timeInSamples) {
    beginResetModel();
    if (records.size() > kCapacity) {
        dropped += records.size() - kCapacity;
        records.erase(records.begin(), records.end() - static_cast<long>(kCapacity));
    }
    rows_ = std::move(records);
    pending_.clear();
    pendingDropped_ = 0;
    timeInSamples_ = timeInSamples;
    endResetModel();
    setDropped(dropped);
    emit headerDataChanged(Qt::Horizontal, Time, Time);
}

void BusMonitorModel::setDropped(std::uint64_t dropped) {
    if (dropped == dropped_) return;
    dropped_ = dropped;
    emit droppedChanged();
}

QString BusMonitorModel::droppedText() const {
    if (dropped_ == 0) return {};
    return QStringLiteral("%1 earlier %2 dropped")
        .arg(QString::number(static_cast<qulonglong>(dropped_)),
             dropped_ == 1 ? QStringLiteral("transaction") : QStringLiteral("transactions"));
}

std::vector<const TransactionRecord*> BusMonitorModel::records() const {
    std::vector<const TransactionRecord*> out;
    out.reserve(rows_.size());
    for (const TransactionRecord& r : rows_) out.push_back(&r);
    return out;
}

int BusMonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BusMonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BusMonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const TransactionRecord& r = rows_.at(static_cast<std::size_t>(index.row()));
    if (role == Qt::BackgroundRole) return r.faulty() ? QBrush(QColor(255, 205, 205)) : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case Time:
            return QString::number(r.startMs, 'f', timeInSamples_ ? 0 : 3);
        case Kind:
            return QString::fromStdString(r.kind);
        case Address:
            return r.sent.empty()
                       ? QString()
                       : QString::fromStdString(text::byteText(r.sent[0].value & 0xFEu) + "h");
        case Target:
            return QString::fromStdString(targetText(r));
        case Bytes:
            return QString::fromStdString(record_export::bytesText(r));
        case Pec:
            if (r.pecReceived < 0) return QString();
            return QString::fromStdString(
                text::byteText(static_cast<unsigned>(r.pecReceived)) +
                (r.pecMismatch()
                     ? " (expected " + text::byteText(static_cast<unsigned>(r.pecExpected)) + ")"
                     : " ok"));
        case Result: {
            const std::string problem = diagnose(r);
            return QString::fromStdString(problem.empty() ? "ok" : problem);
        }
        default:
            return {};
    }
}

QVariant BusMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[] = {"Time (ms)", "Kind", "Slave", "Register / address",
                                        "Bytes",     "PEC",  "Result"};
    if (section == Time && timeInSamples_) return QStringLiteral("Time (samples)");
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

}  // namespace kestrel
