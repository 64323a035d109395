#include "tpxadmin/ui/passworddialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tpx::admin {

CPasswordDialog::CPasswordDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("passwordDialog");
    setWindowTitle("Password");
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edit_ = new QLineEdit(this);
    edit_->setObjectName("password");
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setMaxLength(250);
    auto* label = new QLabel("&Password:", this);
    label->setBuddy(edit_);
    form->addRow(label, edit_);
    top->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
    setMinimumWidth(260);
}

QString CPasswordDialog::password() const { return edit_->text(); }

}  // namespace tpx::admin
