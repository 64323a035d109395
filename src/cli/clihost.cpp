#include "cli/clihost.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace tpx::cli {

namespace {
std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// A line from the terminal, echoed or not; nullopt without a terminal or at end of input.
std::optional<std::string> askTerminal(const std::string& prompt, bool echo) {
    if (!::isatty(STDIN_FILENO)) return std::nullopt;
    std::fprintf(stderr, "%s", prompt.c_str());
    termios old{};
    bool restore = false;
    if (!echo && ::tcgetattr(STDIN_FILENO, &old) == 0) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    std::string line;
    bool got = static_cast<bool>(std::getline(std::cin, line));
    if (restore) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputc('\n', stderr);
    }
    if (!got) return std::nullopt;
    return line;
}
}  // namespace

void CliHost::showText(const std::string& text) {
    if (progressShown_) {
        std::fputc('\n', stderr);
        progressShown_ = false;
    }
    lastText_ = trimmed(text);
    std::fprintf(stderr, "tpx: %s\n", lastText_.c_str());
}

void CliHost::showFileError(const SysStatus& e) {
    lastText_ = e.message();
    std::fprintf(stderr, "tpx: %s\n", lastText_.c_str());
}

void CliHost::setStatusText(const std::string& text) { status_ = text; }

void CliHost::terminalEdited(const admin::TerminalEdit& edit) {
    if (!showTerminal) return;
    if (edit.keep < shown_ && !edit.trimmed)
        for (std::size_t i = edit.keep; i < shown_; ++i) std::fputs("\b \b", stdout);
    for (char c : edit.insert)
        if (c != '\r') std::fputc(c, stdout);
    std::fflush(stdout);
    shown_ = edit.keep + edit.insert.size();
}

bool CliHost::askYesNo(const std::string& text) {
    if (yes_) return true;
    auto answer = askTerminal(trimmed(text) + " [y/N] ", true);
    return answer && !answer->empty() && (answer->at(0) == 'y' || answer->at(0) == 'Y');
}

std::optional<std::string> CliHost::askPassword() {
    if (password_) return password_;
    return askTerminal("Password: ", false);
}

void CliHost::progress(const admin::TransferView& v, bool force) {
    const std::int64_t now = clock ? clock->monotonicMs() : 0;
    if (!force && now - lastProgress_ < 250) return;
    lastProgress_ = now;
    using admin::TransferView;
    std::fprintf(stderr, "\r%s: basic %u/%u (%d%%)", v.title.c_str(), v.basicDone, v.basicTotal,
                 TransferView::percent(v.basicDone, v.basicTotal));
    if (v.extTotal > 0 || v.extDone > 0)
        std::fprintf(stderr, ", extension %u/%u (%d%%)", v.extDone, v.extTotal,
                     TransferView::percent(v.extDone, v.extTotal));
    std::fprintf(stderr, ", retry %d %-7s", v.attempts, v.status.c_str());
    progressShown_ = true;
}

void CliHost::transferDialogOpened(const admin::TransferView& view) {
    transferStart_ = transferEnd_ = clock ? clock->monotonicMs() : 0;
    progress(view, true);
}
void CliHost::transferViewChanged(const admin::TransferView& view) {
    // Every retry shows; the steady acknowledgements only now and then.
    const bool notable = view.status != "S_ACK" && view.status != "R_ACK" && !view.status.empty();
    progress(view, notable);
}
void CliHost::transferDialogClosed() {
    transferEnd_ = clock ? clock->monotonicMs() : 0;
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
}

}  // namespace tpx::cli
