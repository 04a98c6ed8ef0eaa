#include "main_window/message_log.h"

namespace kestrel {

namespace {

QString lineOf(const MessageLog::Entry& e) {
    return e.time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  ") + e.text;
}

}  // namespace

void MessageLog::add(const QString& text) {
    if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
    entries_.push_back({QDateTime::currentDateTime(), text});
    emit added(lineOf(entries_.back()));
}

QStringList MessageLog::lines() const {
    QStringList out;
    for (const Entry& e : entries_) out << lineOf(e);
    return out;
}

}  // namespace kestrel
