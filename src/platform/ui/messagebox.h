// Every modal question and notice of the Qt programs goes through here, so tests can answer
// them in advance and read what was shown instead of blocking on a window.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tpx {

class MessageBox {
public:
    enum Button { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
    enum Buttons { OkOnly, YesNo, OkCancel, YesNoCancel };
    enum Icon { NoIcon, Information, Warning, Critical, Question };

    struct Shown {
        QString title;
        QString text;
        Buttons buttons;
        Icon icon;
    };
    using Answerer = std::function<Button(const Shown&)>;

    static Button show(QWidget* parent, const QString& title, const QString& text,
                       Buttons buttons = OkOnly, Icon icon = NoIcon);

    // Tests: every box is passed to `answerer` instead of being shown. Null restores boxes.
    static void setAnswerer(Answerer answerer);
};

}  // namespace tpx
