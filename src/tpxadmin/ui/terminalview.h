// The terminal view (control 2000): shows the terminal text of the shell and passes typed
// characters on; it never inserts what is typed (the switch's echo shows it).
#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <string>

#include "tpxadmin/shell/terminalbuffer.h"

namespace tpx::admin {

class CTerminalView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CTerminalView(QWidget* parent = nullptr);

    // Mirrors one edit of the terminal text; `full` is the text after the edit.
    void applyEdit(const TerminalEdit& edit, const std::string& full);
    // The view's text in the terminal's own form (line breaks as CR LF).
    static QString render(std::string_view text);

    std::function<void(unsigned code)> onTyped;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::size_t shown_ = 0;  // length of the terminal text the view shows
};

}  // namespace tpx::admin
