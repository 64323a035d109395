// "Communication Settings" (dialog 130): the link settings, plus the device behind each COM
// port and the TELNET device.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "platform/portmap.h"
#include "tpxadmin/link/linksettings.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QGridLayout;

namespace tpx::admin {

class CSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `invalid` is called (message 36) when OK finds a field it cannot take.
    CSettingsDialog(const LinkSettings& current, const std::vector<std::string>& initCommands,
                    const PortMap& ports, std::function<void()> invalid, QWidget* parent = nullptr);

    LinkSettings settings() const { return result_; }
    PortMap ports() const { return ports_; }

    // The checks OK makes; exposed for tests. Empty when valid, else the offending field.
    QString validate() const;

    void accept() override;

private:
    QButtonGroup* addGroup(QGridLayout* grid, int row, int col, const QString& title,
                           const QStringList& labels, const QString& name);

    LinkSettings current_;
    LinkSettings result_;
    PortMap ports_;
    std::function<void()> invalid_;
    QButtonGroup* baud_;
    QButtonGroup* dataBits_;
    QButtonGroup* stopBits_;
    QButtonGroup* parity_;
    QButtonGroup* port_;
    QButtonGroup* flow_;
    QButtonGroup* type_;
    QComboBox* init_;
    QLineEdit* escape_;
    QLineEdit* hangup_;
    std::vector<QLineEdit*> devices_;  // COM1..COM5, then TELNET
};

}  // namespace tpx::admin
