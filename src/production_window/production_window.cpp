#include "production_window/production_window.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include <QCheckBox>
#include <QFontMetrics>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "bus/durable_file.h"
#include "files/backup_folder.h"
#include "production/report.h"
#include "production/serial.h"
#include "production/station.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

namespace {

std::string loginName() {
    const passwd* pw = getpwuid(getuid());
    return pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "unknown";
}

const QStringList kColumns = {"Serial", "Started", "ms",        "Station", "Operator",
                              "Golden", "Result",  "Registers", "Pages",   "First failure"};

// "1 board", "3 boards".
QString count(int n, const char* one, const char* many) {
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

}  // namespace

ProductionWindow::ProductionWindow(BusJobs& jobs, Dialogs& dialogs,
                                   std::function<std::string()> backupFolder,
                                   const std::string& database)
    : jobs_(jobs), dialogs_(dialogs), backupFolder_(std::move(backupFolder)) {
    setObjectName(QStringLiteral("frm_Production"));
    setWindowTitle(QStringLiteral("Production"));
    goldenDialog_.filter = QStringLiteral("Board snapshots (*.snap);;All files (*)");
    csvDialog_.filter = QStringLiteral("CSV files (*.csv);;All files (*)");
    csvDialog_.fileName = QStringLiteral("production.csv");

    auto* layout = new QVBoxLayout(this);
    auto* goldenRow = new QHBoxLayout;
    QPushButton* choose = ui::button("chooseGolden", QStringLiteral("Golden..."), this);
    connect(choose, &QPushButton::clicked, this, &ProductionWindow::chooseGolden);
    goldenRow->addWidget(choose);
    golden_label_ = ui::label("golden", QStringLiteral("No golden snapshot chosen."), this);
    golden_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    goldenRow->addWidget(golden_label_, 1);
    layout->addLayout(goldenRow);

    auto* form = new QFormLayout;
    serial_ = ui::edit("serial", QString(), this, 320);
    serial_->setMaxLength(static_cast<int>(production::kMaxSerialLength));
    // A barcode scanner types the serial and presses Enter; the button does
    // the same for a serial typed by hand.
    connect(serial_, &QLineEdit::returnPressed, this, &ProductionWindow::startBoard);
    QPushButton* program = ui::button("program", QStringLiteral("Program"), this);
    program->setToolTip(QStringLiteral("Programs the board whose serial is in the field"));
    connect(program, &QPushButton::clicked, this, &ProductionWindow::startBoard);
    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(serial_);
    serialRow->addWidget(program);
    serialRow->addWidget(new QLabel(
        QStringLiteral("Scan or type the serial: Enter or Program starts the board."), this));
    serialRow->addStretch();
    form->addRow(QStringLiteral("Serial:"), serialRow);
    auto* increment = new QHBoxLayout;
    autoIncrement_ = new QCheckBox(QStringLiteral("Count on after each board, by"), this);
    autoIncrement_->setObjectName(QStringLiteral("autoIncrement"));
    step_ = new QSpinBox(this);
    step_->setObjectName(QStringLiteral("step"));
    step_->setRange(1, 1000000);
    increment->addWidget(autoIncrement_);
    increment->addWidget(step_);
    increment->addWidget(
        new QLabel(QStringLiteral("(the serial's last digits, width kept)"), this));
    increment->addStretch();
    form->addRow(QString(), increment);
    auto* place = new QHBoxLayout;
    writeSerial_ = new QCheckBox(QStringLiteral("Write the serial to the EEPROM at"), this);
    writeSerial_->setObjectName(QStringLiteral("writeSerial"));
    serialAt_ = ui::edit("serialAt", QStringLiteral("81E0"), this);
    place->addWidget(writeSerial_);
    place->addWidget(serialAt_);
    place->addStretch();
    form->addRow(QString(), place);
    station_ = ui::edit("station", QStringLiteral("station"), this, 200);
    form->addRow(QStringLiteral("Station:"), station_);
    database_ = ui::edit("database", QString::fromStdString(database), this, 420);
    database_->setToolTip(QStringLiteral("A file (SQLite) or postgresql://host/database"));
    form->addRow(QStringLiteral("Database:"), database_);
    eraseLimit_ = new QSpinBox(this);
    eraseLimit_->setObjectName(QStringLiteral("eraseLimit"));
    eraseLimit_->setRange(1, 1000000000);
    eraseLimit_->setValue(static_cast<int>(production::kDefaultEraseLimit));
    form->addRow(QStringLiteral("Erases per page at most:"), eraseLimit_);
    allowRevision_ = new QCheckBox(QStringLiteral("Allow another chip revision"), this);
    allowRevision_->setObjectName(QStringLiteral("allowRevision"));
    form->addRow(QString(), allowRevision_);
    layout->addLayout(form);

    // The verdict: a large PASS or FAIL with the serial, and below it room
    // for a reason of two lines.
    verdict_ = new QWidget(this);
    verdict_->setObjectName(QStringLiteral("verdict"));
    verdict_->setAutoFillBackground(true);
    auto* verdictLayout = new QVBoxLayout(verdict_);
    result_ = ui::label("result", QStringLiteral("No board yet"), verdict_);
    QFont big = result_->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    result_->setFont(big);
    result_->setAlignment(Qt::AlignCenter);
    result_->setWordWrap(true);
    verdictLayout->addWidget(result_);
    reason_ = ui::label("reason", QString(), verdict_);
    QFont bold = reason_->font();
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    bold.setBold(true);
    reason_->setFont(bold);
    reason_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    reason_->setWordWrap(true);
    reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    reason_->setMinimumHeight(QFontMetrics(bold).lineSpacing() * 2 + 4);
    verdictLayout->addWidget(reason_);
    layout->addWidget(verdict_);
    counters_ = ui::label("counters", QString(), this);
    layout->addWidget(counters_);
    progress_ = new JobProgress(jobs_, QStringLiteral("board"), this);
    layout->addWidget(progress_);

    auto* reportRow = new QHBoxLayout;
    QPushButton* refresh = ui::button("refresh", QStringLiteral("Refresh records"), this);
    connect(refresh, &QPushButton::clicked, this, &ProductionWindow::refreshReport);
    QPushButton* exportCsv = ui::button("export", QStringLiteral("Export CSV..."), this);
    connect(exportCsv, &QPushButton::clicked, this, &ProductionWindow::exportReport);
    reportRow->addWidget(refresh);
    reportRow->addWidget(exportCsv);
    reportRow->addStretch();
    layout->addLayout(reportRow);
    summary_ = ui::label("summary", QString(), this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    table_->setObjectName(QStringLiteral("records"));
    table_->setHorizontalHeaderLabels(kColumns);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    // A few rows always show, however long the verdict.
    table_->setMinimumHeight(table_->horizontalHeader()->sizeHint().height() +
                             6 * table_->verticalHeader()->defaultSectionSize() + 4);
    layout->addWidget(table_, 1);
    // No verdict before the first board: neither green nor red.
    showResult(false, QStringLiteral("No board yet"));
    QPalette p = verdict_->palette();
    p.setColor(QPalette::Window, QColor(0x75, 0x75, 0x75));
    verdict_->setPalette(p);
    // A small screen (or a large scale factor) scrolls the window instead
    // of pushing it off the screen.
    ui::makeScrollable(this);
}

ProductionWindow::~ProductionWindow() = default;

void ProductionWindow::chooseGolden() {
    const QString path = dialogs_.openFileName(this, goldenDialog_);
    if (!path.isEmpty()) loadGolden(path);
}

bool ProductionWindow::loadGolden(const QString& path) {
    std::string error;
    auto golden = production::loadGolden(ui::str(path), error);
    if (!golden) {
        dialogs_.warn(this, windowTitle(), ui::qstr(error));
        return false;
    }
    golden_ = std::move(golden);
    golden_label_->setText(ui::qstr(golden_->name + "  SHA-256 " + golden_->sha256));
    return true;
}

QString ProductionWindow::goldenText() const {
    return golden_label_->text();
}
QString ProductionWindow::resultText() const {
    return reason_->text().isEmpty() ? result_->text()
                                     : result_->text() + QLatin1Char('\n') + reason_->text();
}
QString ProductionWindow::countersText() const {
    return counters_->text();
}
QString ProductionWindow::summaryText() const {
    return summary_->text();
}

void ProductionWindow::showResult(bool pass, const QString& text) {
    const qsizetype line = text.indexOf(QLatin1Char('\n'));
    result_->setText(line < 0 ? text : text.left(line));
    reason_->setText(line < 0 ? QString() : text.mid(line + 1));
    QPalette p = verdict_->palette();
    p.setColor(QPalette::Window, pass ? QColor(0x2e, 0x7d, 0x32) : QColor(0xc6, 0x28, 0x28));
    p.setColor(QPalette::WindowText, Qt::white);
    verdict_->setPalette(p);
    counters_->setText(QStringLiteral("passed %1   failed %2   total %3")
                           .arg(passed_)
                           .arg(failed_)
                           .arg(passed_ + failed_));
}

void ProductionWindow::startBoard() {
    // One board at a time: a second Enter (a scanner repeating, an operator
    // who did not see the first) never starts another board inside it.
    if (progress_->running()) {
        counters_->setText(
            QStringLiteral("A board is being programmed; wait for its PASS or "
                           "FAIL before the next serial."));
        return;
    }
    const std::string serial = ui::str(serial_->text().trimmed());
    if (!golden_) {
        showResult(false, QStringLiteral("FAIL\nchoose a golden snapshot first"));
        return;
    }
    if (const std::string problem = production::serialProblem(serial); !problem.empty()) {
        showResult(false, QStringLiteral("FAIL\n") + ui::qstr(problem));
        return;
    }
    production::StationSettings settings;
    settings.station = ui::str(station_->text().trimmed());
    settings.operatorName = loginName();
    settings.allowRevision = allowRevision_->isChecked();
    settings.eraseLimit = eraseLimit_->value();
    if (writeSerial_->isChecked()) {
        bool ok = false;
        const unsigned at = serialAt_->text().trimmed().remove(QLatin1Char('h')).toUInt(&ok, 16);
        const std::string problem = ok ? production::serialPlaceProblem(serial, at)
                                       : std::string("the serial's EEPROM address is not hex");
        if (!problem.empty()) {
            showResult(false, QStringLiteral("FAIL\n") + ui::qstr(problem));
            return;
        }
        settings.serialAt = at;
    }
    const std::string folder = backupFolder_ ? backupFolder_() : std::string();
    if (folder.empty()) {
        showResult(false, QStringLiteral("FAIL\nno backup folder, nothing was written"));
        return;
    }
    settings.backupFolder =
        folder + "/production/" +
        production::fileNameOf(settings.station.empty() ? "station" : settings.station);
    // The records' connection belongs to the thread that runs the board.
    const std::string where = ui::str(database_->text().trimmed());
    progress_->run(
        this,
        [golden = *golden_, serial, settings, where](JobControl& c) {
            production::BoardResult r;
            std::string error;
            const auto records = production::Records::open(where, error);
            if (!records) {
                r.verdict = production::Verdict::Error;
                r.cause = "no records: " + error + "; nothing was written";
                return r;
            }
            return production::programBoard(c.device(), golden, serial, settings, *records);
        },
        [this, serial](production::BoardResult& r) { boardDone(serial, r); });
    // Neither green nor red until the verdict is in.
    result_->setText(QStringLiteral("Programming %1...").arg(ui::qstr(serial)));
    reason_->clear();
    QPalette p = verdict_->palette();
    p.setColor(QPalette::Window, QColor(0x75, 0x75, 0x75));
    verdict_->setPalette(p);
}

void ProductionWindow::boardDone(const std::string& serial, const production::BoardResult& r) {
    const bool pass = r.verdict == production::Verdict::Pass;
    pass ? ++passed_ : ++failed_;
    std::string reason = r.cause;
    for (const std::string& note : r.notes) reason += (reason.empty() ? "" : "; ") + note;
    showResult(pass, (pass ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")) +
                         ui::qstr(serial) +
                         (reason.empty() ? QString() : QLatin1Char('\n') + ui::qstr(reason)));
    if (autoIncrement_->isChecked() && pass) {
        if (const auto next = production::nextSerial(serial, static_cast<unsigned>(step_->value())))
            serial_->setText(ui::qstr(*next));
    } else if (!autoIncrement_->isChecked()) {
        serial_->clear();  // ready for the next scan
    }
    serial_->setFocus();
    refreshReport();
}

std::optional<std::vector<production::Attempt>> ProductionWindow::readRecords(std::string& why,
                                                                              bool& missing) {
    // Read as they are, on this thread's own connection: a database that is
    // not there yet is not made by looking at it.
    const std::string where = ui::str(database_->text().trimmed());
    missing = false;
    const auto records =
        production::Records::open(where, why, production::Records::Mode::ReadOnly);
    if (!records) {
        std::string error;
        const auto location = production::parseLocation(where, error);
        std::error_code ec;
        missing = location && !location->postgres && !std::filesystem::exists(location->file, ec);
        return std::nullopt;
    }
    auto rows = records->attempts("", why);
    if (!rows) why = "records not read: " + why;
    return rows;
}

void ProductionWindow::refreshReport() {
    std::string why;
    bool missing = false;
    const auto rows = readRecords(why, missing);
    if (!rows) {
        summary_->setText(missing ? QStringLiteral("No records yet.") : ui::qstr(why));
        table_->setRowCount(0);
        return;
    }
    const production::Summary s = production::summarize(*rows);
    auto percent = [](int part, int whole) {
        return whole == 0 ? QStringLiteral("-")
                          : QString::number(100.0 * part / whole, 'f', 1) + QLatin1Char('%');
    };
    QString summary = QStringLiteral("All records: %1, %2 passed, %3 failed")
                          .arg(count(s.attempts, "attempt", "attempts"))
                          .arg(s.passed)
                          .arg(s.failed);
    if (s.unfinished > 0) summary += QStringLiteral(", %1 unfinished").arg(s.unfinished);
    summary += QStringLiteral("; %1, %2 passing now, yield %3.")
                   .arg(count(s.boards, "board", "boards"))
                   .arg(s.boardsPassed)
                   .arg(percent(s.boardsPassed, s.boards));
    if (!s.causes.empty())
        summary += QStringLiteral(" Most frequent first failure (%1): %2")
                       .arg(s.causes.front().second)
                       .arg(ui::qstr(s.causes.front().first));
    summary_->setText(summary);
    table_->setRowCount(static_cast<int>(rows->size()));
    for (int r = 0; r < static_cast<int>(rows->size()); ++r) {
        const production::Attempt& a = (*rows)[static_cast<std::size_t>(r)];
        const std::string cells[] = {a.serial,           a.started,
                                     std::to_string(a.durationMs), a.station,
                                     a.operatorName,     a.goldenName,
                                     a.shownResult(),    a.registersWritten,
                                     a.pagesWritten,     a.firstFailure};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c)
            table_->setItem(r, c, new QTableWidgetItem(ui::qstr(cells[c])));
    }
}

void ProductionWindow::exportReport() {
    std::string why;
    bool missing = false;
    const auto rows = readRecords(why, missing);
    if (!rows) {
        dialogs_.warn(this, windowTitle(),
                      missing ? QStringLiteral("There are no records yet.") : ui::qstr(why));
        return;
    }
    const QString path = dialogs_.saveFileName(this, csvDialog_);
    if (path.isEmpty()) return;
    // The file dialog asked before an existing file is named: it is replaced.
    std::string error;
    if (!durable::replaceFile(ui::str(path), production::reportCsv(*rows), error)) {
        dialogs_.warn(this, windowTitle(), ui::qstr(ui::str(path) + " not saved: " + error));
        return;
    }
    dialogs_.inform(this, windowTitle(),
                    count(static_cast<int>(rows->size()), "record", "records") +
                        QStringLiteral(" saved to ") + path);
}

}  // namespace kestrel
