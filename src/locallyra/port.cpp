#include "locallyra/port.h"

#include <cctype>
#include <cstdio>

namespace tpx::local {

int ReceiveRing::append(ByteView bytes) {
    int dropped = 0;
    for (std::uint8_t b : bytes) {
        if (length_ == kSize) {  // full: the oldest byte makes room
            head_ = (head_ + 1) % kSize;
            --length_;
            ++dropped;
        }
        rear_ = (rear_ + 1) % kSize;
        data_[static_cast<std::size_t>(rear_)] = b;
        ++length_;
    }
    appended_ += bytes.size();
    return dropped;
}

void ReceiveRing::take(int n) {
    n = std::min(n, length_);
    head_ = (head_ + n) % kSize;
    length_ -= n;
}

void ReceiveRing::clear() {
    length_ = 0;
    head_ = 0;
    rear_ = -1;
}

std::string ReceiveRing::hex() const {
    std::string out;
    char buf[4];
    for (int i = 0; i < length_; ++i) {
        std::snprintf(buf, sizeof buf, "%02x ", at(i));
        out += buf;
    }
    return out;
}

std::string blockContents(ByteView bytes, bool detail) {
    if (!detail || bytes.empty()) return "\n";
    auto alnum = [](std::uint8_t b) { return std::isalnum(b) != 0; };
    std::string out;
    char buf[8];
    if (alnum(bytes[0])) out += "<";
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        const bool nextAlnum = alnum(bytes[i + 1]);
        if (alnum(b)) {
            std::snprintf(buf, sizeof buf, "%c ", b);
            out += buf;
            if (!nextAlnum) out += "> ";
        } else {
            std::snprintf(buf, sizeof buf, "%02x ", b);
            out += buf;
            if (nextAlnum) out += "<";
        }
    }
    const std::uint8_t last = bytes.back();
    if (alnum(last)) std::snprintf(buf, sizeof buf, "%c>\n", last);
    else std::snprintf(buf, sizeof buf, "%02x\n", last);
    return out + buf;
}

LocalPort::LocalPort(EventLoop& loop, DeviceOpener& opener, upgrade::SessionTrace& trace)
    : loop_(loop), opener_(opener), trace_(trace) {}

LocalPort::~LocalPort() { close(); }

void LocalPort::stampLine(const char* operation) {
    const LocalTime t = loop_.localTime();
    trace_.protocol().printf("\n%02d:%02d:%02d <- %s()", t.hour, t.minute, t.second, operation);
}

void LocalPort::settingLines(const PortSettings& s) {
    upgrade::TraceFile& p = trace_.protocol();
    p.printf("    COM port   : COM%d\n", s.port);
    p.printf("    Baud rate  : %d\n", s.baud);
    p.printf("    Data bits  : %d\n", s.dataBits);
    p.printf("    Parity bit : %d\n", s.parity);
    p.printf("    Stop bit   : %d\n", s.stopCode == 2 ? 2 : 1);
}

bool LocalPort::OpenConnection(const PortSettings& s) {
    close();
    SysStatus error;
    device_ = opener_.open(s.port - 1, &error);
    if (!device_) return false;
    SerialParams params;
    params.baud = s.baud;
    params.dataBits = s.dataBits;
    params.parity = s.parity == 1 ? Parity::Odd : s.parity == 2 ? Parity::Even : Parity::None;
    params.stopBits = s.stopCode == 2 ? StopBits::Two : StopBits::One;
    device_->purge();
    if (!device_->configure(params).ok()) {
        device_->close();
        device_.reset();
        stampLine("OpenConnection");
        trace_.protocol().write("\n COM port open failed...\n");
        settingLines(s);
        return false;
    }
    connected_ = true;
    stampLine("OpenConnection");
    trace_.protocol().write("\n COM port open succeeded...\n");
    settingLines(s);
    ring_.clear();
    const SysStatus reading = device_->startReading([this](ByteView block) { onBlock(block); },
                                                    [this](int error) { onLost(error); });
    if (!reading.ok()) {
        connected_ = false;
        device_->close();
        device_.reset();
        return false;
    }
    device_->setRts(true);
    device_->setDtr(true);
    return true;
}

void LocalPort::close() {
    connected_ = false;
    if (!device_) return;
    device_->stopReading();
    device_->setDtr(false);
    device_->purge();
    device_->close();
    device_.reset();
}

bool LocalPort::WriteCommBlock(ByteView bytes) {
    if (!device_) return false;
    const bool ok = device_->writeAll(bytes, 5000).ok();
    stampLine("WriteCommBlock");
    upgrade::TraceFile& p = trace_.protocol();
    p.write(ok ? "\n Block has been written to COM port..." : "\n Write_Block to COM port Failed ...");
    p.printf("\n    Block Length (WRITE) : %d", static_cast<int>(bytes.size()));
    p.write("\n    Block Contents (WRITE) : ");
    p.write(blockContents(bytes, trace_.detail()));
    return ok;
}

void LocalPort::onBlock(ByteView block) {
    if (!connected_) return;
    const int dropped = ring_.append(block);
    auto traceTo = [&](upgrade::TraceFile& f) {
        const LocalTime t = loop_.localTime();
        f.printf("\n%02d:%02d:%02d <- %s()", t.hour, t.minute, t.second, "CommWatchProc");
        f.write("\n Data has been read...");
        f.printf("\n    Block Length (READ) : %d", static_cast<int>(block.size()));
        f.write("\n    Block Contents (READ) : ");
        f.write(blockContents(block, trace_.detail()));
    };
    traceTo(trace_.protocol());
    if (trace_.detail()) traceTo(trace_.currentFrame());
    if (dropped > 0) trace_.protocol().printf("\n Receive buffer full : %d oldest bytes dropped\n", dropped);
}

void LocalPort::onLost(int /*error*/) {
    stampLine("ReadCommBlock");
    upgrade::TraceFile& p = trace_.protocol();
    p.write("\n Read_Block Failed ...");
    p.printf("\n    Block Length (READ) : %d", 0);
    p.write("\n    Block Contents (READ) : ");
}

}  // namespace tpx::local
