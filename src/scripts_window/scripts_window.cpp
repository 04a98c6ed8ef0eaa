#include "scripts_window/scripts_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "bus/durable_file.h"
#include "files/snapshot_board.h"
#include "script/dry_run_board.h"
#include "script/reports.h"
#include "script/run_script.h"
#include "scripts_window/code_editor.h"

namespace kestrel {

namespace {

// Past this many rows only the steps that did not pass are listed.
constexpr int kMostRows = 5000;

enum StepColumn {
    kLineColumn,
    kStepColumn,
    kResultColumn,
    kTimeColumn,
    kOutputColumn,
    kMessageColumn,
    kStepColumns
};

// A step's output in its cell: its first line, and a mark when there is more.
QString firstLine(const QString& output) {
    const QString text = output.trimmed();
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    return end < 0 ? text : text.left(end) + QStringLiteral(" ...");
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

// A dry run's transactions, handed to the window as they end.
class ScriptsWindow::TransactionList final : public TransactionObserver {
  public:
    explicit TransactionList(std::function<void(const std::string&)> line)
        : line_(std::move(line)) {}
    void transactionEnded(const TransactionRecord& record) override {
        line_(script::monitorLine(record));
    }

  private:
    std::function<void(const std::string&)> line_;
};

ScriptsWindow::ScriptsWindow(BusJobs& jobs, Dialogs& dialogs,
                             std::function<std::string()> backupFolder)
    : jobs_(jobs), dialogs_(dialogs), backupFolder_(std::move(backupFolder)) {
    setWindowTitle(QStringLiteral("Scripts"));
    setObjectName(QStringLiteral("frm_Scripts"));
    fileDialog_.filter = QStringLiteral("Check scripts (*.kes);;All files (*)");
    junitDialog_.filter = QStringLiteral("JUnit reports (*.xml);;All files (*)");
    junitDialog_.fileName = QStringLiteral("report.xml");
    csvDialog_.filter = QStringLiteral("CSV files (*.csv);;All files (*)");
    csvDialog_.fileName = QStringLiteral("log.csv");

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& text, void (ScriptsWindow::*slot)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button("open", QStringLiteral("Open..."), &ScriptsWindow::open);
    button("save", QStringLiteral("Save..."), &ScriptsWindow::save);
    saveJunitButton_ =
        button("saveJunit", QStringLiteral("Save JUnit..."), &ScriptsWindow::saveJunit);
    saveCsvButton_ = button("saveCsv", QStringLiteral("Save CSV..."), &ScriptsWindow::saveCsv);
    saveJunitButton_->setEnabled(false);
    saveCsvButton_->setEnabled(false);
    buttons->addStretch();
    dryButton_ = button("dryRun", QStringLiteral("Dry Run"), &ScriptsWindow::dryRun);
    runButton_ = button("run", QStringLiteral("Run"), &ScriptsWindow::run);
    stopButton_ = button("stop", QStringLiteral("Stop"), &ScriptsWindow::stop);
    stopButton_->setEnabled(false);

    editor_ = new CodeEditor(this);
    editor_->setObjectName(QStringLiteral("script"));
    editor_->setPlaceholderText(
        QStringLiteral("# one batch command per line, e.g.\nwrite 0E 04\nexpect 0E 04"));
    steps_ = new QTableWidget(0, kStepColumns, this);
    steps_->setObjectName(QStringLiteral("steps"));
    steps_->setHorizontalHeaderLabels({QStringLiteral("Line"), QStringLiteral("Step"),
                                       QStringLiteral("Result"), QStringLiteral("Time (ms)"),
                                       QStringLiteral("Output"), QStringLiteral("Message")});
    steps_->horizontalHeader()->setStretchLastSection(true);
    steps_->setColumnWidth(kOutputColumn, 180);
    steps_->verticalHeader()->hide();
    steps_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    output_ = new QPlainTextEdit(this);
    output_->setObjectName(QStringLiteral("output"));
    output_->setReadOnly(true);
    output_->setPlaceholderText(QStringLiteral("What the steps print (read, log, status...)."));
    transactions_ = new QPlainTextEdit(this);
    transactions_->setObjectName(QStringLiteral("transactions"));
    transactions_->setReadOnly(true);
    transactions_->setPlaceholderText(QStringLiteral("A dry run lists its transactions here."));
    auto* panes = new QTabWidget(this);
    panes->setObjectName(QStringLiteral("panes"));
    panes->addTab(output_, QStringLiteral("Output"));
    panes->addTab(transactions_, QStringLiteral("Transactions"));
    progress_ = new QProgressBar(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(editor_);
    split->addWidget(steps_);
    split->addWidget(panes);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    resize(720, 640);
}

ScriptsWindow::~ScriptsWindow() {
    // A run still going on stops at its next transaction; its result finds
    // no window to go to.
    if (job_ != 0) jobs_.stop(job_);
}

QString ScriptsWindow::status() const {
    return status_->text();
}

void ScriptsWindow::say(const QString& text) {
    status_->setText(text);
}

void ScriptsWindow::setScriptPath(const QString& path) {
    path_ = path;
    savedText_ = editor_->toPlainText();
}

QString ScriptsWindow::scriptName() const {
    return path_.isEmpty() || editor_->toPlainText() != savedText_ ? QStringLiteral("untitled")
                                                                   : path_;
}

void ScriptsWindow::open() {
    const QString path = dialogs_.openFileName(this, fileDialog_);
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20)) {
        dialogs_.warn(this, windowTitle(), QStringLiteral("Cannot open %1.").arg(path));
        return;
    }
    editor_->setPlainText(QString::fromUtf8(file.readAll()));
    setScriptPath(path);
    say(QStringLiteral("Opened %1.").arg(path));
}

void ScriptsWindow::save() {
    const QString path = dialogs_.saveFileName(this, fileDialog_);
    if (path.isEmpty()) return;
    std::string error;
    if (!durable::replaceFile(path.toStdString(), editor_->toPlainText().toStdString(), error)) {
        dialogs_.warn(
            this, windowTitle(),
            QStringLiteral("%1 was not saved: %2").arg(path, QString::fromStdString(error)));
        return;
    }
    setScriptPath(path);
    say(QStringLiteral("Saved %1.").arg(path));
}

void ScriptsWindow::saveReport(FileDialogState& dialog, const std::string& text,
                               const QString& what) {
    const QString path = dialogs_.saveFileName(this, dialog);
    if (path.isEmpty()) return;
    std::string error;
    if (!durable::replaceFile(path.toStdString(), text, error)) {
        dialogs_.warn(this, windowTitle(),
                      QStringLiteral("The %1 was not saved to %2: %3")
                          .arg(what, path, QString::fromStdString(error)));
        return;
    }
    say(QStringLiteral("The %1 was saved to %2.").arg(what, path));
}

void ScriptsWindow::saveJunit() {
    saveReport(junitDialog_, junit_, QStringLiteral("JUnit report"));
}

void ScriptsWindow::saveCsv() {
    saveReport(csvDialog_, csv_, QStringLiteral("CSV of the log lines"));
}

void ScriptsWindow::setRunning(bool on) {
    runButton_->setEnabled(!on);
    dryButton_->setEnabled(!on);
    stopButton_->setEnabled(on);
    editor_->setReadOnly(on);
    if (on) {
        saveJunitButton_->setEnabled(false);
        saveCsvButton_->setEnabled(false);
    }
}

void ScriptsWindow::start(bool dry) {
    if (running()) return;
    steps_->setRowCount(0);
    transactions_->clear();
    output_->clear();
    progress_->setValue(0);
    dry_ = dry;
    // Text that is not its file as opened or saved is no file: its file
    // names are found in the working folder.
    const std::string name = scriptName().toStdString();
    std::vector<script::ParseError> errors;
    auto parsed = script::parseScript(editor_->toPlainText().toStdString(), name, errors);
    if (!parsed) {
        QStringList lines;
        for (const script::ParseError& e : errors) lines << q(e.text);
        say(lines.join(QLatin1Char('\n')) + QStringLiteral("\nNothing was sent."));
        return;
    }
    script_ = std::make_shared<const script::Script>(std::move(*parsed));
    batch::Options options;
    options.slave = static_cast<unsigned>(jobs_.globals().SlaveAddr) & 0xFE;
    script::RunSettings settings;
    settings.slave = options.slave;
    settings.backup = !dry;
    settings.backupFolder = backupFolder_;
    // A script without steps (comments only) is done at once, not busy.
    progress_->setRange(0, static_cast<int>(std::clamp<std::uint64_t>(script_->steps, 1, 1000000)));
    // The step column as wide as the script's longest line (two more
    // characters for a loop variable's value), each cell's tooltip whole.
    int widest = 0;
    for (const script::Instruction& in : script_->program)
        widest = std::max(widest, steps_->fontMetrics().horizontalAdvance(q(in.text()) + "00"));
    steps_->setColumnWidth(kStepColumn, std::clamp(widest + 16, 80, 420));
    say(dry ? QStringLiteral("Dry run on a copy of the board...") : QStringLiteral("Running..."));
    setRunning(true);
    job_ = jobs_.run(
        this,
        // On the bus owner's thread, where this window may be gone: the run
        // reaches the window only through posts the window receives.
        [window = this, &jobs = jobs_, script = script_, options, settings, dry](JobControl& c) {
            return runOnBoard(window, jobs, c, *script, options, settings, dry);
        },
        [this](RunResult& o) { finish(o); },
        [this](std::uint64_t done, std::uint64_t) { progress_->setValue(static_cast<int>(done)); });
    if (job_ == 0) {
        setRunning(false);
        say(QStringLiteral("The program is ending; the script was not run."));
    }
}

// On the bus owner's thread: the whole run, as one job. Each step's result
// and each dry-run transaction go to the window as they come; the summary
// comes back as the job's result.
ScriptsWindow::RunResult ScriptsWindow::runOnBoard(ScriptsWindow* window, BusJobs& jobs,
                                                   JobControl& c, const script::Script& script,
                                                   batch::Options options,
                                                   script::RunSettings settings, bool dry) {
    RunResult o;
    const BusJobs::JobId id = c.id();
    std::ostringstream sessionErrors;
    std::unique_ptr<sim::SimulatedBoard> copy;
    std::unique_ptr<batch::Session> session;
    // The dry run's transactions, a few times a second like the steps.
    QStringList lines;
    auto lastLines = std::chrono::steady_clock::now();
    const auto flushLines = [&] {
        if (lines.isEmpty()) return;
        jobs.post(id, [window, text = lines.join(QLatin1Char('\n'))] {
            window->transactions_->appendPlainText(text);
        });
        lines.clear();
        lastLines = std::chrono::steady_clock::now();
    };
    TransactionList list([&](const std::string& line) {
        lines << q(line);
        if (std::chrono::steady_clock::now() - lastLines > std::chrono::milliseconds(50))
            flushLines();
    });
    if (dry) {
        // A copy of the board: its registers and EEPROM, read with reads only.
        snapshot::Taken taken = snapshot::takeSnapshot(c.device(), std::time(nullptr));
        if (!taken.snapshot) {
            o.text = "The board could not be read for the dry run: " + taken.error;
            return o;
        }
        copy = std::make_unique<sim::SimulatedBoard>();
        script::loadSnapshotIntoBoard(*taken.snapshot, *copy);
        options.connection = ConnectionOptions{};
        batch::Environment env;
        env.port = copy.get();
        session = std::make_unique<batch::Session>(options, env, sessionErrors);
        session->connection().executor().addObserver(&list);
    } else {
        session = std::make_unique<batch::Session>(c.connection(), options, sessionErrors);
    }
    script::Hooks hooks;
    hooks.stopRequested = [&c] { return c.stopRequested(); };
    hooks.sleep = [&c](unsigned ms) { return c.sleep(ms); };
    // Results go to the window in batches, a few times a second: a fast run
    // must not flood the window faster than it can draw.
    std::vector<script::StepResult> pending;
    auto last = std::chrono::steady_clock::now();
    const auto flush = [&] {
        if (pending.empty()) return;
        jobs.post(id, [window, results = std::move(pending)] {
            for (const script::StepResult& r : results) window->addStep(r);
        });
        pending.clear();
        last = std::chrono::steady_clock::now();
    };
    std::uint64_t done = 0;
    hooks.stepDone = [&](const script::StepResult& r) {
        pending.push_back(r);
        if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(50)) flush();
        c.progress(++done, script.steps);
    };
    const auto startedAt = std::chrono::steady_clock::now();
    const std::int64_t startedUnix = std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count();
    script::Runner runner(script, *session, settings, hooks);
    runner.runAll();
    flush();
    flushLines();
    if (dry) session->connection().executor().removeObserver(&list);
    o.junit = script::junitXml(
        runner,
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startedAt)
            .count(),
        startedUnix);
    o.csv = script::logCsv(runner);
    o.text = script::summary(runner);
    o.steps = runner.stepsDone();
    for (const std::string& note : runner.notes()) o.notes.push_back(note);
    o.ran = true;
    return o;
}

void ScriptsWindow::closeEvent(QCloseEvent* event) {
    if (!running()) return QWidget::closeEvent(event);
    jobs_.stop(job_);
    closeWhenDone_ = true;
    event->ignore();
}

void ScriptsWindow::stop() {
    if (job_ != 0) jobs_.stop(job_);
}

void ScriptsWindow::addStep(const script::StepResult& r) {
    // Every step's output in the pane, whatever the table keeps.
    if (!r.output.empty()) {
        QString printed = q(r.output);
        if (printed.endsWith(QLatin1Char('\n'))) printed.chop(1);
        output_->appendPlainText(printed);
    }
    const int row = steps_->rowCount();
    if (row >= kMostRows && r.verdict == script::Verdict::Pass) return;
    steps_->insertRow(row);
    const QString text =
        q(r.text.empty() && script_ ? script_->program[r.instruction].text() : r.text);
    const QString printed = q(r.output);
    const QStringList cells = {QString::number(r.line),
                               text,
                               QLatin1String(verdictName(r.verdict)),
                               QString::number(r.ms, 'f', 1),
                               firstLine(printed),
                               q(r.message)};
    const QStringList tips = {QString(),         text,        QString(), QString(),
                              printed.trimmed(), q(r.message)};
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (!tips[c].isEmpty()) item->setToolTip(tips[c]);
        if (r.verdict != script::Verdict::Pass) item->setBackground(QColor(255, 205, 205));
        steps_->setItem(row, c, item);
    }
    steps_->scrollToBottom();
}

void ScriptsWindow::finish(const RunResult& o) {
    QString text = q(o.text).trimmed();
    for (const std::string& note : o.notes) text += QLatin1Char('\n') + q(note);
    if (dry_ && o.ran) text += QStringLiteral("\nDry run: nothing was written to the board.");
    job_ = 0;
    const bool nothingToDo = o.ran && script_ && script_->steps == 0;
    progress_->setValue(nothingToDo
                            ? progress_->maximum()
                            : static_cast<int>(std::min<std::uint64_t>(
                                  o.steps, static_cast<std::uint64_t>(progress_->maximum()))));
    setRunning(false);
    junit_ = o.junit;
    csv_ = o.csv;
    saveJunitButton_->setEnabled(o.ran);
    saveCsvButton_->setEnabled(o.ran);
    if (o.ran && scriptName() == QStringLiteral("untitled") && !path_.isEmpty())
        text += QStringLiteral(
                    "\nThe text differs from %1 as saved: it ran as 'untitled', its "
                    "file names from the working folder.")
                    .arg(path_);
    say(text);
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

}  // namespace kestrel
