#include "snapshots/snapshot_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <ctime>
#include <set>

#include "device/register_map.h"
#include "device/text_rules.h"
#include "files/backup_folder.h"
#include "files/image_file.h"
#include "files/snapshot_board.h"
#include "widgets/program_info.h"
#include "widgets/widget_helpers.h"
#include "widgets/window_registry.h"

namespace kestrel {

using ui::qstr;
using ui::str;

namespace {

// "1 register", "2 registers".
QString counted(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Failures named one by one in a message; past this many only their number.
constexpr std::size_t kNamedFailures = 8;
const QColor kDiffers(255, 214, 153);      // a difference that applying mends
const QColor kInformation(230, 230, 230);  // read-only or status, for information

QString hexByte(int v) {
    return qstr(text::suffixedByteText(static_cast<unsigned>(v)));
}

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

QString fieldsText(const std::vector<snapshot::FieldChange>& fields) {
    QStringList parts;
    for (const auto& f : fields) parts << qstr(f.field + ": " + f.a + " on A, " + f.b + " on B");
    return parts.join(QStringLiteral("; "));
}

}  // namespace

SnapshotWindow::SnapshotWindow(BusJobs& jobs, Dialogs& dialogs, Notify notify,
                               std::function<std::string()> backupFolder)
    : jobs_(jobs),
      dialogs_(dialogs),
      backupFolder_(std::move(backupFolder)),
      notify_(std::move(notify)) {
    setObjectName(QStringLiteral("frm_Snapshots"));
    setWindowTitle(QStringLiteral("Snapshots"));
    fileDialog_.filter = QStringLiteral("Board snapshots (*.snap);;All files (*)");
    fileDialog_.fileName = QStringLiteral("board.snap");

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    struct Entry {
        const char* name;
        const char* caption;
        void (SnapshotWindow::*action)();
    };
    for (const Entry& e :
         {Entry{"save", "Save...", &SnapshotWindow::save},
          Entry{"compareFile", "Compare with file...", &SnapshotWindow::compareWithFile},
          Entry{"compareFiles", "Compare two files...", &SnapshotWindow::compareFiles},
          Entry{"apply", "Apply...", &SnapshotWindow::apply}}) {
        QPushButton* b = ui::button(e.name, QString::fromLatin1(e.caption), this);
        connect(b, &QPushButton::clicked, this, e.action);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    QPushButton* exit = ui::button("exit", QStringLiteral("Exit"), this);
    exit->setProperty(kEscapeButton, true);
    connect(exit, &QPushButton::clicked, this, &QWidget::hide);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    heading_ = ui::label("heading", QStringLiteral("Save the board, or compare a snapshot."), this);
    heading_->setWordWrap(true);
    layout->addWidget(heading_);
    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QStringLiteral("differences"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Register"), QStringLiteral("Name"),
                                       QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("Settings that differ")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(720, 360);
    layout->addWidget(table_, 1);
    summary_ = ui::label("summary", QString(), this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    progress_ = new JobProgress(jobs_, QStringLiteral("snapshot"), this);
    layout->addWidget(progress_);
}

QString SnapshotWindow::summary() const {
    return summary_->text();
}

void SnapshotWindow::say(const QString& text) {
    summary_->setText(text);
    if (notify_) notify_(text);
}

void SnapshotWindow::takeBoard(std::function<void(const snapshot::Snapshot&)> then) {
    progress_->run(
        this, [](JobControl& c) { return snapshot::takeSnapshot(c.device(), std::time(nullptr)); },
        [this, then = std::move(then)](snapshot::Taken& t) {
            if (!t.snapshot) {
                say(t.refused ? qstr(t.error) + QStringLiteral(" The board was not read.")
                              : qstr("The board was not read: " + t.error + "."));
                return;
            }
            then(*t.snapshot);
        });
}

std::optional<snapshot::Snapshot> SnapshotWindow::openSnapshot(QString& name) {
    const QString path = dialogs_.openFileName(this, fileDialog_);
    if (path.isEmpty()) return std::nullopt;
    std::string error;
    auto s = snapshot::loadSnapshot(str(path), error);
    name = fileName(path);
    if (!s) {
        const QString text =
            QStringLiteral("%1 is not a board snapshot: %2").arg(name, qstr(error));
        say(text);
        dialogs_.warn(this, kProgramTitle, text);
    }
    return s;
}

void SnapshotWindow::save() {
    const QString path = dialogs_.saveFileName(this, fileDialog_);
    if (path.isEmpty()) return;
    takeBoard([this, path](const snapshot::Snapshot& board) {
        std::string error;
        if (!snapshot::saveSnapshot(str(path), board, error)) {
            say(qstr("Snapshot not saved: " + error));
            dialogs_.warn(this, kProgramTitle, qstr(error));
            return;
        }
        say(QStringLiteral("Board saved to %1.").arg(path));
    });
}

void SnapshotWindow::compareWithFile() {
    QString name;
    const auto a = openSnapshot(name);
    if (a) compareWithBoard(*a, name);
}

void SnapshotWindow::compareWithBoard(const snapshot::Snapshot& a, const QString& aName) {
    takeBoard([this, a, aName](const snapshot::Snapshot& board) {
        showComparison(snapshot::compare(a, board), aName, QStringLiteral("the board"));
    });
}

void SnapshotWindow::compareFiles() {
    QString aName, bName;
    const auto a = openSnapshot(aName);
    if (!a) return;
    const auto b = openSnapshot(bName);
    if (b) showComparison(snapshot::compare(*a, *b), aName, bName);
}

void SnapshotWindow::showComparison(const snapshot::Comparison& c, const QString& aName,
                                    const QString& bName) {
    heading_->setText(QStringLiteral("A: %1    B: %2").arg(aName, bName));
    table_->setRowCount(0);
    auto addRow = [this](const QStringList& cells, const QColor* highlight) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        for (int k = 0; k < cells.size(); ++k) {
            auto* item = new QTableWidgetItem(cells[k]);
            if (highlight) item->setBackground(*highlight);
            table_->setItem(row, k, item);
        }
    };
    auto addRegister = [&](const snapshot::RegisterComparison& r) {
        const bool latched = r.reg >= snapshot::kLatchedFirst;
        const QString name =
            latched ? QStringLiteral("Latched Status%1").arg(r.reg - snapshot::kLatchedFirst + 1)
                    : qstr(kRegisterMap.at(static_cast<std::size_t>(r.reg)).name);
        const QColor* highlight = r.differs              ? &kDiffers
                                  : r.informationDiffers ? &kInformation
                                                         : nullptr;
        addRow({hexByte(r.reg), name, hexByte(r.a), hexByte(r.b), fieldsText(r.fields)}, highlight);
    };
    // The differences first, so they show without scrolling; then what
    // differs for information; then the registers that are the same.
    for (const auto& r : c.registers)
        if (r.differs) addRegister(r);
    for (const snapshot::EepromDifference& d : c.eeprom)
        addRow({qstr(text::addressText(d.address) + "h"), QStringLiteral("EEPROM"), hexByte(d.a),
                hexByte(d.b), QString()},
               &kDiffers);
    for (const auto& r : c.registers)
        if (r.informationDiffers) addRegister(r);
    for (const auto& r : c.registers)
        if (!r.differs && !r.informationDiffers) addRegister(r);
    table_->resizeColumnsToContents();
    summary_->setText(c.identical()
                          ? QStringLiteral("Identical (%1).").arg(qstr(snapshot::summaryLine(c)))
                          : QStringLiteral("%1 and %2 differ; %3.")
                                .arg(counted(c.registerDifferences(), "register", "registers"))
                                .arg(counted(c.eeprom.size(), "EEPROM byte", "EEPROM bytes"))
                                .arg(qstr(snapshot::summaryLine(c))));
}

void SnapshotWindow::apply() {
    QString name;
    const auto target = openSnapshot(name);
    if (!target) return;
    takeBoard([this, target = *target, name](const snapshot::Snapshot& board) {
        applyTo(target, name, board);
    });
}

void SnapshotWindow::applyTo(const snapshot::Snapshot& target, const QString& name,
                             const snapshot::Snapshot& board) {
    const snapshot::Comparison before = snapshot::compare(target, board);
    showComparison(before, name, QStringLiteral("the board"));
    if (before.identical())
        return say(QStringLiteral("The board already holds %1; nothing was written.").arg(name));
    std::set<unsigned> pages;
    for (const auto& d : before.eeprom) pages.insert(d.address & ~(chip::kEepromPageSize - 1));
    const auto answer = dialogs_.askYesNo(
        this, kProgramTitle,
        QStringLiteral("Write %1 registers and erase and write %2 EEPROM pages of %3 on the board, "
                       "then read everything back?")
            .arg(before.registerDifferences())
            .arg(pages.size())
            .arg(name));
    if (answer != Dialogs::Answer::Yes)
        return say(QStringLiteral("Apply cancelled; nothing was written."));
    // The EEPROM as it was, kept before any page is erased.
    QString savedTo;
    if (!pages.empty() && !backUp(board, savedTo)) return;

    struct Applied {
        snapshot::ApplyResult result;
        std::optional<snapshot::Snapshot> after;
    };
    // The board was read cleanly just now (takeBoard refuses anything else).
    progress_->run(
        this,
        [target, board](JobControl& c) {
            snapshot::ApplyOptions options;
            options.present = &board;
            Applied a;
            a.result = snapshot::applySnapshot(c.device(), target, options);
            a.after = snapshot::takeSnapshot(c.device(), std::time(nullptr)).snapshot;
            return a;
        },
        [this, target, name, savedTo](Applied& a) {
            applied(target, name, savedTo, a.result, a.after);
        });
}

void SnapshotWindow::applied(const snapshot::Snapshot& target, const QString& name,
                             const QString& savedTo, const snapshot::ApplyResult& result,
                             const std::optional<snapshot::Snapshot>& after) {
    if (after) showComparison(snapshot::compare(target, *after), name, QStringLiteral("the board"));
    const QString backupNote =
        savedTo.isEmpty() ? QString()
                          : QStringLiteral(" The EEPROM was saved to %1 first.").arg(savedTo);
    if (result.ok() && result.verified)
        return say(QStringLiteral("%1 applied: %2 registers and %3 EEPROM pages written and read "
                                  "back equal.%4")
                       .arg(name)
                       .arg(result.registersWritten.size())
                       .arg(result.pagesWritten.size())
                       .arg(backupNote));
    QStringList lines;
    for (std::size_t i = 0; i < result.failures.size() && i < kNamedFailures; ++i)
        lines << qstr(result.failures[i]);
    if (result.failures.size() > kNamedFailures)
        lines << QStringLiteral("%1 failures in all.").arg(result.failures.size());
    if (result.refused)
        lines << QStringLiteral("The bus refused a transaction; nothing more was sent.");
    const QString text =
        QStringLiteral("%1 not applied in full:\n%2").arg(name, lines.join('\n')) + backupNote;
    say(text);
    dialogs_.warn(this, kProgramTitle, text);
}

bool SnapshotWindow::backUp(const snapshot::Snapshot& board, QString& savedTo) {
    const std::string directory = backupFolder_ ? backupFolder_() : std::string();
    std::string error = "no folder for the EEPROM backup (set XDG_STATE_HOME or HOME)";
    std::string path;
    const std::vector<int> bytes(board.eeprom.begin(), board.eeprom.end());
    if (!directory.empty() &&
        backup::saveNew(directory, backup::fileName(board.slave, std::time(nullptr)),
                        image_file::imageLines(chip::kEepromFirst, bytes), path, error)) {
        savedTo = qstr(path);
        return true;
    }
    const QString text =
        QStringLiteral("EEPROM not backed up (%1), so nothing was written.").arg(qstr(error));
    say(text);
    dialogs_.warn(this, kProgramTitle, text);
    return false;
}

}  // namespace kestrel
