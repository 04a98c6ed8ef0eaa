#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <map>
#include <memory>

#include "jobs/bus_jobs.h"
#include "remote/client_session.h"

class QTcpServer;

// The board as an instrument: an SCPI server over TCP (raw socket, port 5025
// by convention) for PyVISA, LabVIEW or any SCPI client. Each client has its
// own session (remote/client_session.h); their bus work goes through the
// connection's bus owner as jobs, one at a time in arrival order, so remote
// transactions show wherever the connection's records are observed (the bus
// monitor, the main window's captions). This thread never waits on the bus.
// The same object serves in `kestrel-eval serve` and in the windows.
namespace kestrel::remote {

struct Listen {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 5025;  // 0: a free port
    // The only peers taken when not empty (needed when the address is not a
    // loopback one); a loopback address takes loopback peers only.
    QList<QPair<QHostAddress, int>> allow;
    ServerSettings settings;
};

// "ADDR:PORT" (127.0.0.1:5025, [::1]:5025, localhost:5025) into `listen`;
// empty when it reads, otherwise what is wrong.
QString readListen(const QString& text, Listen& listen);
// "10.0.0.0/8", "192.168.1.20" (one host), "fd00::/8".
QString readAllow(const QString& text, Listen& listen);
// A non-loopback address without --allow would take nobody: why it is refused.
QString listenProblem(const Listen& listen);

class Server final : public QObject {
    Q_OBJECT
  public:
    explicit Server(BusJobs& jobs, QObject* parent = nullptr);
    ~Server() override;

    // Starts listening; empty on success, otherwise why not.
    QString start(const Listen& listen);
    // Stops listening and closes every client (a job under way finishes on
    // the bus; its answer goes nowhere).
    void stop();
    bool listening() const;
    // "127.0.0.1:5025": the address and port listened on (the port chosen
    // when 0 was asked for).
    QString address() const;

    struct ClientInfo {
        quint64 id = 0;
        QString peer;         // "127.0.0.1:40112"
        QString lastCommand;  // the last message, cut
        bool busy = false;    // a job of its own is on the bus or waits for it
        int errors = 0;       // in its error queue
    };
    QList<ClientInfo> clients() const;
    int clientCount() const { return static_cast<int>(clients_.size()); }

  signals:
    // A client came, went or changed what it does.
    void clientsChanged();
    // One line for the log: a client connected, refused, closed.
    void event(const QString& text);

  private:
    class Client;
    void accept();
    void remove(quint64 id);
    bool allowed(const QHostAddress& peer) const;

    BusJobs& jobs_;
    QTcpServer* server_ = nullptr;
    Listen listen_;
    Shared shared_;
    std::map<quint64, Client*> clients_;
    quint64 nextId_ = 1;
};

}  // namespace kestrel::remote
