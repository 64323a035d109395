#include "tpxadmin/ui/transferdialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tpx::admin {

namespace {
QLineEdit* makeEdit(QWidget* parent, int id, int width = 0) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::number(id));
    e->setReadOnly(true);
    if (width) e->setFixedWidth(width);
    return e;
}
}  // namespace

CTransferDialog::CTransferDialog(std::function<void()> onCancel, QWidget* parent)
    : QDialog(parent), onCancel_(std::move(onCancel)) {
    setObjectName("dialog143");
    setModal(false);
    auto* top = new QVBoxLayout(this);

    auto* user = new QGroupBox("User Info", this);
    auto* userRow = new QHBoxLayout(user);
    userRow->addWidget(new QLabel("File Name", user));
    userRow->addWidget(makeEdit(user, 1265), 1);
    top->addWidget(user);

    auto* sys = new QGroupBox("System Info", this);
    auto* sysGrid = new QGridLayout(sys);
    sysGrid->addWidget(new QLabel("System", sys), 0, 0);
    sysGrid->addWidget(makeEdit(sys, 1266), 0, 1);
    sysGrid->addWidget(new QLabel("SW ver.", sys), 0, 2);
    sysGrid->addWidget(makeEdit(sys, 1267, 80), 0, 3);
    sysGrid->addWidget(new QLabel("Status", sys), 1, 0);
    sysGrid->addWidget(makeEdit(sys, 1272), 1, 1);
    sysGrid->addWidget(new QLabel("Retry", sys), 1, 2);
    sysGrid->addWidget(makeEdit(sys, 1273, 80), 1, 3);
    top->addWidget(sys);

    auto part = [&](const QString& title, int totalId, int currentId, int barId) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel("Total", box), 0, 0);
        grid->addWidget(makeEdit(box, totalId, 90), 0, 1);
        grid->addWidget(new QLabel("Byte(s)", box), 0, 2);
        grid->addWidget(new QLabel("Current", box), 1, 0);
        grid->addWidget(makeEdit(box, currentId, 90), 1, 1);
        grid->addWidget(new QLabel("Byte(s)", box), 1, 2);
        auto* bar = new QProgressBar(box);
        bar->setObjectName(QString::number(barId));
        bar->setRange(0, 100);
        bar->setValue(0);
        grid->addWidget(bar, 0, 3, 2, 1);
        grid->setColumnStretch(3, 1);
        top->addWidget(box);
        return bar;
    };
    basicBar_ = part("Basic", 1268, 1269, 1262);
    extBar_ = part("Extension", 1270, 1271, 1263);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    connect(cancel, &QPushButton::clicked, this, [this] { onCancel_(); });
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    setMinimumWidth(460);
}

QLineEdit* CTransferDialog::edit(int id) { return findChild<QLineEdit*>(QString::number(id)); }

void CTransferDialog::setText(int id, const QString& text) {
    QLineEdit* e = edit(id);
    if (e && e->text() != text) e->setText(text);  // rewritten only when it changes
}

void CTransferDialog::update(const TransferView& v) {
    if (windowTitle() != QString::fromStdString(v.title)) setWindowTitle(QString::fromStdString(v.title));
    setText(1265, QString::fromStdString(v.fileName));
    setText(1266, QString::fromStdString(v.system));
    setText(1267, QString::fromStdString(v.version));
    setText(1272, QString::fromStdString(v.status));
    setText(1273, QString::number(v.attempts));
    setText(1268, QString::number(v.basicTotal));
    setText(1269, QString::number(v.basicDone));
    setText(1270, QString::number(v.extTotal));
    setText(1271, QString::number(v.extDone));
    basicBar_->setValue(TransferView::percent(v.basicDone, v.basicTotal));
    extBar_->setValue(TransferView::percent(v.extDone, v.extTotal));
}

void CTransferDialog::reject() { onCancel_(); }

}  // namespace tpx::admin
