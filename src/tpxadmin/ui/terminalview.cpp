#include "tpxadmin/ui/terminalview.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>

namespace tpx::admin {

CTerminalView::CTerminalView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("2000");
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setFocusPolicy(Qt::StrongFocus);
}

QString CTerminalView::render(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            // A CR LF pair is one line break; a CR left alone by an erase shows nothing.
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                out.append(QChar('\n'));
                ++i;
            }
        } else if (c != '\n') {
            out.append(QChar::fromLatin1(c));
        }
    }
    return out;
}

void CTerminalView::applyEdit(const TerminalEdit& edit, const std::string& full) {
    if (edit.trimmed || full.empty() || edit.keep > shown_) {
        setPlainText(render(full));
    } else {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        if (edit.keep < shown_) {
            // Backspaces took characters away: cut back to the kept text.
            int keepPos = static_cast<int>(render(std::string_view(full).substr(0, edit.keep)).size());
            cursor.setPosition(keepPos, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        cursor.insertText(render(edit.insert));
    }
    shown_ = full.size();
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CTerminalView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QString text = event->text();
    if (text.size() == 1 && onTyped) {
        onTyped(text.at(0).unicode());
        return;
    }
    // Navigation keys scroll; nothing is ever inserted by typing.
    switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Up:
        case Qt::Key_Down:
            QPlainTextEdit::keyPressEvent(event);
            break;
        default:
            break;
    }
}

}  // namespace tpx::admin
