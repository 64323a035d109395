#include "tpxadmin/ui/aboutdialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace tpx::admin {

QIcon programIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 70, 140));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 5, 5);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, "TPX");
    return QIcon(pm);
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("dialog100");
    setWindowTitle("About TpxAdmin");
    setMinimumWidth(340);
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel("TPXADMIN ", this));
    auto* version = new QLabel("QVMTR- A.0Cb", this);
    version->setObjectName("version");
    nameRow->addWidget(version);
    nameRow->addStretch();
    text->addLayout(nameRow);
    text->addWidget(new QLabel("Adiministration Application of TPX System", this));
    row->addLayout(text);
    top->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    top->addWidget(buttons);
}

}  // namespace tpx::admin
