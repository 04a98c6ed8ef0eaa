#include "about/about_window.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "device/text_rules.h"

namespace kestrel {

namespace {

QLabel* label(const char* name, const QString& text, QWidget* parent, bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

// One half of the etched separator: a grey line with a white line below it.
QFrame* etchedLine(int index, const QColor& colour, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setProperty("index", index);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, colour);
    line->setPalette(p);
    return line;
}

}  // namespace

AboutWindow::AboutWindow(Globals& globals, Dialogs& dialogs, SystemInfo& systemInfo)
    : g_(globals), dialogs_(dialogs), systemInfo_(systemInfo) {
    setObjectName(QStringLiteral("frmAbout"));
    // OK, Escape and the close box all end the dialog; it is then discarded
    // and the next opening loads it anew.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    auto* grid = new QGridLayout(this);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setFixedSize(32, 32);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(label("lblTitle", QString(), this, true), 0, 1, 1, 2);
    grid->addWidget(label("lblVersion", QString(), this, true), 1, 1, 1, 2);
    grid->addWidget(
        label("lblDescription",
              QStringLiteral(
                  "Program to exercise the KESTREL RAM/EEPROM registers through a standard "
                  "PC parallel port: "),
              this),
        2, 1, 1, 2);
    grid->addWidget(label("Label1", QStringLiteral("pin2=SCL; pin3=SDA"), this, true), 3, 1, 1, 2);
    grid->addWidget(label("Label2", QStringLiteral("program written by: "), this), 4, 1);
    grid->addWidget(
        label("Label3", QStringLiteral("kestrel-eval maintainers <kestrel-eval@example.org>"),
              this),
        5, 1, 1, 2);
    grid->addWidget(
        label("Label4", QStringLiteral("Applications support <kestrel-apps@example.org>"), this), 6,
        1, 1, 2);
    grid->addWidget(etchedLine(0, palette().color(QPalette::Mid), this), 7, 0, 1, 3);
    grid->addWidget(etchedLine(1, Qt::white, this), 8, 0, 1, 3);
    auto* disclaimer = label(
        "lblDisclaimer",
        QStringLiteral("Warning: this program drives the evaluation board directly and is "
                       "provided as is, without warranty of any kind. Use it only with KESTREL "
                       "evaluation boards and at your own risk."),
        this);
    grid->addWidget(disclaimer, 9, 0, 3, 2);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    auto* sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setAutoDefault(false);
    connect(sysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });
    grid->addWidget(ok, 9, 2);
    grid->addWidget(sysInfo, 10, 2);

    grid->addWidget(label("Label5", QStringLiteral("SCL timing adjust:"), this), 12, 0, 1, 2,
                    Qt::AlignRight);
    SCLtimingadj_ = new QLineEdit(QStringLiteral("5"), this);
    SCLtimingadj_->setObjectName(QStringLiteral("SCLtimingadj"));
    SCLtimingadj_->setMaximumWidth(70);
    grid->addWidget(SCLtimingadj_, 12, 2);
    connect(SCLtimingadj_, &QLineEdit::textChanged, this, [this] { SCLtimingadj_Change(); });
    grid->setColumnMinimumWidth(1, 320);
}

void AboutWindow::Form_Load() {
    // A number's text reserves its first character for the sign: " 5", "-5".
    const int v = g_.SCLTimingValue;
    SCLtimingadj_->setText((v >= 0 ? QStringLiteral(" ") : QString()) + QString::number(v));
    setWindowTitle(QStringLiteral("About ") + kProgramTitle);
    findChild<QLabel*>(QStringLiteral("lblVersion"))
        ->setText(QStringLiteral("Version ") + kProgramVersion);
    findChild<QLabel*>(QStringLiteral("lblTitle"))->setText(kProgramTitle);
}

void AboutWindow::SCLtimingadj_Change() {
    // Rounded to the nearest integer (halves to even) and held in 16 bits;
    // a larger number is kept at the nearest end of that range.
    const double v = std::nearbyint(text::decimalValue(SCLtimingadj_->text().toStdString()));
    g_.SCLTimingValue = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

void AboutWindow::cmdOK_Click() {
    accept();
}

void AboutWindow::StartSysInfo() {
    std::string value;
    if (systemInfo_.GetKeyValue(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                "PATH", value)) {
        if (systemInfo_.start(QString::fromStdString(value))) return;
    } else if (systemInfo_.GetKeyValue(kHkeyLocalMachine,
                                       "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                                       value)) {
        const QString file = QString::fromStdString(value) + QStringLiteral("\\MSINFO32.EXE");
        if (systemInfo_.fileExists(file) && systemInfo_.start(file)) return;
    } else {
        const QString program = systemInfo_.findOnPath(kSystemInfoPrograms);
        if (!program.isEmpty() && systemInfo_.start(program)) return;
    }
    dialogs_.message(this, kProgramTitle,
                     QStringLiteral("System Information Is Unavailable At This Time"));
}

}  // namespace kestrel
