#include "platform/ui/messagebox.h"

#include <QMessageBox>

namespace tpx {

namespace {
MessageBox::Answerer& answerer() {
    static MessageBox::Answerer a;
    return a;
}
}  // namespace

void MessageBox::setAnswerer(Answerer a) { answerer() = std::move(a); }

MessageBox::Button MessageBox::show(QWidget* parent, const QString& title, const QString& text,
                                    Buttons buttons, Icon icon) {
    if (answerer()) return answerer()(Shown{title, text, buttons, icon});
    QMessageBox::StandardButtons std;
    switch (buttons) {
        case OkOnly: std = QMessageBox::Ok; break;
        case YesNo: std = QMessageBox::Yes | QMessageBox::No; break;
        case OkCancel: std = QMessageBox::Ok | QMessageBox::Cancel; break;
        case YesNoCancel: std = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
        case NoIcon: break;
        case Information: qicon = QMessageBox::Information; break;
        case Warning: qicon = QMessageBox::Warning; break;
        case Critical: qicon = QMessageBox::Critical; break;
        case Question: qicon = QMessageBox::Question; break;
    }
    QMessageBox box(qicon, title, text, std, parent);
    switch (box.exec()) {
        case QMessageBox::Yes: return Yes;
        case QMessageBox::No: return No;
        case QMessageBox::Cancel: return Cancel;
        default: return Ok;
    }
}

}  // namespace tpx
