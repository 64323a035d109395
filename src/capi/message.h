// CAPI 2.0 messages: the record with one member per parameter, the per-message parameter
// lists, the wire encoding (little-endian, structs with a length byte or the 0xFF escape,
// composites marked compose or default), the names of commands, subcommands and messages,
// the Info/Reason texts, and the text of a message trace.
//
// One descriptor table (parameters with their names and kinds; messages with their names
// and parameter lists) drives the encoder, the decoder and the trace printer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace tpx::capi {

// In the standard's alphabetical order.
enum class Param : std::uint8_t {
    ControllerPlciNcci, AdditionalInfo, B1configuration, B1protocol, B2configuration, B2protocol,
    B3configuration, B3protocol, BC, BChannelinformation, BProtocol, CalledPartyNumber,
    CalledPartySubaddress, CallingPartyNumber, CallingPartySubaddress, CIPmask, CIPmask2, CIPValue,
    Class, ConnectedNumber, ConnectedSubaddress, Data, DataHandle, DataLength,
    FacilityConfirmationParameter, Facilitydataarray, FacilityIndicationParameter,
    FacilityRequestParameter, FacilityResponseParameters, FacilitySelector, Flags, Function, HLC, Info,
    InfoElement, InfoMask, InfoNumber, Keypadfacility, LLC, ManuData, ManuID, NCPI, Reason, Reason_B3,
    Reject, Useruserdata,
    Count
};
inline constexpr std::size_t kParamCount = static_cast<std::size_t>(Param::Count);

enum class Kind : std::uint8_t { U16, U32, Struct, Composite };

struct ParamInfo {
    std::string_view name;  // as the trace prints it
    Kind kind;
};
const ParamInfo& paramInfo(Param p);
// The sub-parameters of a composite, in wire order (empty for other parameters).
std::span<const Param> compositeMembers(Param p);

// Commands and subcommands.
enum Command : std::uint8_t {
    kAlert = 0x01, kConnect = 0x02, kConnectActive = 0x03, kDisconnect = 0x04, kListen = 0x05,
    kInfo = 0x08, kSelectBProtocol = 0x41, kFacility = 0x80, kConnectB3 = 0x82,
    kConnectB3Active = 0x83, kDisconnectB3 = 0x84, kDataB3 = 0x86, kResetB3 = 0x87,
    kConnectB3T90Active = 0x88, kManufacturer = 0xFF,
};
enum Subcommand : std::uint8_t { kReq = 0x80, kConf = 0x81, kInd = 0x82, kResp = 0x83 };

// The message record, cleared before each use. Integers and struct/composite members are
// kept per parameter; a struct is held in wire form (length byte or 0xFF escape, content),
// empty meaning missing; a composite holds its mark (0 compose, 1 default).
struct CapiMessage {
    static constexpr std::uint8_t kCompose = 0;
    static constexpr std::uint8_t kDefault = 1;

    std::uint16_t length = 0;  // total length of a decoded message
    std::uint16_t appId = 0;
    std::uint8_t command = 0;
    std::uint8_t subcommand = 0;
    std::uint16_t messageNumber = 0;
    std::array<std::uint32_t, kParamCount> ints{};
    std::array<Bytes, kParamCount> structs{};
    std::array<std::uint8_t, kParamCount> marks{};
    // The DATA_B3 payload that "Data" stands for (the wire's 32-bit field carries no address
    // that means anything in another process).
    Bytes data;

    void clear() { *this = CapiMessage{}; }
    std::uint32_t get(Param p) const { return ints[static_cast<std::size_t>(p)]; }
    void set(Param p, std::uint32_t v) { ints[static_cast<std::size_t>(p)] = v; }
    const Bytes& structOf(Param p) const { return structs[static_cast<std::size_t>(p)]; }
    // `content` without its length: the wire form is made here.
    void setStruct(Param p, ByteView content);
    void setStructWire(Param p, Bytes wire) { structs[static_cast<std::size_t>(p)] = std::move(wire); }
    std::uint8_t mark(Param p) const { return marks[static_cast<std::size_t>(p)]; }
    void setMark(Param p, std::uint8_t m) { marks[static_cast<std::size_t>(p)] = m; }
    std::uint32_t address() const { return get(Param::ControllerPlciNcci); }
    void header(std::uint16_t app, std::uint8_t cmd, std::uint8_t sub, std::uint16_t number, std::uint32_t addr);
};

// The content of a struct in wire form (after its length); empty for a missing one.
ByteView structContent(const Bytes& wire);

// The parameter list of a message, or nullopt for a message the tables do not know
// (MANUFACTURER, or codes the standard does not define).
std::optional<std::span<const Param>> parameterList(std::uint8_t command, std::uint8_t subcommand);

// Wire form. Members the message does not carry are ignored.
Bytes encode(const CapiMessage& m);
// Decodes `wire` (with the DATA_B3 payload, when there is one, in `data`). False when a
// length runs past the message; the record then holds what was read before.
bool decode(ByteView wire, ByteView data, CapiMessage& m);

const char* Decode_Command(unsigned command);
const char* Decode_Sub(unsigned subcommand);
const char* Decode_Info(unsigned info);
// "CONNECT_B3_ACTIVE_IND" and the like.
std::string messageName(std::uint8_t command, std::uint8_t subcommand);

// Letters, digits and the blank as they are; runs of other bytes as "<80 0a>".
std::string renderBytes(ByteView bytes);

// The header line of a message trace for `m` taken `elapsedMs` after the program started.
std::string traceHeader(const CapiMessage& m, std::int64_t elapsedMs);
// The parameter lines of a message trace.
std::string traceParameters(const CapiMessage& m);
// "  Info 0x%04X: %s\n", then Reason and Reason_B3 likewise, for those that are not zero.
std::string traceInfoLines(const CapiMessage& m);

}  // namespace tpx::capi
