// Helpers for the Qt tests: a tpxsim process on a pseudo-terminal, screenshots under the
// build folder, and answering the modal dialog that a command opens.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>

class QWidget;

namespace tpx::uitest {

// Starts tpxsim --pty DIR/NAME with `args`; waits until the link exists.
class SimProcess {
public:
    SimProcess(const QString& link, const QStringList& args = {});
    ~SimProcess();
    bool ok() const { return ok_; }
    QString link() const { return link_; }

private:
    QProcess proc_;
    QString link_;
    bool ok_ = false;
};

// Saves a PNG of `w` as screenshots/<name>.png in the build folder.
void screenshot(QWidget* w, const QString& name);

// Runs `act` once the next modal dialog named `objectName` is up (from inside its exec).
void whenModal(const QString& objectName, std::function<void(QWidget*)> act);

}  // namespace tpx::uitest
