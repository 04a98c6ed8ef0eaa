// Tools > Remote Control serves the windows' own session: a remote write is
// one more job on the bus owner, seen by the bus monitor and the main
// window as any other.
#include "remote_window/remote_window.h"

#include <gtest/gtest.h>

#include <QTableWidget>
#include <QTcpSocket>

#include "bus_monitor/bus_monitor_model.h"
#include "bus_monitor/bus_monitor_window.h"
#include "support/app_rig.h"

namespace kestrel {
namespace {

// A client in the test's own thread: the server answers as the event loop turns.
struct Client {
    QTcpSocket socket;
    QByteArray ask(testing::AppRig& app, const QByteArray& message, int lines = 1) {
        socket.write(message);
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (got.count('\n') < lines && waited.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            app.settle();
            got += socket.readAll();
        }
        return got;
    }
};

TEST(RemoteControl, ServesTheWindowsSessionAndListsItsClients) {
    testing::AppRig app;
    auto* monitor = app.open<BusMonitorWindow>("mnuBusMonitor", "frm_BusMonitor");
    auto* w = app.open<RemoteWindow>("mnuRemote", "frm_Remote");
    ASSERT_NE(w, nullptr);
    app.type("txtListen", "127.0.0.1:0", w);
    app.click("cmdStart", w);
    ASSERT_TRUE(app.program->remoteServer().listening()) << app.text("lblState", w).toStdString();
    EXPECT_EQ(app.text("cmdStart", w), "Stop");
    const QString address = app.program->remoteServer().address();
    EXPECT_TRUE(app.text("lblState", w).contains(address));

    Client client;
    client.socket.connectToHost(QHostAddress::LocalHost,
                                static_cast<quint16>(address.section(':', -1).toUInt()));
    ASSERT_TRUE(client.socket.waitForConnected(5000));
    monitor->model().flush();
    const int before = monitor->model().rowCount();
    EXPECT_EQ(client.ask(app, "REG #H14,#B01011010;*OPC?\n"), "1\n");
    EXPECT_EQ(app.board().kestrel().reg(0x14), 0x5A);
    // The monitor lists the remote write; the main window's bit captions show it.
    monitor->model().flush();
    EXPECT_EQ(monitor->model().rowCount(), before + 1);
    EXPECT_EQ(app.bits("Read_Data"), "01011010");
    EXPECT_EQ(client.ask(app, "REG? 20\n"), "90\n");

    QTest::qWait(300);  // the list follows at most four times a second
    auto* clients = app.find<QTableWidget>("tblClients", w);
    ASSERT_EQ(clients->rowCount(), 1);
    EXPECT_EQ(clients->item(0, 1)->text(), client.socket.localAddress().toString() + ":" +
                                               QString::number(client.socket.localPort()));

    // Stop closes the client and the listening socket.
    app.click("cmdStart", w);
    EXPECT_FALSE(app.program->remoteServer().listening());
    QElapsedTimer waited;
    waited.start();
    while (client.socket.state() != QAbstractSocket::UnconnectedState && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(client.socket.state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(app.text("cmdStart", w), "Start");

    // An address that cannot be served says so and starts nothing.
    app.type("txtListen", "0.0.0.0:0", w);
    app.click("cmdStart", w);
    EXPECT_FALSE(app.program->remoteServer().listening());
    EXPECT_TRUE(app.text("lblState", w).contains("--allow"))
        << app.text("lblState", w).toStdString();
}

}  // namespace
}  // namespace kestrel
