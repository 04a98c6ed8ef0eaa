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
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
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

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

// A dry run's transactions, listed as they end.
class ScriptsWindow::TransactionList final : public TransactionObserver {
  public:
    explicit TransactionList(QPlainTextEdit& view) : view_(view) {}
    void transactionEnded(const TransactionRecord& record) override {
        view_.appendPlainText(q(script::monitorLine(record)));
    }

  private:
    QPlainTextEdit& view_;
};

ScriptsWindow::ScriptsWindow(Connection& connection, Dialogs& dialogs,
                             std::function<std::string()> backupFolder)
    : connection_(connection), dialogs_(dialogs), backupFolder_(std::move(backupFolder)) {
    setWindowTitle(QStringLiteral("Scripts"));
    setObjectName(QStringLiteral("frm_Scripts"));
    fileDialog_.filter = QStringLiteral("Check scripts (*.kes);;All files (*)");

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
    buttons->addStretch();
    dryButton_ = button("dryRun", QStringLiteral("Dry Run"), &ScriptsWindow::dryRun);
    runButton_ = button("run", QStringLiteral("Run"), &ScriptsWindow::run);
    stopButton_ = button("stop", QStringLiteral("Stop"), &ScriptsWindow::stop);
    stopButton_->setEnabled(false);

    editor_ = new CodeEditor(this);
    editor_->setObjectName(QStringLiteral("script"));
    editor_->setPlaceholderText(
        QStringLiteral("# one batch command per line, e.g.\nwrite 0E 04\nexpect 0E 04"));
    steps_ = new QTableWidget(0, 5, this);
    steps_->setObjectName(QStringLiteral("steps"));
    steps_->setHorizontalHeaderLabels({QStringLiteral("Line"), QStringLiteral("Step"),
                                       QStringLiteral("Result"), QStringLiteral("Time (ms)"),
                                       QStringLiteral("Message")});
    steps_->horizontalHeader()->setStretchLastSection(true);
    steps_->verticalHeader()->hide();
    steps_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    transactions_ = new QPlainTextEdit(this);
    transactions_->setObjectName(QStringLiteral("transactions"));
    transactions_->setReadOnly(true);
    transactions_->setPlaceholderText(QStringLiteral("A dry run lists its transactions here."));
    progress_ = new QProgressBar(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(editor_);
    split->addWidget(steps_);
    split->addWidget(transactions_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    resize(720, 640);
}

ScriptsWindow::~ScriptsWindow() {
    stopRequested_ = true;
    runner_.reset();
    if (session_ && transactionList_)
        session_->connection().executor().removeObserver(transactionList_.get());
}

QString ScriptsWindow::status() const {
    return status_->text();
}

void ScriptsWindow::say(const QString& text) {
    status_->setText(text);
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
    path_ = path;
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
    path_ = path;
    say(QStringLiteral("Saved %1.").arg(path));
}

void ScriptsWindow::setRunning(bool on) {
    runButton_->setEnabled(!on);
    dryButton_->setEnabled(!on);
    stopButton_->setEnabled(on);
    editor_->setReadOnly(on);
}

bool ScriptsWindow::sleep(unsigned ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (stopRequested_) return false;
        const qint64 left = ms - timer.elapsed();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(qMin<qint64>(left, 5)));
    }
    return !stopRequested_;
}

void ScriptsWindow::start(bool dry) {
    if (running()) return;
    steps_->setRowCount(0);
    transactions_->clear();
    progress_->setValue(0);
    stopRequested_ = false;
    dry_ = dry;
    const std::string name = path_.isEmpty() ? "untitled.kes" : path_.toStdString();
    std::vector<script::ParseError> errors;
    script_ = script::parseScript(editor_->toPlainText().toStdString(), name, errors);
    if (!script_) {
        QStringList lines;
        for (const script::ParseError& e : errors) lines << q(e.text);
        say(lines.join(QLatin1Char('\n')) + QStringLiteral("\nNothing was sent."));
        return;
    }
    batch::Options options;
    options.slave = static_cast<unsigned>(connection_.globals().SlaveAddr) & 0xFE;
    session_.reset();
    copy_.reset();
    if (dry) {
        // A copy of the board: its registers and EEPROM, read with reads only.
        snapshot::Taken taken = snapshot::takeSnapshot(connection_.device(), std::time(nullptr));
        if (!taken.snapshot) {
            say(QStringLiteral("The board could not be read for the dry run: %1")
                    .arg(q(taken.error)));
            return;
        }
        copy_ = std::make_unique<sim::SimulatedBoard>();
        script::loadSnapshotIntoBoard(*taken.snapshot, *copy_);
        options.connection = ConnectionOptions{};
        batch::Environment env;
        env.port = copy_.get();
        session_ = std::make_unique<batch::Session>(options, env, sessionErrors_);
        transactionList_ = std::make_unique<TransactionList>(*transactions_);
        session_->connection().executor().addObserver(transactionList_.get());
    } else {
        session_ = std::make_unique<batch::Session>(connection_, options, sessionErrors_);
    }
    script::RunSettings settings;
    settings.slave = options.slave;
    settings.backup = !dry;
    settings.backupFolder = backupFolder_;
    script::Hooks hooks;
    hooks.stopRequested = [this] { return stopRequested_; };
    hooks.sleep = [this](unsigned ms) { return sleep(ms); };
    hooks.stepDone = [this](const script::StepResult& r) { addStep(r); };
    runner_ = std::make_unique<script::Runner>(*script_, *session_, settings, hooks);
    progress_->setRange(0, static_cast<int>(std::min<std::uint64_t>(script_->steps, 1000000)));
    say(dry ? QStringLiteral("Dry run on a copy of the board...") : QStringLiteral("Running..."));
    setRunning(true);
    QTimer::singleShot(0, this, [this] { nextStep(); });
}

void ScriptsWindow::nextStep() {
    if (!runner_) return;
    // Steps for up to 20 ms, then back to the event loop for Stop and painting.
    QElapsedTimer slice;
    slice.start();
    while (!runner_->finished() && slice.elapsed() < 20) runner_->step();
    progress_->setValue(static_cast<int>(runner_->stepsDone()));
    if (runner_->finished())
        finish();
    else
        QTimer::singleShot(0, this, [this] { nextStep(); });
}

void ScriptsWindow::closeEvent(QCloseEvent* event) {
    if (!running()) return QWidget::closeEvent(event);
    stopRequested_ = true;
    closeWhenDone_ = true;
    event->ignore();
}

void ScriptsWindow::stop() {
    stopRequested_ = true;
}

void ScriptsWindow::addStep(const script::StepResult& r) {
    const int row = steps_->rowCount();
    if (row >= kMostRows && r.verdict == script::Verdict::Pass) return;
    steps_->insertRow(row);
    const QString text = q(r.text.empty() ? script_->program[r.instruction].text() : r.text);
    const QStringList cells = {QString::number(r.line), text, QLatin1String(verdictName(r.verdict)),
                               QString::number(r.ms, 'f', 1), q(r.message)};
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (r.verdict != script::Verdict::Pass) item->setBackground(QColor(255, 205, 205));
        steps_->setItem(row, c, item);
    }
    steps_->scrollToBottom();
}

void ScriptsWindow::finish() {
    QString text = q(script::summary(*runner_)).trimmed();
    for (const std::string& note : runner_->notes()) text += QLatin1Char('\n') + q(note);
    if (dry_) text += QStringLiteral("\nDry run: nothing was written to the board.");
    if (session_ && transactionList_)
        session_->connection().executor().removeObserver(transactionList_.get());
    runner_.reset();
    transactionList_.reset();
    session_.reset();
    copy_.reset();
    setRunning(false);
    say(text);
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

}  // namespace kestrel
