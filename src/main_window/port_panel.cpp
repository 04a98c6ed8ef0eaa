#include "main_window/port_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "device/text_rules.h"
#include "widgets/widget_helpers.h"

namespace kestrel {

using ui::str;

namespace {

const char* const kSlaveAddresses[] = {"AEh", "A0h", "A2h", "A4h", "A6h", "A8h", "AAh", "2Dh"};

}  // namespace

PortPanel::PortPanel(Globals& globals, BusJobs& jobs,
                     std::function<void(const QString&)> showConnection,
                     std::function<void(const QString&)> notify, QWidget* parent)
    : QWidget(parent),
      g_(globals),
      jobs_(jobs),
      showConnection_(std::move(showConnection)),
      notify_(std::move(notify)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* heading = ui::label("Label3", QStringLiteral("KESTREL Eval Software"), this);
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    heading->setFont(f);
    grid->addWidget(heading, 0, 0, 1, 6);
    grid->addWidget(ui::label("Label2", QStringLiteral("Printer port:"), this), 1, 0);
    portEntries_ = new QComboBox(this);
    portEntries_->setObjectName(QStringLiteral("CurrentPPortAddrCOMBO"));
    portEntries_->setMinimumWidth(130);
    grid->addWidget(portEntries_, 1, 1);
    grid->addWidget(ui::label("Label1", QStringLiteral("pin2=SCL; pin3=SDA"), this), 1, 2);
    grid->addWidget(ui::label("Label4", QStringLiteral("Slave address:"), this), 1, 3);
    slaveAddresses_ = new QComboBox(this);
    slaveAddresses_->setObjectName(QStringLiteral("SlaveAddress"));
    slaveAddresses_->setMinimumWidth(80);
    grid->addWidget(slaveAddresses_, 1, 4);
    grid->addWidget(ui::label("Label5", QStringLiteral("AEh=broadcast address"), this), 1, 5);
    grid->setColumnStretch(6, 1);

    connect(slaveAddresses_, &QComboBox::activated, this, [this] { SlaveAddress_Click(); });
    connect(portEntries_, &QComboBox::activated, this, [this] { CurrentPPortAddrCOMBO_Click(); });
}

void PortPanel::fillSlaveAddresses() {
    slaveAddresses_->clear();
    for (const char* a : kSlaveAddresses) slaveAddresses_->addItem(QLatin1String(a));
    slaveAddresses_->setCurrentIndex(-1);
}

void PortPanel::discoverPorts() {
    g_.PortEntry = 0;
    struct Found {
        std::array<Device::LptSlot, 3> lpt{};
        std::string refusal;
    };
    jobs_.run(
        this,
        [](JobControl& c) {
            Found f;
            for (int n = 1; n <= 3; ++n)
                f.lpt[static_cast<std::size_t>(n - 1)] = c.device().lptSlot(n);
            // The first entry decides the port for the whole session; an
            // entry that is not an address ("LPT1: absent") gives 0, and the
            // bus stays silent. Set here, before any later job runs.
            c.device().globals().LPTBase = static_cast<std::int16_t>(f.lpt[0].address);
            if (f.lpt[0].address == 0) f.refusal = c.device().refusal();
            return f;
        },
        [this](Found& f) { showPorts(f.lpt, f.refusal); });
}

void PortPanel::showPorts(const std::array<Device::LptSlot, 3>& lpt, const std::string& refusal) {
    portEntries_->clear();
    for (int n = 1; n <= 3; ++n) {
        const auto [address, state] = lpt[static_cast<std::size_t>(n - 1)];
        if (address != 0)
            portEntries_->addItem(QString::fromStdString(text::hexText(address)));
        else
            portEntries_->addItem(
                QStringLiteral("LPT%1: %2")
                    .arg(n)
                    .arg(state != 0 ? QStringLiteral("Error") : QStringLiteral("absent")));
    }
    portEntries_->setCurrentIndex(0);
    const bool lpt1Error = lpt[0].address == 0 && lpt[0].state != 0;
    if (lpt[0].address != 0)
        showConnection_(QStringLiteral("LPT1 %1h").arg(portEntries_->itemText(0)));
    else if (lpt1Error)
        showConnection_(QStringLiteral("LPT1 cannot be opened: see Tools > Messages"));
    else
        showConnection_(QStringLiteral(
            "No parallel port: load parport_pc and ppdev, or start with --simulate"));
    if (!refusal.empty() && notify_) notify_(QString::fromStdString(refusal));
}

void PortPanel::CurrentPPortAddrCOMBO_Click() {
    // Only the numbers handed to the port library change; the port driven
    // stays the one chosen at start-up.
    g_.PortEntry = static_cast<std::int16_t>(portEntries_->currentIndex());
}

void PortPanel::SlaveAddress_Click() {
    g_.SlaveAddr = static_cast<std::int16_t>(text::hexValue(str(slaveAddresses_->currentText())));
}

}  // namespace kestrel
