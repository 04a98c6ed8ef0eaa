#include "remote/server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>

#include "remote/limits.h"

namespace kestrel::remote {

namespace {

// Bytes Qt reads ahead from a socket; beyond it TCP holds the client back.
constexpr qint64 kReadBuffer = 256 * 1024;

QString endpoint(const QHostAddress& address, quint16 port) {
    QHostAddress a = address;
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    if (v4) a = QHostAddress(ip4);
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

}  // namespace

QString readListen(const QString& text, Listen& listen) {
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return QStringLiteral("give ADDR:PORT, e.g. 127.0.0.1:5025");
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.isEmpty() || !portText.at(0).isDigit())
        return QStringLiteral("the port '%1' is not a number from 0 to 65535").arg(portText);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (host == QStringLiteral("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return QStringLiteral(
                   "'%1' is not an IP address (names other than localhost are not "
                   "looked up)")
            .arg(host);
    listen.address = address;
    listen.port = static_cast<quint16>(port);
    return {};
}

QString readAllow(const QString& text, Listen& listen) {
    QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(text);
    if (subnet.first.isNull()) {
        QHostAddress one;
        if (!one.setAddress(text))
            return QStringLiteral("'%1' is not an address or CIDR block (10.0.0.0/8)").arg(text);
        subnet = {one, one.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
    }
    listen.allow.append(subnet);
    return {};
}

QString listenProblem(const Listen& listen) {
    if (!listen.address.isLoopback() && listen.allow.isEmpty())
        return QStringLiteral(
                   "--listen %1 takes only the peers --allow names, and none was "
                   "given (--allow 192.168.1.0/24)")
            .arg(endpoint(listen.address, listen.port));
    return {};
}

// One connection: its socket, its session and how its bus work is run.
class Server::Client final : public QObject, private BusRunner {
  public:
    Client(Server& server, quint64 id, QTcpSocket* socket)
        : QObject(&server),
          server_(server),
          socket_(socket),
          session_(id, server.shared_, *this,
                   [this](const std::string& bytes) {
                       socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
                   }),
          peer_(endpoint(socket->peerAddress(), socket->peerPort())) {
        socket_->setParent(this);
        socket_->setReadBufferSize(kReadBuffer);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        idle_.setSingleShot(true);
        idle_.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(kIdleTimeout));
        QObject::connect(&idle_, &QTimer::timeout, this, [this] {
            if (session_.busy()) return idle_.start();
            emit server_.event(QStringLiteral("client %1 (%2) closed after %3 minutes idle")
                                   .arg(session_.id())
                                   .arg(peer_)
                                   .arg(kIdleTimeout.count()));
            socket_->disconnectFromHost();
        });
        QObject::connect(socket_, &QTcpSocket::readyRead, this, &Client::pull);
        QObject::connect(socket_, &QTcpSocket::bytesWritten, this, &Client::pull);
        QObject::connect(socket_, &QTcpSocket::disconnected, this,
                         [this] { server_.remove(session_.id()); });
        idle_.start();
    }

    ClientInfo info() const {
        return {session_.id(), peer_, QString::fromStdString(session_.lastCommand()),
                session_.busy(), static_cast<int>(session_.errorCount())};
    }
    void close() { socket_->abort(); }

  private:
    // Reads what the client sent, as far as its queue and its unread
    // answers allow; the rest waits in the socket (and in TCP).
    void pull() {
        bool read = false;
        while (session_.pending() < kMaxPendingMessages &&
               static_cast<std::size_t>(socket_->bytesToWrite()) < kMaxUnreadReply &&
               socket_->bytesAvailable() > 0) {
            const QByteArray bytes = socket_->read(kReadBuffer);
            if (bytes.isEmpty()) break;
            session_.receive(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
            read = true;
        }
        if (read) {
            idle_.start();
            emit server_.clientsChanged();
        }
    }

    std::uint64_t run(Work work, std::function<void(BusReply&)> done) override {
        return server_.jobs_.run(
            this, std::move(work), [this, done = std::move(done)](BusReply& r) {
                done(r);
                idle_.start();
                // The queue shrank: read on where pull() stopped.
                QMetaObject::invokeMethod(this, &Client::pull, Qt::QueuedConnection);
            });
    }
    void stop(std::uint64_t id) override { server_.jobs_.stop(id); }

    Server& server_;
    QTcpSocket* socket_;
    ClientSession session_;
    QString peer_;
    QTimer idle_;
};

Server::Server(BusJobs& jobs, QObject* parent) : QObject(parent), jobs_(jobs) {
    jobs_.addObserver(&shared_.monitor);
}

Server::~Server() {
    stop();
    jobs_.removeObserver(&shared_.monitor);
}

QString Server::start(const Listen& listen) {
    stop();
    if (const QString problem = listenProblem(listen); !problem.isEmpty()) return problem;
    listen_ = listen;
    shared_.settings = listen.settings;
    shared_.lockHolder = 0;
    server_ = new QTcpServer(this);
    server_->setMaxPendingConnections(kMaxClients);
    if (!server_->listen(listen.address, listen.port)) {
        const QString why = server_->errorString();
        delete server_;
        server_ = nullptr;
        return QStringLiteral("cannot listen on %1: %2")
            .arg(endpoint(listen.address, listen.port), why);
    }
    QObject::connect(server_, &QTcpServer::newConnection, this, &Server::accept);
    emit event(QStringLiteral("listening on %1").arg(address()));
    return {};
}

void Server::stop() {
    if (server_ == nullptr) return;
    server_->close();
    delete server_;
    server_ = nullptr;
    const auto clients = clients_;
    clients_.clear();
    for (const auto& [id, client] : clients) {
        client->close();
        client->deleteLater();
    }
    shared_.lockHolder = 0;
    emit event(QStringLiteral("stopped"));
    emit clientsChanged();
}

bool Server::listening() const {
    return server_ != nullptr && server_->isListening();
}

QString Server::address() const {
    if (!listening()) return {};
    return endpoint(server_->serverAddress(), server_->serverPort());
}

bool Server::allowed(const QHostAddress& peer) const {
    QHostAddress p = peer;
    bool v4 = false;
    const quint32 ip4 = p.toIPv4Address(&v4);
    if (v4) p = QHostAddress(ip4);
    // A loopback address takes loopback peers only; --allow, wherever it
    // listens, takes only the peers it names.
    if (listen_.address.isLoopback() && !p.isLoopback()) return false;
    if (listen_.allow.isEmpty()) return listen_.address.isLoopback();
    for (const auto& subnet : listen_.allow)
        if (p.isInSubnet(subnet)) return true;
    return false;
}

void Server::accept() {
    while (server_ != nullptr && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        const QString peer = endpoint(socket->peerAddress(), socket->peerPort());
        QString refused;
        if (!allowed(socket->peerAddress()))
            refused = QStringLiteral("not allowed (--allow)");
        else if (static_cast<int>(clients_.size()) >= kMaxClients)
            refused = QStringLiteral("%1 clients are served already").arg(kMaxClients);
        if (!refused.isEmpty()) {
            emit event(QStringLiteral("refused %1: %2").arg(peer, refused));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = nextId_++;
        clients_[id] = new Client(*this, id, socket);
        emit event(QStringLiteral("client %1 connected from %2").arg(id).arg(peer));
        emit clientsChanged();
    }
}

void Server::remove(quint64 id) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;
    Client* client = found->second;
    clients_.erase(found);
    emit event(QStringLiteral("client %1 (%2) disconnected").arg(id).arg(client->info().peer));
    client->deleteLater();
    emit clientsChanged();
}

QList<Server::ClientInfo> Server::clients() const {
    QList<ClientInfo> list;
    for (const auto& [id, client] : clients_) list.append(client->info());
    return list;
}

}  // namespace kestrel::remote
