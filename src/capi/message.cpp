#include "capi/message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tpx::capi {

namespace {

using P = Param;

constexpr std::array<ParamInfo, kParamCount> kParams = {{
    {"Controller/PLCI/NCCI", Kind::U32},
    {"AdditionalInfo", Kind::Composite},
    {"B1configuration", Kind::Struct},
    {"B1protocol", Kind::U16},
    {"B2configuration", Kind::Struct},
    {"B2protocol", Kind::U16},
    {"B3configuration", Kind::Struct},
    {"B3protocol", Kind::U16},
    {"BC", Kind::Struct},
    {"BChannelinformation", Kind::Struct},
    {"BProtocol", Kind::Composite},
    {"CalledPartyNumber", Kind::Struct},
    {"CalledPartySubaddress", Kind::Struct},
    {"CallingPartyNumber", Kind::Struct},
    {"CallingPartySubaddress", Kind::Struct},
    {"CIPmask", Kind::U32},
    {"CIPmask2", Kind::U32},
    {"CIPValue", Kind::U16},
    {"Class", Kind::U32},
    {"ConnectedNumber", Kind::Struct},
    {"ConnectedSubaddress", Kind::Struct},
    {"Data", Kind::U32},
    {"DataHandle", Kind::U16},
    {"DataLength", Kind::U16},
    {"FacilityConfirmationParameter", Kind::Struct},
    {"Facilitydataarray", Kind::Struct},
    {"FacilityIndicationParameter", Kind::Struct},
    {"FacilityRequestParameter", Kind::Struct},
    {"FacilityResponseParameters", Kind::Struct},
    {"FacilitySelector", Kind::U16},
    {"Flags", Kind::U16},
    {"Function", Kind::U32},
    {"HLC", Kind::Struct},
    {"Info", Kind::U16},
    {"InfoElement", Kind::Struct},
    {"InfoMask", Kind::U32},
    {"InfoNumber", Kind::U16},
    {"Keypadfacility", Kind::Struct},
    {"LLC", Kind::Struct},
    {"ManuData", Kind::Struct},
    {"ManuID", Kind::U32},
    {"NCPI", Kind::Struct},
    {"Reason", Kind::U16},
    {"Reason_B3", Kind::U16},
    {"Reject", Kind::U16},
    {"Useruserdata", Kind::Struct},
}};
static_assert(kParams.size() == kParamCount);

constexpr Param kBProtocol[] = {P::B1protocol, P::B2protocol, P::B3protocol,
                                P::B1configuration, P::B2configuration, P::B3configuration};
constexpr Param kAdditionalInfo[] = {P::BChannelinformation, P::Keypadfacility, P::Useruserdata,
                                     P::Facilitydataarray};

// Parameter lists. CONNECT_REQ and CONNECT_RESP end after BProtocol.
constexpr Param kAdrOnly[] = {P::ControllerPlciNcci};
constexpr Param kAdrInfo[] = {P::ControllerPlciNcci, P::Info};
constexpr Param kAdrAddInfo[] = {P::ControllerPlciNcci, P::AdditionalInfo};
constexpr Param kAdrNcpi[] = {P::ControllerPlciNcci, P::NCPI};
constexpr Param kConnectReq[] = {P::ControllerPlciNcci, P::CIPValue, P::CalledPartyNumber, P::CallingPartyNumber,
                                 P::CalledPartySubaddress, P::CallingPartySubaddress, P::BProtocol};
constexpr Param kConnectInd[] = {P::ControllerPlciNcci, P::CIPValue, P::CalledPartyNumber, P::CallingPartyNumber,
                                 P::CalledPartySubaddress, P::CallingPartySubaddress, P::BC, P::LLC, P::HLC,
                                 P::AdditionalInfo};
constexpr Param kConnectResp[] = {P::ControllerPlciNcci, P::Reject, P::BProtocol};
constexpr Param kConnectActiveInd[] = {P::ControllerPlciNcci, P::ConnectedNumber, P::ConnectedSubaddress, P::LLC};
constexpr Param kDisconnectInd[] = {P::ControllerPlciNcci, P::Reason};
constexpr Param kListenReq[] = {P::ControllerPlciNcci, P::InfoMask, P::CIPmask, P::CIPmask2,
                                P::CallingPartyNumber, P::CallingPartySubaddress};
constexpr Param kInfoReq[] = {P::ControllerPlciNcci, P::CalledPartyNumber, P::AdditionalInfo};
constexpr Param kInfoInd[] = {P::ControllerPlciNcci, P::InfoNumber, P::InfoElement};
constexpr Param kSelectB[] = {P::ControllerPlciNcci, P::BProtocol};
constexpr Param kFacilityReq[] = {P::ControllerPlciNcci, P::FacilitySelector, P::FacilityRequestParameter};
constexpr Param kFacilityConf[] = {P::ControllerPlciNcci, P::Info, P::FacilitySelector,
                                   P::FacilityConfirmationParameter};
constexpr Param kFacilityInd[] = {P::ControllerPlciNcci, P::FacilitySelector, P::FacilityIndicationParameter};
constexpr Param kFacilityResp[] = {P::ControllerPlciNcci, P::FacilitySelector, P::FacilityResponseParameters};
constexpr Param kConnectB3Resp[] = {P::ControllerPlciNcci, P::Reject, P::NCPI};
constexpr Param kDisconnectB3Ind[] = {P::ControllerPlciNcci, P::Reason_B3, P::NCPI};
constexpr Param kDataB3Params[] = {P::ControllerPlciNcci, P::Data, P::DataLength, P::DataHandle, P::Flags};
constexpr Param kDataB3Conf[] = {P::ControllerPlciNcci, P::DataHandle, P::Info};
constexpr Param kDataB3Resp[] = {P::ControllerPlciNcci, P::DataHandle};

struct MessageInfo {
    std::uint8_t command;
    std::uint8_t subcommand;
    std::span<const Param> params;
};

constexpr MessageInfo kMessages[] = {
    {kAlert, kReq, kAdrAddInfo},
    {kAlert, kConf, kAdrInfo},
    {kConnect, kReq, kConnectReq},
    {kConnect, kConf, kAdrInfo},
    {kConnect, kInd, kConnectInd},
    {kConnect, kResp, kConnectResp},
    {kConnectActive, kInd, kConnectActiveInd},
    {kConnectActive, kResp, kAdrOnly},
    {kDisconnect, kReq, kAdrAddInfo},
    {kDisconnect, kConf, kAdrInfo},
    {kDisconnect, kInd, kDisconnectInd},
    {kDisconnect, kResp, kAdrOnly},
    {kListen, kReq, kListenReq},
    {kListen, kConf, kAdrInfo},
    {kInfo, kReq, kInfoReq},
    {kInfo, kConf, kAdrInfo},
    {kInfo, kInd, kInfoInd},
    {kInfo, kResp, kAdrOnly},
    {kSelectBProtocol, kReq, kSelectB},
    {kSelectBProtocol, kConf, kAdrInfo},
    {kFacility, kReq, kFacilityReq},
    {kFacility, kConf, kFacilityConf},
    {kFacility, kInd, kFacilityInd},
    {kFacility, kResp, kFacilityResp},
    {kConnectB3, kReq, kAdrNcpi},
    {kConnectB3, kConf, kAdrInfo},
    {kConnectB3, kInd, kAdrNcpi},
    {kConnectB3, kResp, kConnectB3Resp},
    {kConnectB3Active, kInd, kAdrNcpi},
    {kConnectB3Active, kResp, kAdrOnly},
    {kDisconnectB3, kReq, kAdrNcpi},
    {kDisconnectB3, kConf, kAdrInfo},
    {kDisconnectB3, kInd, kDisconnectB3Ind},
    {kDisconnectB3, kResp, kAdrOnly},
    {kDataB3, kReq, kDataB3Params},
    {kDataB3, kConf, kDataB3Conf},
    {kDataB3, kInd, kDataB3Params},
    {kDataB3, kResp, kDataB3Resp},
    {kResetB3, kReq, kAdrNcpi},
    {kResetB3, kConf, kAdrInfo},
    {kResetB3, kInd, kAdrNcpi},
    {kResetB3, kResp, kAdrOnly},
    {kConnectB3T90Active, kInd, kAdrNcpi},
    {kConnectB3T90Active, kResp, kAdrOnly},
};

struct InfoText {
    std::uint16_t code;
    const char* text;
};
constexpr InfoText kInfoTexts[] = {
    {0x0001, "NCPI not supported by current protocol, NCPI ignored"},
    {0x0002, "Flags not supported by current protocol, flags ignored"},
    {0x0003, "Alert already sent by another application"},
    {0x1001, "Too many applications"},
    {0x1002, "Logical block size to small, must be at least 128 Bytes"},
    {0x1003, "Buffer exceeds 64 kByte"},
    {0x1004, "Message buffer size too small, must be at least 1024 Bytes"},
    {0x1005, "Max. number of logical connections not supported"},
    {0x1006, "Reserved"},
    {0x1007, "The message could not be accepted because of an internal busy condition"},
    {0x1008, "OS resource error (no memory ?)"},
    {0x1009, "CAPI not installed"},
    {0x1109, "CAPI not installed"},
    {0x100A, "Controller does not support external equipment"},
    {0x110A, "Controller does not support external equipment"},
    {0x100B, "Controller does only support external equipment"},
    {0x110B, "Controller does only support external equipment"},
    {0x1101, "Illegal application number"},
    {0x1102, "Illegal command or subcommand or message length less than 12 bytes"},
    {0x1103, "The message could not be accepted because of a queue full condition !! The error code does not imply that CAPI cannot receive messages directed to another controller, PLCI or NCCI"},
    {0x1104, "Queue is empty"},
    {0x1105, "Queue overflow, a message was lost !! This indicates a configuration error. The only recovery from this error is to perform a CAPI_RELEASE"},
    {0x1106, "Unknown notification parameter"},
    {0x1107, "The Message could not be accepted because of an internal busy condition"},
    {0x1108, "OS Resource error (no memory ?)"},
    {0x2001, "Message not supported in current state"},
    {0x2002, "Illegal Controller / PLCI / NCCI"},
    {0x2003, "Out of PLCI"},
    {0x2004, "Out of NCCI"},
    {0x2005, "Out of LISTEN"},
    {0x2006, "Out of FAX resources (protocol T.30)"},
    {0x2007, "Illegal message parameter coding"},
    {0x3001, "B1 protocol not supported"},
    {0x3002, "B2 protocol not supported"},
    {0x3003, "B3 protocol not supported"},
    {0x3004, "B1 protocol parameter not supported"},
    {0x3005, "B2 protocol parameter not supported"},
    {0x3006, "B3 protocol parameter not supported"},
    {0x3007, "B protocol combination not supported"},
    {0x3008, "NCPI not supported"},
    {0x3009, "CIP Value unknown"},
    {0x300A, "Flags not supported (reserved bits)"},
    {0x300B, "Facility not supported"},
    {0x300C, "Data length not supported by current protocol"},
    {0x300D, "Reset procedure not supported by current protocol"},
    {0x3301, "Protocol error layer 1 (broken line or B-channel removed by signalling protocol)"},
    {0x3302, "Protocol error layer 2"},
    {0x3303, "Protocol error layer 3"},
    {0x3304, "Another application got that call"},
    {0x3311, "Connecting not successful (remote station is no FAX G3 machine)"},
    {0x3312, "Connecting not successful (training error)"},
    {0x3313, "Disconnected before transfer (remote station does not support transfer mode, e.g. resolution)"},
    {0x3314, "Disconnected during transfer (remote abort)"},
    {0x3315, "Disconnected during transfer (remote procedure error, e.g. unsuccessful repetition of T.30 commands)"},
    {0x3316, "Disconnected during transfer (local tx data underrun)"},
    {0x3317, "Disconnected during transfer (local rx data overflow)"},
    {0x3318, "Disconnected during transfer (local abort)"},
    {0x3319, "Illegal parameter coding (e.g. SFF coding error)"},
    {0x3481, "Unallocated (unassigned) number"},
    {0x3482, "No route to specified transit network"},
    {0x3483, "No route to destination"},
    {0x3486, "Channel unacceptable"},
    {0x3487, "Call awarded and being delivered in an established channel"},
    {0x3490, "Normal call clearing"},
    {0x3491, "User busy"},
    {0x3492, "No user responding"},
    {0x3493, "No answer from user (user alerted)"},
    {0x3495, "Call rejected"},
    {0x3496, "Number changed"},
    {0x349A, "Non-selected user clearing"},
    {0x349B, "Destination out of order"},
    {0x349C, "Invalid number format"},
    {0x349D, "Facility rejected"},
    {0x349E, "Response to STATUS ENQUIRY"},
    {0x349F, "Normal, unspecified"},
    {0x34A2, "No circuit / channel available"},
    {0x34A6, "Network out of order"},
    {0x34A9, "Temporary failure"},
    {0x34AA, "Switching equipment congestion"},
    {0x34AB, "Access information discarded"},
    {0x34AC, "Requested circuit / channel not available"},
    {0x34AF, "Resources unavailable, unspecified"},
    {0x34B1, "Quality of service unavailable"},
    {0x34B2, "Requested facility not subscribed"},
    {0x34B9, "Bearer capability not authorized"},
    {0x34BA, "Bearer capability not presently available"},
    {0x34BF, "Service or option not available, unspecified"},
    {0x34C1, "Bearer capability not implemented"},
    {0x34C2, "Channel type not implemented"},
    {0x34C5, "Requested facility not implemented"},
    {0x34C6, "Only restricted digital information bearer capability is available"},
    {0x34CF, "Service or option not implemented, unspecified"},
    {0x34D1, "Invalid call reference value"},
    {0x34D2, "Identified channel does not exist"},
    {0x34D3, "A suspended call exists, but this call identity does not"},
    {0x34D4, "Call identity in use"},
    {0x34D5, "No call suspended"},
    {0x34D6, "Call having the requested call identity has been cleared"},
    {0x34D8, "Incompatible destination"},
    {0x34DB, "Invalid transit network selection"},
    {0x34DF, "Invalid message, unspecified"},
    {0x34E0, "Mandatory information element is missing"},
    {0x34E1, "Message type non-existent or not implemented"},
    {0x34E2, "Message not compatible with call state or message type non-existent or not implemented"},
    {0x34E3, "Information element non-existent or not implemented"},
    {0x34E4, "Invalid information element contents"},
    {0x34E5, "Message not compatible with call state"},
    {0x34E6, "Recovery on timer expiry"},
    {0x34EF, "Protocol error, unspecified"},
    {0x34FF, "Interworking, unspecified"},
};

std::size_t idx(Param p) { return static_cast<std::size_t>(p); }

// --- encoding ---------------------------------------------------------------------------------

void encodeParam(const CapiMessage& m, Param p, Bytes& out) {
    switch (paramInfo(p).kind) {
        case Kind::U16: appendLe16(out, static_cast<std::uint16_t>(m.get(p))); return;
        case Kind::U32:
            appendLe16(out, static_cast<std::uint16_t>(m.get(p)));
            appendLe16(out, static_cast<std::uint16_t>(m.get(p) >> 16));
            return;
        case Kind::Struct: {
            const Bytes& s = m.structOf(p);
            if (s.empty()) out.push_back(0x00);
            else out.insert(out.end(), s.begin(), s.end());
            return;
        }
        case Kind::Composite: {
            if (m.mark(p) == CapiMessage::kDefault) {
                out.push_back(0x00);
                return;
            }
            const std::size_t at = out.size();
            out.push_back(0);  // the length, known once the members are written
            for (Param sub : compositeMembers(p)) encodeParam(m, sub, out);
            const std::size_t n = out.size() - at - 1;
            if (n <= 254) {
                out[at] = static_cast<std::uint8_t>(n);
            } else {
                // Too long for a length byte: 0xFF and a 16-bit length in front of the content.
                const std::uint8_t esc[3] = {0xFF, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(at) + 1, esc + 1, esc + 3);
                out[at] = 0xFF;
            }
            return;
        }
    }
}

// --- decoding ---------------------------------------------------------------------------------

// The length of the struct at `pos` including its length field, or nullopt when it runs
// past `end`.
std::optional<std::size_t> structSpan(ByteView b, std::size_t pos, std::size_t end) {
    if (pos >= end) return std::nullopt;
    if (b[pos] != 0xFF) {
        const std::size_t n = 1 + b[pos];
        return pos + n <= end ? std::optional(n) : std::nullopt;
    }
    auto len = readLe16(b, pos + 1);
    if (!len || pos + 3 > end) return std::nullopt;
    const std::size_t n = 3 + *len;
    return pos + n <= end ? std::optional(n) : std::nullopt;
}

bool decodeParam(ByteView b, std::size_t& pos, std::size_t end, Param p, CapiMessage& m) {
    switch (paramInfo(p).kind) {
        case Kind::U16: {
            if (pos + 2 > end) return false;
            m.set(p, *readLe16(b, pos));
            pos += 2;
            return true;
        }
        case Kind::U32: {
            if (pos + 4 > end) return false;
            m.set(p, *readLe32(b, pos));
            pos += 4;
            return true;
        }
        case Kind::Struct: {
            auto n = structSpan(b, pos, end);
            if (!n) return false;
            m.setStructWire(p, Bytes(b.begin() + static_cast<std::ptrdiff_t>(pos),
                                     b.begin() + static_cast<std::ptrdiff_t>(pos + *n)));
            pos += *n;
            return true;
        }
        case Kind::Composite: {
            auto n = structSpan(b, pos, end);
            if (!n) return false;
            if (b[pos] == 0x00) {
                m.setMark(p, CapiMessage::kDefault);
                pos += 1;
                return true;
            }
            m.setMark(p, CapiMessage::kCompose);
            std::size_t inner = pos + (b[pos] == 0xFF ? 3 : 1);
            const std::size_t innerEnd = pos + *n;
            for (Param sub : compositeMembers(p))
                if (!decodeParam(b, inner, innerEnd, sub, m)) return false;
            pos = innerEnd;
            return true;
        }
    }
    return false;
}

void hexInto(std::string& out, unsigned v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", digits, v);
    out += buf;
}

}  // namespace

const ParamInfo& paramInfo(Param p) { return kParams[idx(p)]; }

std::span<const Param> compositeMembers(Param p) {
    if (p == Param::BProtocol) return kBProtocol;
    if (p == Param::AdditionalInfo) return kAdditionalInfo;
    return {};
}

void CapiMessage::setStruct(Param p, ByteView content) {
    Bytes w;
    if (content.size() < 0xFF) {
        w.push_back(static_cast<std::uint8_t>(content.size()));
    } else {
        w.push_back(0xFF);
        appendLe16(w, static_cast<std::uint16_t>(content.size()));
    }
    w.insert(w.end(), content.begin(), content.end());
    structs[static_cast<std::size_t>(p)] = std::move(w);
}

void CapiMessage::header(std::uint16_t app, std::uint8_t cmd, std::uint8_t sub, std::uint16_t number,
                         std::uint32_t addr) {
    appId = app;
    command = cmd;
    subcommand = sub;
    messageNumber = number;
    set(Param::ControllerPlciNcci, addr);
}

ByteView structContent(const Bytes& wire) {
    if (wire.empty()) return {};
    if (wire[0] == 0xFF) return wire.size() >= 3 ? ByteView(wire).subspan(3) : ByteView();
    return ByteView(wire).subspan(1);
}

std::optional<std::span<const Param>> parameterList(std::uint8_t command, std::uint8_t subcommand) {
    for (const auto& m : kMessages)
        if (m.command == command && m.subcommand == subcommand) return m.params;
    return std::nullopt;
}

Bytes encode(const CapiMessage& m) {
    Bytes out(8, 0);
    if (auto list = parameterList(m.command, m.subcommand))
        for (Param p : *list) encodeParam(m, p, out);
    writeLe16(out, 0, static_cast<std::uint16_t>(out.size()));
    writeLe16(out, 2, m.appId);
    out[4] = m.command;
    out[5] = m.subcommand;
    writeLe16(out, 6, m.messageNumber);
    return out;
}

bool decode(ByteView wire, ByteView data, CapiMessage& m) {
    m.clear();
    auto total = readLe16(wire, 0);
    if (!total || *total < 8 || *total > wire.size()) return false;
    m.length = *total;
    m.appId = *readLe16(wire, 2);
    m.command = wire[4];
    m.subcommand = wire[5];
    m.messageNumber = *readLe16(wire, 6);
    auto list = parameterList(m.command, m.subcommand);
    if (!list) {
        // A message without a parameter list (MANUFACTURER): its address is still read.
        if (auto a = readLe32(wire, 8); a && *total >= 12) m.set(Param::ControllerPlciNcci, *a);
        return true;
    }
    std::size_t pos = 8;
    for (Param p : *list)
        if (!decodeParam(wire, pos, *total, p, m)) return false;
    if (m.command == kDataB3 && (m.subcommand == kReq || m.subcommand == kInd)) {
        const std::size_t n = std::min<std::size_t>(m.get(Param::DataLength), data.size());
        m.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return true;
}

const char* Decode_Command(unsigned command) {
    switch (command & 0xFF) {
        case 0x01: return "ALERT";
        case 0x02: return "CONNECT";
        case 0x03: return "CONNECT_ACTIVE";
        case 0x04: return "DISCONNECT";
        case 0x05: return "LISTEN";
        case 0x08: return "INFO";
        case 0x41: return "SELECT_B_PROTOCOL";
        case 0x80: return "FACILITY";
        case 0x82: return "CONNECT_B3";
        case 0x83: return "CONNECT_B3_ACTIVE";
        case 0x84: return "DISCONNECT_B3";
        case 0x86: return "DATA_B3";
        case 0x87: return "RESET_B3";
        case 0x88: return "CONNECT_B3_T90_ACTIVE";
        case 0xFF: return "MANUFACTURER";
        default: return "Error: Command undefined in function Decode_Command";
    }
}

const char* Decode_Sub(unsigned subcommand) {
    switch (subcommand & 0xFF) {
        case 0x80: return "REQ";
        case 0x81: return "CONF";
        case 0x82: return "IND";
        case 0x83: return "RESP";
        default: return "Error: Subcommand undefined in function Decode_Sub";
    }
}

const char* Decode_Info(unsigned info) {
    for (const auto& t : kInfoTexts)
        if (t.code == (info & 0xFFFF)) return t.text;
    return "No additional information";
}

std::string messageName(std::uint8_t command, std::uint8_t subcommand) {
    return std::string(Decode_Command(command)) + "_" + Decode_Sub(subcommand);
}

std::string renderBytes(ByteView bytes) {
    std::string out;
    bool inRun = false;
    for (std::uint8_t b : bytes) {
        const bool plain = std::isalnum(b) || b == ' ';
        if (plain) {
            if (inRun) out += '>';
            inRun = false;
            out += static_cast<char>(b);
        } else {
            out += inRun ? ' ' : '<';
            inRun = true;
            hexInto(out, b, 2);
        }
    }
    if (inRun) out += '>';
    return out;
}

std::string traceHeader(const CapiMessage& m, std::int64_t elapsedMs) {
    const long h = static_cast<long>(elapsedMs / 3600000);
    const long min = static_cast<long>(elapsedMs / 60000 % 60);
    const long s = static_cast<long>(elapsedMs / 1000 % 60);
    const long hs = static_cast<long>(elapsedMs % 1000 / 10);
    char buf[160];
    std::snprintf(buf, sizeof buf, "\n%-26s ID=%03d #0x%04x LEN=%04d     %02ld:%02ld:%02ld:%02ld\n",
                  messageName(m.command, m.subcommand).c_str(), m.appId, m.messageNumber, m.length, h, min, s, hs);
    return buf;
}

namespace {
void parameterLines(const CapiMessage& m, Param p, int depth, std::string& out) {
    const ParamInfo& info = paramInfo(p);
    char name[64];
    std::snprintf(name, sizeof name, "%*s%-*s", 2 + depth - 1, "", 32 - depth, std::string(info.name).c_str());
    out += name;
    char value[32];
    switch (info.kind) {
        case Kind::U16:
            std::snprintf(value, sizeof value, " = 0x%04x", m.get(p));
            out += value;
            break;
        case Kind::U32:
            if (p == Param::Data) {
                out += " = " + renderBytes(ByteView(m.data).first(std::min<std::size_t>(m.data.size(), m.get(Param::DataLength))));
            } else {
                std::snprintf(value, sizeof value, " = 0x%08lx", static_cast<unsigned long>(m.get(p)));
                out += value;
            }
            break;
        case Kind::Struct: {
            ByteView content = structContent(m.structOf(p));
            out += content.empty() ? " = default" : " = " + renderBytes(content);
            break;
        }
        case Kind::Composite:
            if (m.mark(p) == CapiMessage::kDefault) {
                out += " = default\n";
                return;
            }
            out += "\n";
            for (Param sub : compositeMembers(p)) parameterLines(m, sub, depth + 1, out);
            return;
    }
    out += "\n";
}
}  // namespace

std::string traceParameters(const CapiMessage& m) {
    std::string out;
    if (auto list = parameterList(m.command, m.subcommand))
        for (Param p : *list) parameterLines(m, p, 1, out);
    return out;
}

std::string traceInfoLines(const CapiMessage& m) {
    std::string out;
    char buf[512];
    for (auto [p, label] : {std::pair{Param::Info, "Info"}, std::pair{Param::Reason, "Reason"},
                            std::pair{Param::Reason_B3, "Reason_B3"}}) {
        if (const unsigned v = m.get(p)) {
            std::snprintf(buf, sizeof buf, "  %s 0x%04X: %s\n", label, v, Decode_Info(v));
            out += buf;
        }
    }
    return out;
}

}  // namespace tpx::capi
