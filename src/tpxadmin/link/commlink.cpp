#include "tpxadmin/link/commlink.h"

#include <cstdio>

#include "common/files.h"

namespace tpx::admin {

namespace {
constexpr std::string_view kSerial = "(L)";
constexpr std::string_view kIsdnSide = "(R)";
constexpr int kWriteTimeoutMs = 1000;
}  // namespace

void waitTenths(EventLoop& loop, int n) {
    bool fired = false;
    const std::int64_t start = loop.calendarSeconds();
    loop.setTimer(kTimerWait, n * 100, [&] { fired = true; });
    auto done = [&] { return fired || loop.calendarSeconds() - start >= 2; };
    // The calendar second is looked at every 50 ms; the timer ends the wait by itself.
    while (!loop.waitUntil(done, 50)) {
    }
    loop.killTimer(kTimerWait);
}

CCommLink::CCommLink(EventLoop& loop, DeviceOpener& opener, CommLinkHost& host,
                     Transcript& transcript, std::filesystem::path home)
    : loop_(loop),
      opener_(opener),
      host_(host),
      transcript_(transcript),
      home_(std::move(home)),
      initCommands_(initCommandList(settings_.initCommand)) {}

CCommLink::~CCommLink() {
    if (device_) device_->close();
    if (isdn_) isdn_->close();
}

std::filesystem::path CCommLink::settingsPath() const { return pathForWrite(home_, kSettingsFile); }

bool CCommLink::loadSettings() {
    auto path = findFile(home_, kSettingsFile);
    if (!path) return false;
    auto text = readFile(*path);
    if (!text) return false;
    bool read = parseSettingsFile(*text, settings_);
    initCommands_ = initCommandList(settings_.initCommand);
    return read;
}

void CCommLink::saveSettings() {
    initCommands_ = initCommandList(settings_.initCommand);
    // Replaced in one step: a failed write leaves the old file, never a half-written one.
    std::error_code ec;
    std::filesystem::path path = settingsPath();
    std::filesystem::create_directories(path.parent_path(), ec);
    SysStatus st = writeFileAtomically(path, formatSettingsFile(settings_));
    if (!st) host_.showFileError(st);
}

void CCommLink::fail() {
    serialOpen_ = false;
    if (device_) device_->close();
    device_.reset();
    transcript_.note(kSerial, "Connection Failed.");
}

bool CCommLink::openSerial() {
    if (serialOpen_) return true;
    openError_ = SysStatus(EIO, "open " + portName(settings_.portIndex));
    device_ = opener_.open(settings_.portIndex, &openError_);
    if (!device_) return false;  // no transcript line: nothing was opened
    device_->purge();

    SerialParams params;
    if (!toSerialParams(settings_, params)) openError_ = SysStatus(EINVAL, "configure " + device_->name());
    else openError_ = device_->configure(params);
    if (!openError_) {
        fail();
        return false;
    }
    // Flow control none: RTS simply on. CTS/RTS: the driver drives RTS.
    if (settings_.flowControl != 1) device_->setRts(true);

    serialOpen_ = true;
    openError_ = device_->startReading([this](ByteView chunk) { onChunk(chunk); },
                                       [this](int error) { onLost(error); });
    if (!openError_) {
        fail();
        return false;
    }
    device_->setDtr(true);
    if (settings_.linkType != kDirect && !settings_.initCommand.empty()) {
        sendBlock(asBytes(settings_.initCommand));
        sendByte(0x0D);
    }
    transcript_.note(kSerial, "Connection Success.");
    host_.linkStateChanged();
    return true;
}

bool CCommLink::closeSerial() {
    if (!serialOpen_) return true;
    if (settings_.linkType != kDirect) {
        sendBlock(asBytes(settings_.escapeCommand));
        waitTenths(loop_, 20);
        sendBlock(asBytes(settings_.hangupCommand));
        sendByte(0x0D);
        waitTenths(loop_, 10);
    }
    serialOpen_ = false;
    device_->stopReading();
    device_->setDtr(false);
    device_->purge();
    device_->close();
    device_.reset();
    transcript_.note(kSerial, "Connection closed.");
    host_.linkStateChanged();
    return true;
}

bool CCommLink::dialIsdn(const std::string& number) {
    if (isdnRunning_) return true;
    isdnRunning_ = true;
    isdn_ = opener_.dialIsdn(number, &dialCode_);
    if (!isdn_) {
        transcript_.note(kIsdnSide, "Connection Failed. (" + std::to_string(dialCode_) + ")");
        isdnRunning_ = false;  // the opener has closed isdnlink again
        host_.linkStateChanged();
        return false;
    }
    const SysStatus started = isdn_->startReading([this](ByteView chunk) { onIsdnChunk(chunk); },
                                                  [this](int code) {
                                                      transcript_.note(kIsdnSide, "Read Error(" + std::to_string(code) + ")");
                                                  });
    if (!started) isdnRunning_ = false;
    transcript_.note(kIsdnSide, isdnRunning_ ? "Connection Success." : "Connection Failed(Thread).");
    host_.linkStateChanged();
    return isdnRunning_;
}

bool CCommLink::closeIsdn() {
    if (!isdn_) {
        isdnRunning_ = false;
        return true;
    }
    if (isdn_->closeLink() != 0) return false;  // isdnlink refused: still up
    isdnRunning_ = false;
    isdn_.reset();
    host_.linkStateChanged();
    return true;
}

void CCommLink::onIsdnChunk(ByteView chunk) {
    if (!isdnRunning_) return;
    transcript_.received(kIsdnSide, chunk);
    route(chunk);
}

bool CCommLink::sendBlock(ByteView bytes) {
    if (settings_.linkType == kIsdn) {
        if (!isdnRunning_ || !isdn_) return false;
        const bool ok = isdn_->writeAll(bytes, kWriteTimeoutMs).ok();
        transcript_.sent(kIsdnSide, bytes);
        return ok;
    }
    if (!serialOpen_ || !device_) return false;
    if (bytes.empty()) return true;
    if (!device_->writeAll(bytes, kWriteTimeoutMs)) return false;
    transcript_.sent(kSerial, bytes);
    return true;
}

bool CCommLink::sendByte(std::uint8_t byte) {
    if (settings_.linkType == kIsdn) {
        if (!isdnRunning_ || !isdn_) return false;
        const bool ok = isdn_->writeAll(ByteView(&byte, 1), kWriteTimeoutMs).ok();
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        transcript_.sentText(kIsdnSide, hex);  // a single byte: no blank behind it
        return ok;
    }
    return sendBlock(ByteView(&byte, 1));
}

void CCommLink::setConsumer(int mode, Consumer consumer) {
    if (mode >= 0 && mode < static_cast<int>(consumers_.size())) consumers_[mode] = std::move(consumer);
}

void CCommLink::route(ByteView chunk) {
    int mode = receiveMode_;
    if (mode < 0 || mode >= static_cast<int>(consumers_.size())) mode = kModeTerminal;
    if (consumers_[mode]) consumers_[mode](chunk);
}

void CCommLink::onChunk(ByteView chunk) {
    if (!serialOpen_) return;
    transcript_.received(kSerial, chunk);
    route(chunk);
}

void CCommLink::onLost(int error) {
    // The line is gone (device unplugged, the far end of a pseudo-terminal closed): show it
    // once; the port stays open until the user closes it.
    host_.appendLinkNote("<CE-" + std::to_string(error) + ">");
}

}  // namespace tpx::admin
