#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace kestrel {

class MessageLog;

// "Messages": every message since the program started, newest at the bottom.
class MessageLogWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit MessageLogWindow(MessageLog& log);

    QString text() const;

  private:
    QPlainTextEdit* view_ = nullptr;
};

}  // namespace kestrel
