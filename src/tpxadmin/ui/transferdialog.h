#pragma once

#include <QDialog>
#include <functional>

#include "tpxadmin/transfer/transfer.h"

class QLineEdit;
class QProgressBar;

namespace tpx::admin {

// Dialog 143: one database transfer, modeless. It shows the engine's view; "Cancel" and the
// window's close box cancel the transfer.
class CTransferDialog : public QDialog {
    Q_OBJECT
public:
    CTransferDialog(std::function<void()> onCancel, QWidget* parent = nullptr);
    void update(const TransferView& view);

protected:
    void reject() override;  // Escape and the close box: Cancel

private:
    QLineEdit* edit(int id);
    void setText(int id, const QString& text);

    std::function<void()> onCancel_;
    QProgressBar* basicBar_;
    QProgressBar* extBar_;
};

}  // namespace tpx::admin
