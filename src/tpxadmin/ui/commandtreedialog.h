#pragma once

#include <QDialog>
#include <memory>

#include "tpxadmin/shell/commandtree.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace tpx::admin {

// Dialog 133 "COMMAND": the switch's administration programs as a tree, modeless. OK (or
// Enter) opens a group or starts a program; a double-click starts it; Cancel and the close
// box close the dialog unless a program's dialog is open.
class CCommandTreeDialog : public QDialog, private CommandTreeView {
    Q_OBJECT
public:
    CCommandTreeDialog(AdminShell& shell, bool connected, QWidget* parent = nullptr);
    ~CCommandTreeDialog() override;

    CommandTree& controller() { return *tree_; }
    QTreeWidget* treeWidget() const { return treeWidget_; }
    // The item that shows node `node` of the controller's tree.
    QTreeWidgetItem* itemForNode(int node) const;

public slots:
    void accept() override;  // OK and Enter
    void reject() override;  // Cancel, Escape, the close box

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setTitle(const std::string& title) override;
    void showTree(const std::vector<TreeNode>& nodes) override;
    void destroyWindow() override;

    QTreeWidget* treeWidget_;
    std::vector<QTreeWidgetItem*> items_;
    std::unique_ptr<CommandTree> tree_;
    bool destroying_ = false;
};

}  // namespace tpx::admin
