#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "remote/server.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kestrel {

// Tools > Remote Control: starts and stops the program's SCPI server on the
// windows' own connection and lists its clients. Remote transactions show
// in the bus monitor and the main window as any others do. The server goes
// on when the window closes; Quit ends it.
class RemoteWindow final : public QWidget {
    Q_OBJECT
  public:
    RemoteWindow(remote::Server& server, std::function<std::string()> backupFolder);

    void start_Click();
    void exit_Click() { hide(); }

  private:
    void showState();
    void showClients();

    remote::Server& server_;
    std::function<std::string()> backupFolder_;
    QLineEdit* listen_ = nullptr;
    QLineEdit* allow_ = nullptr;
    QCheckBox* readOnly_ = nullptr;
    QPushButton* start_ = nullptr;
    QLabel* state_ = nullptr;
    QTableWidget* clients_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QTimer refresh_;
};

}  // namespace kestrel
