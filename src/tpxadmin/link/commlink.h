// CCommLink: TpxAdmin's one byte-stream link to a switch: a serial port (Direct or Modem
// link) or an ISDN data call through isdnlink. It owns the settings and their file, opens
// and closes the device with the exact port parameters and modem strings, dials and closes
// the ISDN link, routes every received chunk to the consumer of the current receive mode,
// and writes the transcript ("(L)" serial, "(R)" ISDN).
//
// Runs on the program's protocol thread. The device's reader thread only hands chunks over
// to the event loop; after a close nothing more is delivered.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>

#include "common/bytedevice.h"
#include "common/clock.h"
#include "tpxadmin/link/linksettings.h"
#include "tpxadmin/link/transcript.h"

namespace tpx::admin {

// Receive modes: which consumer gets received chunks.
enum ReceiveMode {
    kModeTerminal = 0,
    kModeIdentify = 1,
    kModeKeyset = 2,
    kModeTransfer = 3,
    kModeSpeedDial = 4,
    kModeStationName = 5,
    kModeLogin = 6,
};

// Window-timer ids of TpxAdmin (one namespace for the whole program).
enum TimerId {
    kTimerTransfer = 5121,
    kTimerKeysetReplica = 5122,
    kTimerSpeedDial = 5123,
    kTimerStationName = 5124,
    kTimerCommandTree = 5125,
    kTimerWait = 5126,
    kTimerSubFunction1 = 5127,
    kTimerSubFunction2 = 5128,
};

// The main frame's pacing primitive wait(n): n x 100 ms on timer 5126, ended early once the
// calendar clock has advanced by 2 seconds. Link data and timers keep being delivered.
void waitTenths(EventLoop& loop, int n);

class CommLinkHost {
public:
    virtual ~CommLinkHost() = default;
    // The standard file-error message box (settings file cannot be created).
    virtual void showFileError(const SysStatus& error) = 0;
    // A note of the link for the terminal (a read error shows "<CE-%u>").
    virtual void appendLinkNote(const std::string& text) = 0;
    // The link went up or down (menus follow).
    virtual void linkStateChanged() {}
};

class CCommLink {
public:
    using Consumer = std::function<void(ByteView chunk)>;

    // `home` is the program folder the settings file lives under.
    CCommLink(EventLoop& loop, DeviceOpener& opener, CommLinkHost& host, Transcript& transcript,
              std::filesystem::path home);
    ~CCommLink();

    LinkSettings& settings() { return settings_; }
    const LinkSettings& settings() const { return settings_; }
    const std::vector<std::string>& initCommands() const { return initCommands_; }

    // Settings file. load: true when read (fewer than four tokens counts as not read).
    bool loadSettings();
    void saveSettings();
    std::filesystem::path settingsPath() const;

    bool openSerial();
    bool closeSerial();
    // 1 = open serial, anything else = close serial.
    bool openOrClose(int what) { return what == 1 ? openSerial() : closeSerial(); }

    // The ISDN link: dial (true when the call is up and its reader runs) and close (false
    // when isdnlink refuses; the link then stays up).
    bool dialIsdn(const std::string& number);
    bool closeIsdn();
    int lastDialCode() const { return dialCode_; }

    bool serialOpen() const { return serialOpen_; }
    // Why the last open failed (the device's error, or the refused parameters).
    const SysStatus& lastOpenError() const { return openError_; }
    bool isdnRunning() const { return isdnRunning_; }
    bool linkUp() const { return serialOpen_ || isdnRunning(); }

    // Sends go to the ISDN link when the link type is ISDN, else to the serial device;
    // false when the write could not be made.
    bool sendBlock(ByteView bytes);
    bool sendByte(std::uint8_t byte);

    int receiveMode() const { return receiveMode_; }
    void setReceiveMode(int mode) { receiveMode_ = mode; }
    // Consumers by receive mode. Modes 3, 4 and 5 belong to the open working dialog: with no
    // consumer set, their chunks are dropped.
    void setConsumer(int mode, Consumer consumer);
    void clearConsumer(int mode) { setConsumer(mode, nullptr); }
    // Hands a chunk to the consumer of the current receive mode (unknown modes: terminal).
    void route(ByteView chunk);

private:
    void onChunk(ByteView chunk);
    void onLost(int error);
    void onIsdnChunk(ByteView chunk);
    void fail();

    EventLoop& loop_;
    DeviceOpener& opener_;
    CommLinkHost& host_;
    Transcript& transcript_;
    std::filesystem::path home_;
    LinkSettings settings_;
    std::vector<std::string> initCommands_;
    std::unique_ptr<ByteDevice> device_;
    bool serialOpen_ = false;
    SysStatus openError_;
    std::unique_ptr<ByteDevice> isdn_;
    bool isdnRunning_ = false;
    int dialCode_ = 0;
    int receiveMode_ = kModeTerminal;
    std::array<Consumer, 7> consumers_;
};

}  // namespace tpx::admin
