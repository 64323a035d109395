#pragma once

#include <QDialog>

class QLineEdit;

namespace tpx::admin {

// The login password dialog: one masked field of at most 250 characters.
class CPasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDialog(QWidget* parent = nullptr);
    QString password() const;

private:
    QLineEdit* edit_;
};

}  // namespace tpx::admin
