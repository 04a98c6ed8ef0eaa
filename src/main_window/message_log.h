#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace kestrel {

// Every message the program has shown since it started, with its time, so a
// warning that a later one replaced can still be read (Tools > Messages).
class MessageLog : public QObject {
    Q_OBJECT
  public:
    struct Entry {
        QDateTime time;
        QString text;
    };
    // Keeps at most this many; the oldest go first.
    static constexpr std::size_t kMaxEntries = 10000;

    void add(const QString& text);
    const std::vector<Entry>& entries() const { return entries_; }
    // "19:42:07  No acknowledge from AEh", one line per message.
    QStringList lines() const;

  signals:
    void added(const QString& line);

  private:
    std::vector<Entry> entries_;
};

}  // namespace kestrel
