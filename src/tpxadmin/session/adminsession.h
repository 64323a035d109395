// Start admin session: wake the switch's administration console, answer its password
// prompt with keypad key codes, wait for the acknowledgement and ask the switch who it is.
//
// The steps wait on the switch with nested waits of the event loop (link data and timers
// keep flowing, the user cannot act) and keep their time limits on the calendar clock:
//   login       two attempts; each sends CR and reads the console for at most 5 s, matching
//               "WORD: " and "Access Canceled!" side by side (receive mode 6, 512-byte ring)
//   acknowledge one byte at a time, 5 s each: 0xF2 yes, 0xF3 refused, "SORRY" busy
//   identify    0xFD, then a 13-byte reply (receive mode 1) with 3 s of silence allowed
//               between chunks; silence falls back to TPX560 defaults
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "tpxadmin/link/commlink.h"

namespace tpx::admin {

// What an identification tells (held by the main frame, read by every programming Part).
struct SessionValues {
    std::int8_t model = 2;
    std::string version;              // five characters, empty before the first identification
    std::uint16_t nation = 0xFFFF;
    std::string typedPassword;
    bool extensionMemory = false;     // the reply carried "MEMU"
};

class SessionHost {
public:
    virtual ~SessionHost() = default;
    // The password dialog; nullopt when cancelled.
    virtual std::optional<std::string> askPassword() = 0;
    virtual void showMessage(int n) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setWaitCursor(bool on) = 0;
};

enum class AckResult { Success, NoAnswer, Refused, Sorry };

// The key codes of a typed password: "1".."9" = 1..9, "0" = 10, "*" = 11, "#" = 12, for
// its first four characters. Characters that are no keypad key have no code and are left
// out, as are the missing ones of a shorter password.
Bytes passwordKeyCodes(std::string_view typed);

// The login capture ring: 512 bytes, written by the receive path, read by the login.
class LoginRing {
public:
    static constexpr std::size_t kSize = 512;
    void clear() { read_ = write_ = 0; }
    // No overrun check: a writer that laps the reader loses the unread bytes.
    void put(ByteView bytes);
    bool empty() const { return read_ == write_; }
    std::uint8_t take();

private:
    std::array<std::uint8_t, kSize> buf_{};
    std::size_t read_ = 0;
    std::size_t write_ = 0;
};

class AdminSession {
public:
    // Registers the consumers of receive modes 1 and 6 on `link`.
    AdminSession(EventLoop& loop, CCommLink& link, SessionHost& host);

    // Login, acknowledgement, identification. True when the switch accepted the login; the
    // receive mode is then 0 (the caller sets the one it needs).
    bool start();
    bool login();
    AckResult waitAcknowledgement();
    // True when the switch answered; false when the defaults were taken.
    bool identify();

    SessionValues& values() { return values_; }
    const SessionValues& values() const { return values_; }

    static constexpr int kAttemptSeconds = 5;
    static constexpr int kAckSeconds = 5;
    static constexpr int kIdentifyMs = 3000;

private:
    enum class Attempt { Word, Ended };
    Attempt runAttempt();
    std::optional<std::uint8_t> readAckByte();
    void captureIdentification(ByteView chunk);

    EventLoop& loop_;
    CCommLink& link_;
    SessionHost& host_;
    SessionValues values_;
    LoginRing ring_;
    Bytes ident_;
    bool identTimedOut_ = false;
};

}  // namespace tpx::admin
