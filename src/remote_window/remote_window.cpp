#include "remote_window/remote_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include "remote/limits.h"

namespace kestrel {

namespace {

// The client list follows the clients at most this often.
constexpr int kRefreshMs = 250;
// Lines the log keeps.
constexpr int kLogLines = 1000;

}  // namespace

RemoteWindow::RemoteWindow(remote::Server& server, std::function<std::string()> backupFolder)
    : server_(server), backupFolder_(std::move(backupFolder)) {
    setObjectName(QStringLiteral("frm_Remote"));
    setWindowTitle(QStringLiteral("Remote Control"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    listen_ = new QLineEdit(QStringLiteral("127.0.0.1:%1").arg(remote::kDefaultPort), this);
    listen_->setObjectName(QStringLiteral("txtListen"));
    listen_->setToolTip(QStringLiteral("ADDR:PORT; port 0 picks a free one"));
    form->addRow(QStringLiteral("Listen on"), listen_);
    allow_ = new QLineEdit(this);
    allow_->setObjectName(QStringLiteral("txtAllow"));
    allow_->setPlaceholderText(
        QStringLiteral("the only peers taken (needed off loopback): 192.168.1.0/24"));
    form->addRow(QStringLiteral("Allow"), allow_);
    readOnly_ = new QCheckBox(QStringLiteral("Read only: refuse every command that writes"), this);
    readOnly_->setObjectName(QStringLiteral("chkReadOnly"));
    form->addRow(QString(), readOnly_);
    column->addLayout(form);

    start_ = new QPushButton(this);
    start_->setObjectName(QStringLiteral("cmdStart"));
    connect(start_, &QPushButton::clicked, this, [this] { start_Click(); });
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("lblState"));
    state_->setWordWrap(true);
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* row = new QHBoxLayout;
    row->addWidget(start_);
    row->addWidget(state_, 1);
    column->addLayout(row);

    clients_ = new QTableWidget(0, 5, this);
    clients_->setObjectName(QStringLiteral("tblClients"));
    clients_->setHorizontalHeaderLabels({QStringLiteral("Client"), QStringLiteral("Peer"),
                                         QStringLiteral("Bus"), QStringLiteral("Errors"),
                                         QStringLiteral("Last command")});
    // Client, peer, bus and errors as wide as they are; the last command takes the rest.
    clients_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    clients_->horizontalHeader()->setStretchLastSection(true);
    clients_->verticalHeader()->hide();
    clients_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    clients_->setSelectionMode(QAbstractItemView::NoSelection);
    column->addWidget(clients_, 2);

    log_ = new QPlainTextEdit(this);
    log_->setObjectName(QStringLiteral("txtLog"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(kLogLines);
    column->addWidget(log_, 1);

    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    exit->setObjectName(QStringLiteral("exit"));
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    column->addWidget(exit, 0, Qt::AlignRight);

    refresh_.setSingleShot(true);
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] { showClients(); });
    connect(&server_, &remote::Server::clientsChanged, this, [this] {
        if (!refresh_.isActive()) refresh_.start();
    });
    connect(&server_, &remote::Server::event, this, [this](const QString& text) {
        log_->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss  ")) + text);
        showState();
    });
    resize(640, 460);
    showState();
    showClients();
}

void RemoteWindow::start_Click() {
    if (server_.listening()) {
        server_.stop();
        showState();
        return;
    }
    remote::Listen listen;
    QString problem = remote::readListen(listen_->text().trimmed(), listen);
    const QStringList allowed =
        allow_->text().split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    for (const QString& a : allowed)
        if (problem.isEmpty()) problem = remote::readAllow(a, listen);
    if (problem.isEmpty()) {
        listen.settings.readOnly = readOnly_->isChecked();
        listen.settings.backupFolder = backupFolder_;
        problem = server_.start(listen);
    }
    if (!problem.isEmpty())
        state_->setText(QStringLiteral("Not started: ") + problem);
    else
        showState();
}

void RemoteWindow::showState() {
    const bool on = server_.listening();
    start_->setText(on ? QStringLiteral("Stop") : QStringLiteral("Start"));
    listen_->setEnabled(!on);
    allow_->setEnabled(!on);
    readOnly_->setEnabled(!on);
    if (on)
        state_->setText(QStringLiteral("Listening on %1 (PyVISA: TCPIP0::%2::SOCKET)")
                            .arg(server_.address(), server_.address().replace(
                                                        QLatin1Char(':'), QStringLiteral("::"))));
    else if (!state_->text().startsWith(QStringLiteral("Not started")))
        state_->setText(QStringLiteral("Stopped"));
}

void RemoteWindow::showClients() {
    const QList<remote::Server::ClientInfo> list = server_.clients();
    clients_->setRowCount(static_cast<int>(list.size()));
    for (int r = 0; r < list.size(); ++r) {
        const remote::Server::ClientInfo& c = list[r];
        const QStringList cells = {QString::number(c.id), c.peer,
                                   c.busy ? QStringLiteral("job") : QStringLiteral("idle"),
                                   QString::number(c.errors), c.lastCommand};
        for (int k = 0; k < cells.size(); ++k) {
            auto* item = clients_->item(r, k);
            if (item == nullptr) clients_->setItem(r, k, item = new QTableWidgetItem);
            item->setText(cells[k]);
        }
    }
}

}  // namespace kestrel
