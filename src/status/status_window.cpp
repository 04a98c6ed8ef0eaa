#include "status/status_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "chip/status_registers.h"
#include "device/text_rules.h"
#include "widgets/bit_label_row.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

namespace {

struct StatusRegister {
    int reg;
    const char* frame;
    const char* caption;
    const char* readName;
    const char* readCaption;
    const char* bits;
    const char* hex;
    int names;  // row of kBitNames
};

constexpr std::array<StatusRegister, 6> kRegisters = {{
    {0x00, "Status1", "Status Register 1 (00h)", "ReadStatus1", "Read Status1", "Read_Stat1",
     "stat1hex", 0},
    {0x01, "Status2", "Status Register 2 (01h)", "ReadStatus2", "Read Status2", "Read_Stat2",
     "stat2hex", 1},
    {0x02, "Status3", "Status Register 3 (02h)", "ReadStatus3", "Read Status3", "Read_Stat3",
     "stat3hex", 2},
    {0x2A, "Status4", "Latched Status Register 1 (2Ah)", "ReadLatchedStatus1",
     "Read Latched Status1", "Read_Stat4", "stat4hex", 0},
    {0x2B, "Status5", "Latched Status Register 2 (2Bh)", "ReadLatchedStatus2",
     "Read Latched Status2", "Read_Stat5", "stat5hex", 1},
    {0x2C, "Status6", "Latched Status Register 3 (2Ch)", "ReadLatchedStatus3",
     "Read Latched Status3", "Read_Stat6", "stat6hex", 2},
}};

}  // namespace

StatusWindow::StatusWindow(BusJobs& jobs, Pause pause) : jobs_(jobs), pause_(std::move(pause)) {
    if (!pause_) {
        // The pause runs on a timer: the window keeps answering clicks.
        pause_ = [this](double seconds, std::function<void()> then) {
            QTimer::singleShot(static_cast<int>(seconds * 1000.0), Qt::PreciseTimer, this,
                               std::move(then));
        };
    }
    setObjectName(QStringLiteral("frm_Status"));
    setWindowTitle(QStringLiteral("KESTREL Status Registers"));
    setWindowFlag(Qt::Window);

    auto* column = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Status Registers"), this);
    heading->setObjectName(QStringLiteral("Label33"));
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    heading->setFont(bold);
    column->addWidget(heading);

    auto* frames = new QGridLayout;
    for (int i = 0; i < 6; ++i) {
        const StatusRegister& r = kRegisters[static_cast<std::size_t>(i)];
        auto* frame = new QGroupBox(QString::fromLatin1(r.caption), this);
        frame->setObjectName(QString::fromLatin1(r.frame));
        auto* grid = new QGridLayout(frame);
        auto* read = new QPushButton(QString::fromLatin1(r.readCaption), frame);
        read->setObjectName(QString::fromLatin1(r.readName));
        connect(read, &QPushButton::clicked, this, [this, i] { readClick(i); });
        grid->addWidget(read, 0, 0, 1, 2);
        BitNames names;
        for (std::size_t k = 0; k < 8; ++k) {
            names.texts[k] =
                QString::fromLatin1(status::kBitNames[static_cast<std::size_t>(r.names)][k]);
            names.objectNames[k] = QStringLiteral("%1_name").arg(QString::fromLatin1(r.bits));
        }
        auto* bits = new BitLabelRow(QString::fromLatin1(r.bits), frame,
                                     BitLayout{18, false, false, true, false}, &names);
        grid->addWidget(bits, 1, 0);
        auto* hex = new QLabel(QStringLiteral("00h"), frame);
        hex->setObjectName(QString::fromLatin1(r.hex));
        QFont f = hex->font();
        f.setPointSize(18);
        f.setBold(true);
        hex->setFont(f);
        hex->setMinimumWidth(70);
        grid->addWidget(hex, 1, 1, Qt::AlignVCenter);
        groups_[static_cast<std::size_t>(i)] = {bits, hex};
        frames->addWidget(frame, i / 3, i % 3);
    }
    column->addLayout(frames);

    auto* controls = new QHBoxLayout;
    poll_ = new QPushButton(QStringLiteral("Start Polling"), this);
    poll_->setObjectName(QStringLiteral("poll"));
    connect(poll_, &QPushButton::clicked, this, [this] { poll_Click(); });
    controls->addWidget(poll_);
    auto* delayLabel = new QLabel(QStringLiteral("Poll Delay (seconds):"), this);
    delayLabel->setObjectName(QStringLiteral("Label34"));
    controls->addWidget(delayLabel);
    poll_delay_ = new QLineEdit(QStringLiteral("0.15"), this);
    poll_delay_->setObjectName(QStringLiteral("poll_delay"));
    poll_delay_->setMaximumWidth(70);
    connect(poll_delay_, &QLineEdit::editingFinished, this, [this] { correctPauseText(); });
    controls->addWidget(poll_delay_);
    controls->addStretch(1);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setProperty("escapeButton", true);
    exit->setObjectName(QStringLiteral("exit"));
    connect(exit, &QPushButton::clicked, this, [this] { exit_Click(); });
    controls->addWidget(exit);
    column->addLayout(controls);

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(10);
    connect(Timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    ui::makeScrollable(this);
}

void StatusWindow::Form_Load() {
    polling_ = false;
    Timer1_->start();
}

double StatusWindow::pauseSeconds() const {
    const double seconds = text::decimalValue(poll_delay_->text().toStdString());
    return std::clamp(seconds, 0.0, kMaxPauseSeconds);
}

void StatusWindow::correctPauseText() {
    const QString text = poll_delay_->text().trimmed();
    const double given = text::decimalValue(text.toStdString());
    const double used = pauseSeconds();
    // Show the value that is really used when the box asks for more or less.
    if (!text.isEmpty() && given != used) poll_delay_->setText(QString::number(used));
}

void StatusWindow::show(int index, const ByteOutcome& v) {
    Group& group = groups_.at(static_cast<std::size_t>(index));
    // A read that failed shows as failed, never as a value.
    const bool clean = v.ok();
    group.hex->setText(clean
                           ? QString::fromStdString(text::hexText(static_cast<unsigned>(v.value))) +
                                 QStringLiteral("h")
                           : QStringLiteral("XX"));
    group.hex->setToolTip(clean ? QString() : QString::fromStdString(v.problem()));
    if (clean)
        group.bits->showValue(static_cast<std::uint8_t>(v.value));
    else
        group.bits->showUnknown();
    group.bits->setEnabled(clean);
}

void StatusWindow::readClick(int index, Origin origin) {
    const int reg = kRegisters[static_cast<std::size_t>(index)].reg;
    jobs_.run(
        this, [reg, origin](JobControl& c) { return c.device().ReadRegister(reg, origin); },
        [this, index](ByteOutcome& v) {
            if (v.refused()) return;
            show(index, v);
            if (index % 3 == 2) {
                correctPauseText();
                pause_(pauseSeconds(), [] {});
            }
        });
}

void StatusWindow::readRow(int row) {
    struct Row {
        std::array<ByteOutcome, 3> reads;
        int done = 0;
    };
    jobs_.run(
        this,
        [row](JobControl& c) {
            Row r;
            for (; r.done < 3; ++r.done) {
                r.reads[static_cast<std::size_t>(r.done)] = c.device().ReadRegister(
                    kRegisters[static_cast<std::size_t>(3 * row + r.done)].reg, Origin::Timer);
                if (r.reads[static_cast<std::size_t>(r.done)].refused()) break;
            }
            return r;
        },
        [this, row](Row& r) {
            for (int i = 0; i < r.done; ++i)
                show(3 * row + i, r.reads[static_cast<std::size_t>(i)]);
            // Stopped, or the bus was refused: the pass ends here without a pause.
            if (!polling_ || r.done < 3) {
                inPass_ = false;
                return;
            }
            correctPauseText();
            pause_(pauseSeconds(), [this, row] {
                if (row == 0 && polling_)
                    readRow(1);
                else
                    inPass_ = false;
            });
        });
}

void StatusWindow::poll_Click() {
    polling_ = !polling_;
    poll_->setText(polling_ ? QStringLiteral("Stop Polling") : QStringLiteral("Start Polling"));
}

void StatusWindow::Timer1_Timer() {
    // One pass per tick; a tick that comes while a pass runs is dropped.
    if (!polling_ || inPass_) return;
    // While other work holds or waits for the bus, the pass is skipped
    // rather than queued behind it.
    if (!jobs_.idle()) return;
    inPass_ = true;
    readRow(0);
}

void StatusWindow::exit_Click() {
    hide();
    poll_->setText(QStringLiteral("Start Polling"));
    polling_ = false;
}

}  // namespace kestrel
