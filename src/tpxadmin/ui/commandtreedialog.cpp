#include "tpxadmin/ui/commandtreedialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tpx::admin {

namespace {

// The two 16-pixel item images: a closed card for an item, an open one when selected.
QPixmap itemImage(bool selected) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(selected ? QColor(255, 226, 120) : QColor(236, 236, 236));
    p.drawRect(2, 1, 11, 13);
    p.setPen(selected ? QColor(150, 90, 0) : QColor(90, 110, 150));
    for (int y = 4; y <= 11; y += 3) p.drawLine(4, y, 11, y);
    return pm;
}

QIcon itemIcon() {
    QIcon icon;
    icon.addPixmap(itemImage(false), QIcon::Normal);
    icon.addPixmap(itemImage(true), QIcon::Selected);
    return icon;
}

}  // namespace

CCommandTreeDialog::CCommandTreeDialog(AdminShell& shell, bool connected, QWidget* parent) : QDialog(parent) {
    setObjectName("dialog133");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    treeWidget_ = new QTreeWidget(this);
    treeWidget_->setObjectName("tree");
    treeWidget_->setHeaderHidden(true);
    treeWidget_->setIconSize(QSize(16, 16));
    treeWidget_->setUniformRowHeights(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &CCommandTreeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCommandTreeDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(treeWidget_);
    layout->addWidget(buttons);
    resize(360, 480);

    tree_ = std::make_unique<CommandTree>(shell, static_cast<CommandTreeView&>(*this), connected);

    connect(treeWidget_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        tree_->selectionChanged(item ? item->text(0).toStdString() : std::string());
    });
    connect(treeWidget_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*) {
        if (!destroying_) tree_->doubleClicked();
    });
}

CCommandTreeDialog::~CCommandTreeDialog() = default;

QTreeWidgetItem* CCommandTreeDialog::itemForNode(int node) const {
    return node >= 0 && static_cast<std::size_t>(node) < items_.size() ? items_[static_cast<std::size_t>(node)] : nullptr;
}

void CCommandTreeDialog::setTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void CCommandTreeDialog::showTree(const std::vector<TreeNode>& nodes) {
    treeWidget_->clear();
    items_.clear();
    const QIcon icon = itemIcon();
    for (const TreeNode& n : nodes) {
        QTreeWidgetItem* item = n.parent < 0 ? new QTreeWidgetItem(treeWidget_)
                                             : new QTreeWidgetItem(items_[static_cast<std::size_t>(n.parent)]);
        item->setText(0, QString::fromStdString(n.text));
        item->setIcon(0, icon);
        items_.push_back(item);
    }
    if (!items_.empty()) items_.front()->setExpanded(true);
}

void CCommandTreeDialog::accept() {
    if (destroying_) return;
    QTreeWidgetItem* item = treeWidget_->currentItem();
    const bool hasChildren = item && item->childCount() > 0;
    if (tree_->ok(hasChildren) == CommandTree::OkAction::Toggle) item->setExpanded(!item->isExpanded());
}

void CCommandTreeDialog::reject() {
    if (!destroying_) tree_->requestClose();
}

void CCommandTreeDialog::closeEvent(QCloseEvent* event) {
    if (destroying_) {
        event->accept();
        return;
    }
    event->ignore();
    tree_->requestClose();
}

void CCommandTreeDialog::destroyWindow() {
    destroying_ = true;
    hide();
    deleteLater();
}

}  // namespace tpx::admin
