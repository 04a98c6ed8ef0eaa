// Starts the program on the simulated board, does a little work in each
// window and saves a picture of every window: for the README and for a look
// at the layout without clicking through by hand.
//   kestrel-screenshots OUTDIR            each window alone (offscreen works)
//   kestrel-screenshots --desktop OUTDIR  the whole screen with each window open,
//                                         as placed on a real display
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTcpSocket>
#include <QTest>
#include <iostream>

#include "app/app_icon.h"
#include "app/program.h"
#include "files/snapshot_board.h"
#include "main_window/main_window.h"
#include "snapshots/snapshot_window.h"
#include "status_timeline/timeline_view.h"
#include "status_timeline/timeline_window.h"

namespace {

void click(QWidget* root, const char* name) {
    if (auto* b = root->findChild<QAbstractButton*>(QLatin1String(name)))
        QTest::mouseClick(b, Qt::LeftButton);
}

bool desktop = false;

void save(QWidget* w, const QString& dir, const QString& name) {
    QTest::qWait(desktop ? 600 : 50);  // on a display, let the window manager place it
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    const QPixmap picture = desktop ? QGuiApplication::primaryScreen()->grabWindow(0) : w->grab();
    if (!picture.save(path)) std::cerr << "cannot write " << path.toStdString() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(kestrel::appIcon());
    desktop = argc == 3 && QLatin1String(argv[1]) == QLatin1String("--desktop");
    if (argc != 2 && !desktop) {
        std::cerr << "usage: kestrel-screenshots [--desktop] OUTDIR\n";
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[argc - 1]);
    QDir().mkpath(dir);

    kestrel::ProgramOptions options;
    options.statusPause = [](double, std::function<void()> then) { then(); };
    kestrel::Program program(std::move(options));
    for (int i = 0; i < 32; ++i)
        program.board()->kestrel().setEeprom(0x8100 + i, static_cast<std::uint8_t>(0x3C + 7 * i));
    program.start();
    auto& main = program.mainWindow();
    for (const char* b : {"ReadRAM", "ReadEECMD", "EEByteReadCMD"}) click(&main, b);
    save(&main, dir, QStringLiteral("main_window"));

    for (const QString& name : program.windows().names()) {
        QWidget* w = program.windows().show(name, false);
        if (w == nullptr) continue;
        for (const char* b :
             {"Read_EEPROM_Page", "Do_Block_Read", "ReadStatus1", "ReadStatus2", "ReadStatus3",
              "ReadLatchedStatus1", "ReadLatchedStatus2", "ReadLatchedStatus3"})
            click(w, b);
        if (auto* timeline = qobject_cast<kestrel::TimelineWindow*>(w)) {
            // Two seconds of the board's own status activity.
            for (int i = 0; i < 200; ++i) {
                timeline->pollOnce();
                QTest::qWait(10);
            }
            timeline->refresh();
            auto& view = timeline->view();
            view.setSpan(program.statusHistory().lastMs(),
                         program.statusHistory().lastMs() - program.statusHistory().firstMs());
            view.setCursorAt(view.width() * 2 / 3);
        }
        if (auto* snapshots = qobject_cast<kestrel::SnapshotWindow*>(w)) {
            // A tuned board saved, then two trims and one EEPROM byte changed.
            const auto tuned = kestrel::snapshot::takeSnapshot(program.device(), 1796558400);
            (void)program.device().WriteRegister(0x16, 0x2E);
            (void)program.device().WriteRegister(0x14, 0x81);
            program.board()->kestrel().setEeprom(0x8105, 0x34);
            if (tuned.snapshot) snapshots->compareWithBoard(*tuned.snapshot, "tuned.snap");
        }
        if (name == QLatin1String("frm_BusMonitor")) {
            click(&main, "ReadEECMD");
            QTest::qWait(50);
            if (auto* table = w->findChild<QTableView*>(QStringLiteral("transactions")))
                table->setCurrentIndex(table->model()->index(table->model()->rowCount() - 1, 0));
        }
        // The remote server on a free port with one client that asked something.
        QTcpSocket client;
        if (name == QLatin1String("frm_Remote")) {
            if (auto* listen = w->findChild<QLineEdit*>(QStringLiteral("txtListen")))
                listen->setText(QStringLiteral("127.0.0.1:0"));
            click(w, "cmdStart");
            const QString address = program.remoteServer().address();
            client.connectToHost(
                QStringLiteral("127.0.0.1"),
                static_cast<quint16>(address.section(QLatin1Char(':'), -1).toUInt()));
            client.waitForConnected(2000);
            client.write("*IDN?;:REG? 29;:STAT:CHIP?\n");
            QTest::qWait(500);
        }
        save(w, dir, name);
        w->hide();
    }
    return 0;
}
