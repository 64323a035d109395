#include "tpxadmin/programming/emulation.h"

#include "common/clock.h"
#include "tpxadmin/link/commlink.h"

namespace tpx::admin {

// Passes the decoder's notes on to whichever dialog is the programming dialog, posting the
// display-updated note.
class KeysetEmulation::Relay : public KeysetListener {
public:
    explicit Relay(KeysetEmulation& owner) : owner_(owner) {}
    void displayUpdated() override {
        auto alive = owner_.alive_;
        KeysetEmulation* owner = &owner_;
        owner_.loop_.post([alive, owner] {
            if (*alive && owner->dialog_) owner->dialog_->displayUpdated();
        });
    }
    void textReceived(std::string_view text) override {
        if (owner_.dialog_) owner_.dialog_->textReceived(text);
    }
    void errorTone() override {
        if (owner_.dialog_) owner_.dialog_->errorTone();
    }
    void lampChanged(int index, int state) override {
        if (owner_.dialog_) owner_.dialog_->lampChanged(index, state);
    }
    void allLampsOff() override {
        if (owner_.dialog_) owner_.dialog_->allLampsOff();
    }
    void beep(Beep kind) override {
        if (owner_.beep_) owner_.beep_(kind);
    }

private:
    KeysetEmulation& owner_;
};

KeysetEmulation::KeysetEmulation(EventLoop& loop, CCommLink& link, std::function<int()> model,
                                 const std::vector<std::string>& phrases,
                                 std::function<void(KeysetListener::Beep)> beep)
    : loop_(loop), link_(link), model_(std::move(model)), phrases_(phrases), beep_(std::move(beep)) {}

KeysetEmulation::~KeysetEmulation() { *alive_ = false; }

void KeysetEmulation::pause() { waitTenths(loop_, 5); }

void KeysetEmulation::send(ByteView bytes) {
    if (!bytes.empty()) link_.sendBlock(bytes);
}

void KeysetEmulation::sendKey(std::uint8_t code) {
    if (!link_.linkUp()) return;
    if (code != kKeyMonitor) pause();
    link_.sendByte(code);
}

void KeysetEmulation::sendFlexKey(int n) {
    if (!link_.linkUp()) return;
    pause();
    sendKey(static_cast<std::uint8_t>(12 + n));
}

void KeysetEmulation::sendProgramCode(std::string_view code) {
    if (!link_.linkUp() || code.size() < 2 || !dialKey(code[0]) || !dialKey(code[1])) return;
    pause();
    const std::uint8_t keys[] = {dialKey(code[0]), dialKey(code[1])};
    send(keys);
}

void KeysetEmulation::sendTwoDigits(int n) {
    if (!link_.linkUp() || n < 0 || n >= 100) return;
    pause();
    auto key = [](int d) { return static_cast<std::uint8_t>(d == 0 ? kKeyZero : d); };
    const std::uint8_t keys[] = {key(n / 10), key(n % 10)};
    send(keys);
}

void KeysetEmulation::sendDigits(std::string_view digits) {
    if (!link_.linkUp()) return;
    Bytes out;
    for (char c : digits) out.push_back(dialKey(c) ? dialKey(c) : static_cast<std::uint8_t>(c));
    send(out);
}

void KeysetEmulation::sendName(std::string_view name) {
    if (!link_.linkUp()) return;
    send(nameCodes(name, model_()));
}

void KeysetEmulation::sendHold() {
    if (!link_.linkUp()) return;
    pause();
    const std::uint8_t keys[] = {kKeyHold, kKeyHold};
    send(keys);
}

void KeysetEmulation::sendKeyText(std::string_view text) {
    if (!link_.linkUp()) return;
    send(keyTextCodes(text, model_()));
}

void KeysetEmulation::receive(ByteView block) {
    Relay relay(*this);
    display_.receive(block, phrases_, relay);
}

}  // namespace tpx::admin
