#pragma once

#include <QDialog>

namespace tpx::admin {

// "About TpxAdmin" (dialog 100).
class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

// The program icon, drawn rather than loaded so the program needs no image files.
QIcon programIcon();

}  // namespace tpx::admin
