// The main frame's keyset: the key-sending operations (paced with the 500 ms pause so the
// switch can follow) and the receiving side that keeps the display and lamps and tells the
// programming dialog about them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tpxadmin/programming/keyset.h"

namespace tpx {
class EventLoop;
}

namespace tpx::admin {

class CCommLink;

class KeysetEmulation {
public:
    // `model` reads the session's model code (names depend on it); `phrases` the phrase table;
    // `beep` sounds a beep.
    KeysetEmulation(EventLoop& loop, CCommLink& link, std::function<int()> model,
                    const std::vector<std::string>& phrases, std::function<void(KeysetListener::Beep)> beep);
    ~KeysetEmulation();

    // Each does nothing while the link is down.
    void sendKey(std::uint8_t code);              // pause (not for MON), the code
    void sendFlexKey(int n);                      // pause, then key 12 + n
    void sendProgramCode(std::string_view code);  // two keypad characters
    void sendTwoDigits(int n);                    // 0..99
    void sendDigits(std::string_view digits);     // no pause
    void sendName(std::string_view name);         // character codes, no pause
    void sendHold();                              // pause, HOLD HOLD
    void sendKeyText(std::string_view text);      // all codes at once

    // Received blocks while the receive mode is keyset emulation.
    void receive(ByteView block);

    // The window that gets the notifications (nullptr: none). A display-updated note is
    // posted and reaches the dialog that is the programming dialog when it is delivered.
    void setProgrammingDialog(KeysetListener* dialog) { dialog_ = dialog; }
    KeysetListener* programmingDialog() const { return dialog_; }

    KeysetDisplay& display() { return display_; }
    const KeysetDisplay& display() const { return display_; }

private:
    class Relay;
    void pause();
    void send(ByteView bytes);

    EventLoop& loop_;
    CCommLink& link_;
    std::function<int()> model_;
    const std::vector<std::string>& phrases_;
    std::function<void(KeysetListener::Beep)> beep_;
    KeysetDisplay display_;
    KeysetListener* dialog_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tpx::admin
