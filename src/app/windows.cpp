#include "app/windows.h"

#include <QMenu>
#include <cstdlib>

#include "about/about_window.h"
#include "app/program.h"
#include "block_read/block_read_window.h"
#include "bus/port_check.h"
#include "bus_monitor/bus_monitor_window.h"
#include "diagram/diagram_window.h"
#include "editors/bit_toggle_editor.h"
#include "editors/editor_tables.h"
#include "eeprom_window/eeprom_window.h"
#include "main_window/main_window.h"
#include "main_window/message_log_window.h"
#include "production/records.h"
#include "production_window/production_window.h"
#include "remote_window/remote_window.h"
#include "scripts_window/scripts_window.h"
#include "snapshots/snapshot_window.h"
#include "status/status_window.h"
#include "status_timeline/timeline_window.h"
#include "switch_control/switch_window.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

namespace {

const QString kConfigMenu = QStringLiteral("&Config Regs");
const QString kHelpMenu = QStringLiteral("&Help");
const QString kDiagram = QStringLiteral("frm_Config");
const QString kStatus = QStringLiteral("frm_Status");
const QString kSwitch = QStringLiteral("frm_PLOVER_Control");
const QString kAbout = QStringLiteral("frmAbout");

std::function<void()> showDiagram(Program& program) {
    return [&program] { program.windows().show(kDiagram, false); };
}

void registerStatus(Program& program) {
    program.windows().add(kStatus, [&program] {
        auto* w = new StatusWindow(program.jobs(), program.options().statusPause);
        w->Form_Load();
        return w;
    });
    program.mainWindow().addMenuBarEntry(QStringLiteral("mnuStatus"),
                                         QStringLiteral("&Status Regs"), kStatus, true);
}

void registerSwitch(Program& program) {
    program.windows().add(
        kSwitch, [&program] { return new SwitchWindow(program.jobs(), showDiagram(program)); });
    program.mainWindow().addWindowEntry(kConfigMenu, QStringLiteral("PLOVERControl"),
                                        QStringLiteral("PLOVER Control"), kSwitch, false);
}

// The editors in menu order, the switch window after the editor that asks for it.
void registerEditors(Program& program) {
    for (const editors::EditorDef& definition : editors::allEditors()) {
        const QString name = ui::qstr(definition.windowName);
        program.windows().add(name, [&program, &definition] {
            auto* editor = new BitToggleEditor(definition, program.jobs(), showDiagram(program));
            editor->Form_Load();
            return editor;
        });
        // An "&" in a caption is a character, not a mnemonic marker.
        program.mainWindow().addWindowEntry(
            kConfigMenu, ui::qstr(definition.menuName),
            ui::qstr(definition.menuCaption).replace(QLatin1Char('&'), QStringLiteral("&&")), name,
            false);
        if (definition.switchWindowFollows) registerSwitch(program);
    }
}

// Port test and bus clear drive the lines; an I2C adapter does not give them.
const QString kNoLines =
    QStringLiteral("%1 is not available on an I2C adapter: it needs the parallel port's lines.");

// Tools > Connection: the parallel port (or the simulated board) and every
// I2C adapter the kernel lists, the one in use checked. The list is read, and
// a choice made, on the bus owner's thread, between two jobs.
void registerConnectionMenu(Program& program, QMenu* tools) {
    QMenu* menu = tools->addMenu(QStringLiteral("Connection"));
    menu->setObjectName(QStringLiteral("mnuConnection"));
    struct Choices {
        std::vector<Connection::Choice> list;
        std::string current;
    };
    const auto fill = [&program, menu](Choices& choices) {
        menu->clear();
        for (const Connection::Choice& choice : choices.list) {
            QAction* a = menu->addAction(QString::fromStdString(choice.label));
            a->setCheckable(true);
            a->setChecked(choice.adapterPath == choices.current);
            const std::string path = choice.adapterPath;
            QObject::connect(a, &QAction::triggered, menu, [&program, path] {
                struct Switched {
                    std::string failure, description;
                };
                program.jobs().run(
                    &program.mainWindow(),
                    [path](JobControl& c) {
                        Connection& connection = c.connection();
                        Switched s;
                        s.failure = path.empty() ? connection.useParallelPort()
                                                 : connection.useAdapter(path);
                        s.description = connection.description();
                        return s;
                    },
                    [&program](Switched& s) {
                        program.mainWindow().setConnection(QString::fromStdString(s.description));
                        if (!s.failure.empty())
                            program.mainWindow().notify(QString::fromStdString(s.failure));
                    });
            });
        }
    };
    // The entries as last read; read afresh each time the menu opens.
    const auto refresh = [&program, menu, fill] {
        program.jobs().run(
            menu,
            [](JobControl& c) {
                Choices choices;
                choices.list = c.connection().choices();
                if (c.connection().adapter() != nullptr)
                    choices.current = c.connection().adapter()->path();
                return choices;
            },
            fill);
    };
    QObject::connect(menu, &QMenu::aboutToShow, menu, refresh);
    refresh();
}

// Why a line check would not run: the port's own failure, or the bus's reason.
std::string refusalOf(JobControl& c, Bus& bus) {
    const std::string why = c.device().refusal();
    if (why.empty() || bus.portFailure().empty()) return why;
    return bus.portFailure() + "; nothing was sent.";
}

// Port test and bus clear, on the bus owner's thread like every other job.
void portTest(Program& program) {
    struct Result {
        bool lines = true;
        port_check::PortTest test{port_check::SdaResult::Refused, {}};
        std::string refusal;
    };
    program.jobs().run(
        &program.mainWindow(),
        [](JobControl& c) {
            Result r;
            Bus* bus = c.connection().lineBus();
            r.lines = bus != nullptr;
            if (bus == nullptr) return r;
            r.refusal = refusalOf(c, *bus);
            if (r.refusal.empty()) r.test = port_check::portTest(*bus);
            return r;
        },
        [&program](Result& r) {
            MainWindow& main = program.mainWindow();
            if (!r.lines) return main.notify(kNoLines.arg(QStringLiteral("Port test")));
            if (!r.refusal.empty() || r.test.result == port_check::SdaResult::Refused)
                return main.notify(QStringLiteral("Port test not run: ") +
                                   QString::fromStdString(r.refusal));
            const QString text = QString::fromStdString(r.test.text);
            main.notify(text);
            if (r.test.result == port_check::SdaResult::PortFailed) return;
            program.dialogs().inform(&main, kProgramTitle, QStringLiteral("Port test: ") + text);
        });
}

void busClear(Program& program) {
    struct Result {
        bool lines = true;
        port_check::ClearResult clear = port_check::ClearResult::Refused;
        std::string refusal, failure;
    };
    program.jobs().run(
        &program.mainWindow(),
        [](JobControl& c) {
            Result r;
            Bus* bus = c.connection().lineBus();
            r.lines = bus != nullptr;
            if (bus == nullptr) return r;
            r.refusal = refusalOf(c, *bus);
            if (!r.refusal.empty()) return r;
            r.clear = port_check::busClear(*bus);
            r.failure = bus->portFailure();
            return r;
        },
        [&program](Result& r) {
            MainWindow& main = program.mainWindow();
            if (!r.lines) return main.notify(kNoLines.arg(QStringLiteral("Bus clear")));
            switch (r.clear) {
                case port_check::ClearResult::Refused:
                    return main.notify(QStringLiteral("Bus clear not run: ") +
                                       QString::fromStdString(r.refusal));
                case port_check::ClearResult::PortFailed:
                    return main.notify(QStringLiteral("Bus clear failed: ") +
                                       QString::fromStdString(r.failure));
                case port_check::ClearResult::StillLow:
                    return main.notify(QStringLiteral("Bus clear: SDA is still held low."));
                case port_check::ClearResult::Free:
                    return main.notify(QStringLiteral("Bus clear: SDA is free."));
            }
        });
}

// The diagnostics of the "&Tools" menu: the bus monitor, the port test, the
// bus clear and the message log.
void registerTools(Program& program) {
    const QString messages = QStringLiteral("frm_Messages");
    program.windows().add(
        messages, [&program] { return new MessageLogWindow(program.mainWindow().messageLog()); });
    const QString monitor = QStringLiteral("frm_BusMonitor");
    program.windows().add(
        monitor, [&program] { return new BusMonitorWindow(program.jobs(), program.dialogs()); });
    MainWindow& main = program.mainWindow();
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuBusMonitor"),
                        QStringLiteral("Bus Monitor"), monitor, false);
    QMenu* tools = main.menu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    QAction* test = tools->addAction(QStringLiteral("Port Test"));
    test->setObjectName(QStringLiteral("mnuPortTest"));
    QObject::connect(test, &QAction::triggered, &main, [&program] { portTest(program); });
    QAction* clear = tools->addAction(QStringLiteral("Bus Clear"));
    clear->setObjectName(QStringLiteral("mnuBusClear"));
    QObject::connect(clear, &QAction::triggered, &main, [&program] { busClear(program); });
    registerConnectionMenu(program, tools);
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuMessages"),
                        QStringLiteral("Messages"), messages, false);
    const QString timeline = QStringLiteral("frm_Timeline");
    program.windows().add(timeline, [&program] {
        return new TimelineWindow(program.statusHistory(), program.jobs(), program.dialogs());
    });
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuTimeline"),
                        QStringLiteral("Status Timeline"), timeline, false);
    tools->addSeparator();
    QAction* backup = tools->addAction(QStringLiteral("Back Up EEPROM..."));
    backup->setObjectName(QStringLiteral("mnuBackupEEPROM"));
    QObject::connect(backup, &QAction::triggered, &main, [&main] { main.BackupEEPROM_Click(); });
    QAction* restore = tools->addAction(QStringLiteral("Restore EEPROM..."));
    restore->setObjectName(QStringLiteral("mnuRestoreEEPROM"));
    QObject::connect(restore, &QAction::triggered, &main, [&main] { main.RestoreEEPROM_Click(); });
    const QString snapshots = QStringLiteral("frm_Snapshots");
    program.windows().add(snapshots, [&program] {
        return new SnapshotWindow(
            program.jobs(), program.dialogs(),
            [&program](const QString& text) { program.mainWindow().notify(text); },
            [&program] { return program.backupFolder(); });
    });
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuSnapshots"),
                        QStringLiteral("Snapshots..."), snapshots, false);
    const QString scripts = QStringLiteral("frm_Scripts");
    program.windows().add(scripts, [&program] {
        return new ScriptsWindow(program.jobs(), program.dialogs(),
                                 [&program] { return program.backupFolder(); });
    });
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuScripts"),
                        QStringLiteral("Scripts..."), scripts, false);
    const QString production = QStringLiteral("frm_Production");
    program.windows().add(production, [&program] {
        return new ProductionWindow(
            program.jobs(), program.dialogs(), [&program] { return program.backupFolder(); },
            production::defaultDatabase(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
    });
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuProduction"),
                        QStringLiteral("Production..."), production, false);
    const QString remote = QStringLiteral("frm_Remote");
    program.windows().add(remote, [&program] {
        return new RemoteWindow(program.remoteServer(), [&program] { return program.backupFolder(); });
    });
    main.addWindowEntry(QStringLiteral("&Tools"), QStringLiteral("mnuRemote"),
                        QStringLiteral("Remote Control..."), remote, false);
}

void registerAbout(Program& program) {
    program.windows().add(kAbout, [&program] {
        auto* w = new AboutWindow(program.globals(), program.dialogs(), program.systemInfo());
        w->Form_Load();
        return w;
    });
    program.mainWindow().menu(kHelpMenu)->setObjectName(QStringLiteral("mnuHelp"));
    program.mainWindow()
        .addWindowEntry(kHelpMenu, QStringLiteral("mnuAbout"), QStringLiteral("About"), kAbout,
                        true)
        ->setShortcut(QKeySequence::HelpContents);
}

// The EEPROM and block read windows, opened by the main window's buttons.
void registerEepromWindows(Program& program) {
    program.windows().add(QStringLiteral("frm_EEPROM"), [&program] {
        auto* w = new EepromWindow(program.jobs(), [&program](const QString& text) {
            program.mainWindow().messageLog().add(text);
        });
        w->Form_Load();
        return w;
    });
    program.windows().add(QStringLiteral("frm_Block_Read"), [&program] {
        return new BlockReadWindow(
            program.jobs(), [&program](const QString& text) { program.mainWindow().notify(text); });
    });
}

}  // namespace

void registerDiagram(Program& program) {
    program.windows().add(kDiagram, [&program] {
        auto* w = new DiagramWindow(
            program.globals(), program.dialogs(),
            [&program](const QString& name, bool modal) { program.windows().show(name, modal); });
        w->Form_Load();
        return w;
    });
    MainWindow& main = program.mainWindow();
    main.addWindowEntry(kConfigMenu, QStringLiteral("mnuConfigs"), QStringLiteral("Block Diagram"),
                        kDiagram, true);
    main.menu(kConfigMenu)->addSeparator()->setObjectName(QStringLiteral("sep2"));
}

void registerWindows(Program& program) {
    registerEepromWindows(program);
    registerStatus(program);
    program.mainWindow().menu(kConfigMenu)->setObjectName(QStringLiteral("mnuCFG"));
    registerDiagram(program);
    registerEditors(program);
    registerTools(program);
    registerAbout(program);
}

}  // namespace kestrel
