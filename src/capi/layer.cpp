#include "capi/layer.h"

#include <cstdio>

namespace tpx::capi {

CapiLayer::CapiLayer(CapiApi& api, const Clock& clock, TraceOptions options)
    : api_(api), clock_(clock), start_(clock.monotonicMs()), options_(options) {}

void CapiLayer::Trace_Printf(const char* format, ...) {
    if (!sink_) return;
    char buf[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    sink_(TraceKind::Text, buf, {});
}

void CapiLayer::traceMessage(const CapiMessage& m, ByteView wire) {
    if (!sink_ || !options_.messageTraces) return;
    std::string text = traceHeader(m, elapsedMs());
    if (options_.parameterLines) text += traceParameters(m);
    sink_(TraceKind::Message, text, wire);
}

unsigned CapiLayer::Put_CAPI_Msg(const CapiMessage& m) {
    if (options_.verbose) Trace_Printf("\nPut CAPI message : %s.%s\n", Decode_Command(m.command), Decode_Sub(m.subcommand));
    Bytes wire = encode(m);
    const bool dataReq = m.command == kDataB3 && m.subcommand == kReq;
    const unsigned r = api_.putMessage(m.appId, wire, dataReq ? ByteView(m.data) : ByteView());
    if (r != 0) {
        if (options_.errorLines) Trace_Printf("CAPI_PUT_MESSAGE error 0x%04x\n", r);
        return r;
    }
    CapiMessage traced = m;
    traced.length = static_cast<std::uint16_t>(wire.size());
    traceMessage(traced, wire);
    return r;
}

unsigned CapiLayer::CAPI_GET_CMSG(CapiMessage& m, unsigned appId, int waitMs) {
    Bytes wire, data;
    unsigned r = api_.getMessage(appId, wire, data, waitMs);
    if (r == kCapiQueueEmpty) return r;
    CapiMessage got;
    if (r == 0 && !decode(wire, data, got)) r = kCapiIllegalMessage;
    if (r != 0) {
        if (options_.errorLines) Trace_Printf("CAPI_GET_MESSAGE error 0x%04x\n", r);
        return r;
    }
    traceMessage(got, wire);
    m = std::move(got);
    return 0;
}

std::string CapiLayer::sinkText(TraceKind kind, const std::string& text, ByteView message) {
    if (kind != TraceKind::Message) return text;
    CapiMessage scratch;
    decode(message, {}, scratch);
    return text + traceInfoLines(scratch);
}

}  // namespace tpx::capi
