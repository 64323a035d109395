// The CAPI message layer: puts and gets whole messages through the CAPI functions and writes
// the CAPI trace. `Trace_Printf` formats any text into the installed sink; while no sink is
// installed nothing is written.
//
// Two builds use it: isdnlink traces every message (header and Info/Reason lines) and always
// reports put and get errors; RemoteLyra traces messages, with parameter lines, and errors
// only at its most detailed trace level. The options say which.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

#include "common/capiapi.h"
#include "capi/message.h"
#include "common/clock.h"

namespace tpx::capi {

struct TraceOptions {
    bool messageTraces = true;   // header (and Info/Reason) line of every put and get
    bool parameterLines = false; // a line per parameter under each header
    bool errorLines = true;      // "CAPI_PUT_MESSAGE error 0x%04x\n" and the get's
    bool verbose = false;        // "Put CAPI message : %s.%s" and "Get CAPI message ..."

    static TraceOptions isdnlink() { return {true, false, true, false}; }
    // RemoteLyra's trace levels: 0 "Print all the details" (message traces with their
    // parameter lines, error lines, the verbose lines), 1 "Print all in a short form" (the
    // verbose lines only), 2 "Print minimum" (none of them).
    static TraceOptions remoteLyra(int traceLevel) {
        const bool detail = traceLevel == 0;
        return {detail, true, detail, traceLevel == 0 || traceLevel == 1};
    }
};

enum class TraceKind { Message = 1, Text = 2 };
// Receives each text: kind 1 with the message in wire form, kind 2 without.
using TraceSink = std::function<void(TraceKind kind, const std::string& text, ByteView message)>;

class CapiLayer {
public:
    // `clock` measures the elapsed time the message traces show, from construction.
    CapiLayer(CapiApi& api, const Clock& clock, TraceOptions options = TraceOptions::isdnlink());

    void installSink(TraceSink sink) { sink_ = std::move(sink); }
    void removeSink() { sink_ = nullptr; }
    TraceOptions& options() { return options_; }

    // Formats like printf and hands the text to the sink (kind 2).
    void Trace_Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Encodes and puts the message; returns CAPI's result (0 = accepted).
    unsigned Put_CAPI_Msg(const CapiMessage& m);
    // Gets one message for `appId` into `m`, waiting at most `waitMs` for one: 0 (decoded),
    // 0x1104 (nothing queued; nothing written) or another error. A message whose lengths
    // do not add up is reported as 0x1102 and not decoded.
    unsigned CAPI_GET_CMSG(CapiMessage& m, unsigned appId, int waitMs = 0);

    CapiApi& api() { return api_; }
    std::int64_t elapsedMs() const { return clock_.monotonicMs() - start_; }

    // The sink of the protocol files: the text, then the Info/Reason lines of the message.
    static std::string sinkText(TraceKind kind, const std::string& text, ByteView message);

private:
    void traceMessage(const CapiMessage& m, ByteView wire);

    CapiApi& api_;
    const Clock& clock_;
    std::int64_t start_;
    TraceOptions options_;
    TraceSink sink_;
};

}  // namespace tpx::capi
