#include "tpxadmin/session/adminsession.h"

#include "tpxadmin/session/models.h"

namespace tpx::admin {

namespace {
constexpr std::string_view kWord = "WORD: ";
constexpr std::string_view kCanceled = "Access Canceled!";
constexpr std::string_view kDefaultPassword = "tovrix\r";
constexpr std::size_t kIdentLength = 13;
// How often a wait looks at the calendar clock when no byte comes.
constexpr std::int64_t kClockLookMs = 50;
}  // namespace

Bytes passwordKeyCodes(std::string_view typed) {
    Bytes codes;
    for (char c : typed.substr(0, 4)) {
        if (c >= '1' && c <= '9') codes.push_back(static_cast<std::uint8_t>(c - '0'));
        else if (c == '0') codes.push_back(10);
        else if (c == '*') codes.push_back(11);
        else if (c == '#') codes.push_back(12);
    }
    return codes;
}

void LoginRing::put(ByteView bytes) {
    for (std::uint8_t b : bytes) {
        buf_[write_] = b;
        write_ = (write_ + 1) % kSize;
    }
}

std::uint8_t LoginRing::take() {
    std::uint8_t b = buf_[read_];
    read_ = (read_ + 1) % kSize;
    return b;
}

AdminSession::AdminSession(EventLoop& loop, CCommLink& link, SessionHost& host)
    : loop_(loop), link_(link), host_(host) {
    link_.setConsumer(kModeLogin, [this](ByteView chunk) { ring_.put(chunk); });
    link_.setConsumer(kModeIdentify, [this](ByteView chunk) { captureIdentification(chunk); });
}

bool AdminSession::start() {
    link_.setReceiveMode(kModeLogin);
    ring_.clear();
    if (!login()) return false;
    if (waitAcknowledgement() != AckResult::Success) return false;
    identify();
    return true;
}

bool AdminSession::login() {
    auto typed = host_.askPassword();
    if (!typed) return false;
    values_.typedPassword = *typed;
    const Bytes keys = passwordKeyCodes(*typed);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (runAttempt() != Attempt::Word) continue;
        if (!typed->empty()) {
            link_.sendBlock(keys);
            link_.sendByte(0x0D);
        } else {
            link_.sendBlock(asBytes(kDefaultPassword));
        }
        waitTenths(loop_, 1);
        return true;
    }
    host_.showMessage(27);
    return false;
}

AdminSession::Attempt AdminSession::runAttempt() {
    const std::int64_t start = loop_.calendarSeconds();
    link_.sendByte(0x0D);
    // Two matches run side by side over the same bytes.
    std::string word, canceled;
    bool inWord = false, inCanceled = false;
    for (;;) {
        if (ring_.empty()) {
            if (loop_.calendarSeconds() - start >= kAttemptSeconds) return Attempt::Ended;
            loop_.waitUntil([this] { return !ring_.empty(); }, kClockLookMs);
            continue;
        }
        const char c = static_cast<char>(ring_.take());
        bool mayStartWord = true;
        if (inWord) {
            word.push_back(c);
            if (word.size() == 2 && c != 'O') {
                inWord = false;  // not "WO": dropped, and this byte may begin a new match
            } else {
                mayStartWord = false;
                if (word.size() == kWord.size()) return word == kWord ? Attempt::Word : Attempt::Ended;
            }
        }
        if (mayStartWord && c == 'W') {
            inWord = true;
            word = "W";
        }
        if (inCanceled) {
            canceled.push_back(c);
            if (canceled.size() == kCanceled.size()) {
                if (canceled == kCanceled) return Attempt::Ended;
                inCanceled = false;
            }
        } else if (c == 'A') {
            inCanceled = true;
            canceled = "A";
        }
    }
}

std::optional<std::uint8_t> AdminSession::readAckByte() {
    const std::int64_t start = loop_.calendarSeconds();
    while (ring_.empty()) {
        if (loop_.calendarSeconds() - start >= kAckSeconds) return std::nullopt;
        loop_.waitUntil([this] { return !ring_.empty(); }, kClockLookMs);
    }
    return ring_.take();
}

AckResult AdminSession::waitAcknowledgement() {
    std::string collected;
    bool collecting = false;
    for (;;) {
        auto b = readAckByte();
        if (!b) {
            host_.showMessage(27);
            return AckResult::NoAnswer;
        }
        if (*b == 0xF2) return AckResult::Success;
        if (*b == 0xF3) {
            host_.showMessage(28);
            return AckResult::Refused;
        }
        if (collecting) {
            collected.push_back(static_cast<char>(*b));
            if (collected.size() == 6) {
                if (collected.compare(0, 5, "SORRY") == 0) {
                    host_.showMessage(29);
                    return AckResult::Sorry;
                }
                collecting = false;
            }
        } else if (*b == 'S') {
            collecting = true;
            collected = "S";
        }
    }
}

void AdminSession::captureIdentification(ByteView chunk) {
    if (identTimedOut_) return;
    for (std::uint8_t b : chunk) {
        if (ident_.size() == kIdentLength) break;  // bytes behind the reply are not ours
        ident_.push_back(b);
    }
    if (ident_.size() < kIdentLength) {
        loop_.setTimer(kTimerWait, kIdentifyMs, [this] { identTimedOut_ = true; });
        return;
    }
    values_.model = static_cast<std::int8_t>(ident_[0]);
    values_.version.assign(ident_.begin() + 1, ident_.begin() + 6);
    values_.extensionMemory = std::string(ident_.begin() + 7, ident_.begin() + 11) == "MEMU";
    values_.nation = static_cast<std::uint16_t>(ident_[11] * 256 + ident_[12]);
    if (values_.model == 2 && compareVersions(values_.version, "4.0Di", 5) == 0) values_.model = 18;
    link_.setReceiveMode(kModeTerminal);
}

bool AdminSession::identify() {
    ident_.clear();
    identTimedOut_ = false;
    link_.setReceiveMode(kModeIdentify);
    link_.sendByte(0xFD);
    loop_.setTimer(kTimerWait, kIdentifyMs, [this] { identTimedOut_ = true; });
    host_.setWaitCursor(true);
    loop_.waitUntil([this] { return identTimedOut_ || link_.receiveMode() == kModeTerminal; },
                    EventLoop::kForever);
    loop_.killTimer(kTimerWait);
    const bool answered = link_.receiveMode() == kModeTerminal && !identTimedOut_;
    if (answered) {
        host_.setStatusText(statusBarName(values_.model));
    } else {
        link_.setReceiveMode(kModeTerminal);
        identTimedOut_ = true;  // a late rest of the reply is not taken
        host_.setStatusText("TPX560 assumed");
        values_.version = "4.0Aa";
        values_.nation = 0xFFFF;
        values_.model = 2;
        values_.extensionMemory = false;
    }
    host_.setWaitCursor(false);
    return answered;
}

}  // namespace tpx::admin
