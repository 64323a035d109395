#include "tpxadmin/ui/settingsdialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tpx::admin {

namespace {
constexpr int kCommandMax = 40;

bool printableCommand(const QString& s) {
    if (s.size() > kCommandMax) return false;
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) return false;
    return true;
}

bool validDevice(const QString& s) {
    if (s.isEmpty()) return false;
    if (s.startsWith('/')) return true;
    int colon = s.lastIndexOf(':');
    bool ok = false;
    int port = colon > 0 ? s.mid(colon + 1).toInt(&ok) : 0;
    return ok && port > 0 && port < 65536;
}

// The init command as an edit line shows it: a trailing CR cannot be shown or typed.
QString shownCommand(const std::string& s) {
    QString q = QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    if (q.endsWith('\r')) q.chop(1);
    return q;
}
}  // namespace

QButtonGroup* CSettingsDialog::addGroup(QGridLayout* grid, int row, int col, const QString& title,
                                        const QStringList& labels, const QString& name) {
    auto* box = new QGroupBox(title, this);
    box->setObjectName(name);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < labels.size(); ++i) {
        auto* b = new QRadioButton(labels[i], box);
        b->setObjectName(name + QString::number(i));
        layout->addWidget(b);
        group->addButton(b, i);
    }
    layout->addStretch();
    grid->addWidget(box, row, col);
    return group;
}

CSettingsDialog::CSettingsDialog(const LinkSettings& current, const std::vector<std::string>& initCommands,
                                 const PortMap& ports, std::function<void()> invalid, QWidget* parent)
    : QDialog(parent), current_(current), result_(current), ports_(ports), invalid_(std::move(invalid)) {
    setObjectName("dialog130");
    setWindowTitle("Communication Settings");

    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    baud_ = addGroup(grid, 0, 0, "&Baud Rate", {"300", "600", "1200", "2400", "4800", "9600"}, "baud");
    dataBits_ = addGroup(grid, 0, 1, "&Data Bits", {"7", "8"}, "dataBits");
    stopBits_ = addGroup(grid, 0, 2, "&Stop Bits", {"1", "2"}, "stopBits");
    parity_ = addGroup(grid, 0, 3, "&Parity", {"None", "Odd", "Even"}, "parity");
    port_ = addGroup(grid, 1, 0, "&Com Port", {"Com1", "Com2", "Com3", "Com4"}, "comPort");
    flow_ = addGroup(grid, 1, 1, "&Flow Control", {"None", "CTS/RTS"}, "flowControl");
    type_ = addGroup(grid, 1, 2, "&Type", {"Direct", "Modem", "ISDN"}, "linkType");

    auto* modem = new QFormLayout;
    top->addLayout(modem);
    init_ = new QComboBox(this);
    init_->setObjectName("initCommand");
    init_->setEditable(true);
    // The default "ATZ\r" shows as the built-in "ATZ": one entry for what looks the same.
    for (const auto& c : initCommands)
        if (init_->findText(shownCommand(c), Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
            init_->addItem(shownCommand(c));
    init_->setCurrentText(shownCommand(current.initCommand));
    escape_ = new QLineEdit(QString::fromStdString(current.escapeCommand), this);
    escape_->setObjectName("escapeCommand");
    hangup_ = new QLineEdit(QString::fromStdString(current.hangupCommand), this);
    hangup_->setObjectName("hangupCommand");
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    modem->addRow(label("Modem &Init Command", init_), init_);
    modem->addRow(label("Modem &Escape Command", escape_), escape_);
    modem->addRow(label("Modem &Hangup Command", hangup_), hangup_);

    auto* devBox = new QGroupBox("Port &Devices", this);
    devBox->setObjectName("devices");
    auto* devForm = new QFormLayout(devBox);
    for (int n = 1; n <= PortMap::kComPorts; ++n) {
        auto* e = new QLineEdit(QString::fromStdString(ports.com(n)), devBox);
        e->setObjectName("deviceCom" + QString::number(n));
        e->setToolTip("A serial device such as /dev/ttyUSB0, or host:port of a TCP serial server");
        devForm->addRow(QString("Com%1").arg(n), e);
        devices_.push_back(e);
    }
    auto* telnet = new QLineEdit(QString::fromStdString(ports.telnet()), devBox);
    telnet->setObjectName("deviceTelnet");
    telnet->setToolTip("host:port of the TELNET device (port settings 6 and above)");
    devForm->addRow("TELNET", telnet);
    devices_.push_back(telnet);
    top->addWidget(devBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");  // IDOK
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDialog::reject);
    top->addWidget(buttons);

    // Each group shows the current setting. A baud rate of 300 x 2^i shows button i (any i
    // above 5 shows 9600); another rate, like a port index beyond Com4, checks no button and
    // is kept unless the user picks one.
    for (int i = 0, rate = 300; rate <= current.baudRate && rate > 0; ++i, rate *= 2) {
        if (rate == current.baudRate) {
            baud_->button(std::min(i, 5))->setChecked(true);
            break;
        }
    }
    if (auto* b = dataBits_->button(current.dataBits == 7 ? 0 : current.dataBits == 8 ? 1 : -1)) b->setChecked(true);
    if (auto* b = stopBits_->button(current.stopBits == 0 ? 0 : current.stopBits == 2 ? 1 : -1)) b->setChecked(true);
    if (auto* b = parity_->button(current.parity)) b->setChecked(true);
    if (auto* b = port_->button(current.portIndex)) b->setChecked(true);
    if (auto* b = flow_->button(current.flowControl)) b->setChecked(true);
    if (auto* b = type_->button(current.linkType)) b->setChecked(true);
}

QString CSettingsDialog::validate() const {
    if (!printableCommand(init_->currentText())) return "initCommand";
    if (!printableCommand(escape_->text())) return "escapeCommand";
    if (!printableCommand(hangup_->text())) return "hangupCommand";
    for (auto* e : devices_)
        if (!validDevice(e->text().trimmed())) return e->objectName();
    return {};
}

void CSettingsDialog::accept() {
    if (!validate().isEmpty()) {
        if (invalid_) invalid_();
        return;
    }
    LinkSettings s = current_;
    if (baud_->checkedId() >= 0) s.baudRate = 300 << baud_->checkedId();
    if (dataBits_->checkedId() >= 0) s.dataBits = 7 + dataBits_->checkedId();
    if (stopBits_->checkedId() >= 0) s.stopBits = stopBits_->checkedId() * 2;
    if (parity_->checkedId() >= 0) s.parity = parity_->checkedId();
    if (port_->checkedId() >= 0) s.portIndex = port_->checkedId();
    if (flow_->checkedId() >= 0) s.flowControl = flow_->checkedId();
    if (type_->checkedId() >= 0) s.linkType = type_->checkedId();
    // An unchanged init command keeps its original form (the default's trailing CR).
    QString init = init_->currentText();
    s.initCommand = init == shownCommand(current_.initCommand) ? current_.initCommand : init.toStdString();
    s.escapeCommand = escape_->text().toStdString();
    s.hangupCommand = hangup_->text().toStdString();
    result_ = s;
    for (int n = 1; n <= PortMap::kComPorts; ++n) ports_.setCom(n, devices_[n - 1]->text().trimmed().toStdString());
    ports_.setTelnet(devices_.back()->text().trimmed().toStdString());
    QDialog::accept();
}

}  // namespace tpx::admin
