// A byte device that records what a program does with it, stamped with virtual time, for
// checking exact byte sequences and their pacing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/bytedevice.h"
#include "common/clock.h"

namespace tpx {

struct DeviceEvent {
    std::int64_t atMs;
    std::string what;  // "write 41 0d ", "configure", "dtr 1", "close", ...
};

class RecordingDevice : public ByteDevice {
public:
    RecordingDevice(const Clock& clock, std::vector<DeviceEvent>& log) : clock_(clock), log_(log) {}
    std::string name() const override { return "recorder"; }
    SysStatus configure(const SerialParams& p) override {
        params = p;
        note("configure");
        return refuseParams ? SysStatus(EINVAL, "configure") : SysStatus();
    }
    SysStatus writeAll(ByteView b, int) override {
        note("write " + hexList(b));
        if (onWrite && !failWrites) onWrite(b);
        return failWrites ? SysStatus(EIO, "write") : SysStatus();
    }
    void purge() override { note("purge"); }
    SysStatus setDtr(bool on) override { note(on ? "dtr 1" : "dtr 0"); return {}; }
    SysStatus setRts(bool on) override { note(on ? "rts 1" : "rts 0"); return {}; }
    SysStatus startReading(ChunkSink c, LostSink l) override {
        note("read");
        sink = std::move(c);
        lost = std::move(l);
        return {};
    }
    void stopReading() override {
        if (sink) note("stop");
        sink = nullptr;
    }
    void close() override {
        if (closed) return;
        stopReading();
        closed = true;
        note("close");
    }
    int closeLink() override {
        if (closeResult != 0) return closeResult;
        close();
        return 0;
    }
    int closeResult = 0;
    ~RecordingDevice() override { close(); }

    SerialParams params;
    ChunkSink sink;
    LostSink lost;
    // A scripted far end: sees every write.
    std::function<void(ByteView)> onWrite;
    bool refuseParams = false;
    bool failWrites = false;
    bool closed = false;

private:
    void note(std::string w) { log_.push_back({clock_.monotonicMs(), std::move(w)}); }
    const Clock& clock_;
    std::vector<DeviceEvent>& log_;
};

class RecordingOpener : public DeviceOpener {
public:
    explicit RecordingOpener(const Clock& clock) : clock_(clock) {}
    std::unique_ptr<ByteDevice> open(int portIndex, SysStatus* error) override {
        opened.push_back(portIndex);
        if (missing) {
            if (error) *error = SysStatus(ENOENT, "open");
            return nullptr;
        }
        auto d = std::make_unique<RecordingDevice>(clock_, log);
        d->refuseParams = refuseParams;
        d->failWrites = failWrites;
        d->onWrite = onWrite;
        last = d.get();
        return d;
    }
    std::unique_ptr<ByteDevice> dialIsdn(const std::string& number, int* code) override {
        dialled.push_back(number);
        *code = dialCode;
        if (dialCode != 0) return nullptr;
        auto d = std::make_unique<RecordingDevice>(clock_, log);
        d->closeResult = closeResult;
        last = d.get();
        return d;
    }
    // The writes only, as hex lists.
    std::vector<std::string> writes() const {
        std::vector<std::string> w;
        for (const auto& e : log)
            if (e.what.rfind("write ", 0) == 0) w.push_back(e.what.substr(6));
        return w;
    }

    std::vector<DeviceEvent> log;
    std::vector<int> opened;
    std::vector<std::string> dialled;
    int dialCode = 0;
    int closeResult = 0;
    RecordingDevice* last = nullptr;
    std::function<void(ByteView)> onWrite;
    bool missing = false;
    bool refuseParams = false;
    bool failWrites = false;

private:
    const Clock& clock_;
};

}  // namespace tpx
