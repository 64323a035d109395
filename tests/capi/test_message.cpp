// The message layer against libcapi20's own encoder and decoder (capi_cmsg2message and
// capi_message2cmsg) as the external reference, and the Part's texts.
#include <capi20.h>
// capiutils.h maps this name onto its own function; here it is the layer's.
#undef CAPI_GET_CMSG
#include <gtest/gtest.h>

#include <cstring>

#include "capi/layer.h"
#include "capi/message.h"
#include "common/virtualloop.h"

using namespace tpx;
using namespace tpx::capi;

namespace {

Bytes reference(_cmsg& c) {
    unsigned char buf[2176] = {};
    capi_cmsg2message(&c, buf);
    return Bytes(buf, buf + (buf[0] | (buf[1] << 8)));
}

_cstruct refStruct(const Bytes& wire) { return wire.empty() ? nullptr : const_cast<unsigned char*>(wire.data()); }

// The same message for both encoders, with distinctive values in every field it carries.
struct Pair {
    CapiMessage ours;
    _cmsg ref;
    Bytes called = {4, 0x80, '0', '1', '2'};
    Bytes calling = {5, 0x00, 0x80, '9', '8', '7'};
    Bytes ncpi = {2, 0xAB, 0xCD};
    Bytes b3config = {3, 1, 2, 3};

    Pair(std::uint8_t cmd, std::uint8_t sub) {
        std::memset(&ref, 0, sizeof ref);
        capi_cmsg_header(&ref, 7, cmd, sub, 0x1234, 0x00010101);
        ours.header(7, cmd, sub, 0x1234, 0x00010101);
        auto both16 = [&](Param p, _cword& r, std::uint16_t v) { ours.set(p, v); r = v; };
        auto both32 = [&](Param p, _cdword& r, std::uint32_t v) { ours.set(p, v); r = v; };
        both16(Param::CIPValue, ref.CIPValue, 2);
        both16(Param::Reject, ref.Reject, 3);
        both16(Param::B1protocol, ref.B1protocol, 0);
        both16(Param::B2protocol, ref.B2protocol, 1);
        both16(Param::B3protocol, ref.B3protocol, 0);
        both16(Param::DataLength, ref.DataLength, 5);
        both16(Param::DataHandle, ref.DataHandle, 0x4242);
        both16(Param::Flags, ref.Flags, 0);
        both32(Param::InfoMask, ref.InfoMask, 8);
        both32(Param::CIPmask, ref.CIPmask, 0x10);
        both32(Param::CIPmask2, ref.CIPmask2, 0);
        ours.setStructWire(Param::CalledPartyNumber, called);
        ref.CalledPartyNumber = refStruct(called);
        ours.setStructWire(Param::CallingPartyNumber, calling);
        ref.CallingPartyNumber = refStruct(calling);
        ours.setStructWire(Param::NCPI, ncpi);
        ref.NCPI = refStruct(ncpi);
        ours.setStructWire(Param::B3configuration, b3config);
        ref.B3configuration = refStruct(b3config);
    }
};

}  // namespace

TEST(CapiEncoding, EqualsLibcapi20ForTheMessagesTheProgramsPut) {
    struct Case {
        const char* name;
        std::uint8_t cmd, sub;
    } same[] = {
        {"LISTEN_REQ", kListen, kReq},
        {"CONNECT_B3_REQ", kConnectB3, kReq},
        {"CONNECT_B3_RESP", kConnectB3, kResp},
        {"DISCONNECT_B3_REQ", kDisconnectB3, kReq},
        {"DATA_B3_RESP", kDataB3, kResp},
        {"CONNECT_ACTIVE_RESP", kConnectActive, kResp},
        {"CONNECT_B3_ACTIVE_RESP", kConnectB3Active, kResp},
        {"DISCONNECT_RESP", kDisconnect, kResp},
        {"DISCONNECT_B3_RESP", kDisconnectB3, kResp},
        {"INFO_RESP", kInfo, kResp},
    };
    for (const auto& c : same) {
        Pair p(c.cmd, c.sub);
        EXPECT_EQ(encode(p.ours), reference(p.ref)) << c.name;
    }
}

TEST(CapiEncoding, DiffersFromLibcapi20OnlyWhereItsNewerListsAddFields) {
    // libcapi20 follows a later edition of the standard: Additional Info has a fifth member
    // (Sending complete), DATA_B3_REQ a 64-bit data field, and B protocol a global
    // configuration behind which CONNECT_REQ/RESP go on. Ours end as the lists say.
    {
        Pair p(kAlert, kReq);
        Bytes ours = encode(p.ours), ref = reference(p.ref);
        EXPECT_EQ(ours, (Bytes{17, 0, 7, 0, 0x01, 0x80, 0x34, 0x12, 1, 1, 1, 0, 4, 0, 0, 0, 0}));
        ref.pop_back();  // its fifth member
        ref[12] = 4;
        ref[0] = 17;
        EXPECT_EQ(ours, ref);
    }
    {
        Pair p(kDisconnect, kReq);
        Bytes ours = encode(p.ours), ref = reference(p.ref);
        ref.pop_back();
        ref[12] = 4;
        ref[0] = 17;
        EXPECT_EQ(ours, ref);
    }
    {
        Pair p(kDataB3, kReq);
        Bytes ours = encode(p.ours), ref = reference(p.ref);
        ASSERT_EQ(ref.size(), 30u);
        EXPECT_EQ(Bytes(ref.begin() + 22, ref.end()), Bytes(8, 0));  // Data64
        ref.resize(22);
        ref[0] = 22;
        EXPECT_EQ(ours, ref);
    }
    {
        Pair p(kConnect, kReq);
        Bytes ours = encode(p.ours), ref = reference(p.ref);
        // Up to BProtocol's sub-parameters the two agree; ours stops after BProtocol.
        const std::size_t bprot = 8 + 4 + 2 + p.called.size() + p.calling.size() + 1 + 1;
        ASSERT_GT(ours.size(), bprot);
        EXPECT_EQ(Bytes(ours.begin() + 2, ours.begin() + static_cast<std::ptrdiff_t>(bprot)),
                  Bytes(ref.begin() + 2, ref.begin() + static_cast<std::ptrdiff_t>(bprot)));
        EXPECT_EQ(ours[bprot], 6 + 1 + 1 + 4);  // three protocols, two empty configs, B3 config
        EXPECT_EQ(ours.size(), bprot + 1 + ours[bprot]);
        EXPECT_EQ(ours[0], ours.size());
    }
}

TEST(CapiDecoding, ReadsWhatLibcapi20EncodesForEveryMessageReceived) {
    struct Case {
        std::uint8_t cmd, sub;
    } cases[] = {{kAlert, kConf},         {kConnect, kConf},       {kConnect, kInd},       {kConnectActive, kInd},
                 {kDisconnect, kConf},    {kDisconnect, kInd},     {kListen, kConf},       {kInfo, kConf},
                 {kInfo, kInd},           {kConnectB3, kConf},     {kConnectB3, kInd},     {kConnectB3Active, kInd},
                 {kDisconnectB3, kConf},  {kDisconnectB3, kInd},   {kDataB3, kConf},       {kDataB3, kInd},
                 {kFacility, kInd},       {kResetB3, kInd},        {kConnectB3T90Active, kInd}};
    for (const auto& c : cases) {
        SCOPED_TRACE(messageName(c.cmd, c.sub));
        _cmsg ref;
        std::memset(&ref, 0, sizeof ref);
        capi_cmsg_header(&ref, 3, c.cmd, c.sub, 0x55AA, 0x00020301);
        ref.Info = 0x3301;
        ref.Reason = 0x3490;
        ref.Reason_B3 = 0x3302;
        ref.CIPValue = 2;
        ref.DataLength = 3;
        ref.DataHandle = 0x0102;
        ref.InfoNumber = 0x0028;
        ref.FacilitySelector = 1;
        Bytes calling = {5, 0x00, 0x80, '5', '5', '5'};
        Bytes ncpi = {1, 0x7E};
        Bytes element = {2, 0x41, 0x42};
        ref.CallingPartyNumber = refStruct(calling);
        ref.NCPI = refStruct(ncpi);
        ref.InfoElement = refStruct(element);
        ref.FacilityIndicationParameter = refStruct(element);
        Bytes wire = reference(ref);
        CapiMessage m;
        ASSERT_TRUE(decode(wire, Bytes{1, 2, 3}, m));
        _cmsg back;
        std::memset(&back, 0, sizeof back);
        capi_message2cmsg(&back, wire.data());
        EXPECT_EQ(m.length, wire.size());
        EXPECT_EQ(m.appId, 3);
        EXPECT_EQ(m.command, c.cmd);
        EXPECT_EQ(m.subcommand, c.sub);
        EXPECT_EQ(m.messageNumber, 0x55AA);
        EXPECT_EQ(m.address(), back.adr.adrController);
        EXPECT_EQ(m.get(Param::Info), back.Info);
        EXPECT_EQ(m.get(Param::Reason), back.Reason);
        EXPECT_EQ(m.get(Param::Reason_B3), back.Reason_B3);
        EXPECT_EQ(m.get(Param::CIPValue), back.CIPValue);
        EXPECT_EQ(m.get(Param::DataLength), back.DataLength);
        EXPECT_EQ(m.get(Param::DataHandle), back.DataHandle);
        EXPECT_EQ(m.get(Param::InfoNumber), back.InfoNumber);
        auto sameStruct = [](const Bytes& ours, _cstruct theirs) {
            if (!theirs || theirs[0] == 0) return ours.empty() || ours == Bytes{0};
            return ours == Bytes(theirs, theirs + 1 + theirs[0]);
        };
        EXPECT_TRUE(sameStruct(m.structOf(Param::CallingPartyNumber), back.CallingPartyNumber));
        EXPECT_TRUE(sameStruct(m.structOf(Param::NCPI), back.NCPI));
        EXPECT_TRUE(sameStruct(m.structOf(Param::InfoElement), back.InfoElement));
        if (c.cmd == kDataB3 && c.sub == kInd) {
            EXPECT_EQ(m.data, (Bytes{1, 2, 3}));
        }
    }
}

TEST(CapiEncoding, CompositesComposeOrDefaultAndEscapeAt255) {
    CapiMessage m;
    m.header(1, kConnect, kResp, 0, 0x101);
    Bytes w = encode(m);
    // A cleared record composes BProtocol: three 16-bit zeros and three empty structs.
    EXPECT_EQ(w, (Bytes{24, 0, 1, 0, 2, 0x83, 0, 0, 1, 1, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CapiMessage alert;
    alert.header(1, kAlert, kReq, 0, 0x101);
    Bytes composed = encode(alert);
    EXPECT_EQ(Bytes(composed.begin() + 12, composed.end()), (Bytes{4, 0, 0, 0, 0}));
    alert.setMark(Param::AdditionalInfo, CapiMessage::kDefault);
    Bytes defaulted = encode(alert);
    EXPECT_EQ(Bytes(defaulted.begin() + 12, defaulted.end()), Bytes{0});

    for (std::size_t content : {254u, 255u}) {
        CapiMessage big;
        big.header(1, kConnect, kResp, 0, 0x101);
        // BProtocol holds 6 + 1 + 1 bytes besides B1configuration's wire form.
        big.setStruct(Param::B1configuration, Bytes(content - 8 - 1, 0x33));
        Bytes b = encode(big);
        if (content == 254) {
            EXPECT_EQ(b[14], 254);
            EXPECT_EQ(b.size(), 15u + 254u);
        } else {
            EXPECT_EQ(b[14], 0xFF);
            EXPECT_EQ(b[15], 255);
            EXPECT_EQ(b[16], 0);
            EXPECT_EQ(b.size(), 17u + 255u);
        }
        CapiMessage back;
        ASSERT_TRUE(decode(b, {}, back));
        EXPECT_EQ(back.mark(Param::BProtocol), CapiMessage::kCompose);
        EXPECT_EQ(structContent(back.structOf(Param::B1configuration)).size(), content - 9);
    }
}

TEST(CapiDecoding, LengthsThatRunPastTheMessageAreRefused) {
    CapiMessage m;
    m.header(1, kConnectB3, kInd, 0, 0x10101);
    m.setStruct(Param::NCPI, Bytes{1, 2, 3});
    Bytes w = encode(m);
    CapiMessage back;
    EXPECT_TRUE(decode(w, {}, back));
    w[12] = 9;  // NCPI claims more bytes than the message has
    EXPECT_FALSE(decode(w, {}, back));
    w[12] = 0xFF;  // an escape without room for its length
    EXPECT_FALSE(decode(w, {}, back));
    EXPECT_FALSE(decode(Bytes{7, 0, 1, 0}, {}, back));
    EXPECT_FALSE(decode(Bytes{40, 0, 1, 0, 0x82, 0x82, 0, 0, 1, 1, 1, 0, 0}, {}, back));  // total beyond the bytes
}

TEST(CapiTexts, NamesAndInfoTexts) {
    EXPECT_STREQ(Decode_Info(0x1104), "Queue is empty");
    EXPECT_STREQ(Decode_Info(0x3490), "Normal call clearing");
    EXPECT_STREQ(Decode_Info(0x0000), "No additional information");
    EXPECT_STREQ(Decode_Info(0x1109), "CAPI not installed");
    EXPECT_STREQ(Decode_Info(0x110B), "Controller does only support external equipment");
    EXPECT_STREQ(Decode_Info(0x34FF), "Interworking, unspecified");
    EXPECT_STREQ(Decode_Command(0x06), "Error: Command undefined in function Decode_Command");
    EXPECT_STREQ(Decode_Sub(0x84), "Error: Subcommand undefined in function Decode_Sub");
    EXPECT_STREQ(Decode_Command(0x186), "DATA_B3");  // only the low 8 bits count
    EXPECT_EQ(messageName(kConnectB3Active, kInd), "CONNECT_B3_ACTIVE_IND");
    EXPECT_EQ(renderBytes(Bytes{0x80, 0x31, 0x32}), "<80>12");
    EXPECT_EQ(renderBytes(Bytes{'A', 0x00, 0x0d, ' ', 'b', 0x7F}), "A<00 0d> b<7f>");
    EXPECT_EQ(renderBytes(Bytes{}), "");
}

TEST(CapiTrace, HeaderParametersAndInfoLines) {
    CapiMessage m;
    m.header(1, kConnect, kReq, 0x0003, 0x00000001);
    m.length = 27;
    m.set(Param::CIPValue, 2);
    m.setStructWire(Param::CalledPartyNumber, Bytes{5, 0x80, '0', '1', '2', '3'});
    EXPECT_EQ(traceHeader(m, 3723456),
              "\nCONNECT_REQ                ID=001 #0x0003 LEN=0027     01:02:03:45\n");
    std::string lines = traceParameters(m);
    EXPECT_NE(lines.find("  Controller/PLCI/NCCI            = 0x00000001\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("  CIPValue                        = 0x0002\n"), std::string::npos);
    EXPECT_NE(lines.find("  CalledPartyNumber               = <80>0123\n"), std::string::npos);
    EXPECT_NE(lines.find("  CallingPartyNumber              = default\n"), std::string::npos);
    EXPECT_NE(lines.find("  BProtocol                      \n"), std::string::npos);
    EXPECT_NE(lines.find("   B1protocol                     = 0x0000\n"), std::string::npos);
    EXPECT_NE(lines.find("   B3configuration                = default\n"), std::string::npos);

    CapiMessage d;
    d.header(1, kDisconnect, kInd, 0, 0x101);
    d.set(Param::Reason, 0x3490);
    EXPECT_EQ(traceInfoLines(d), "  Reason 0x3490: Normal call clearing\n");
    d.set(Param::Reason, 0);
    EXPECT_EQ(traceInfoLines(d), "");

    CapiMessage data;
    data.header(1, kDataB3, kInd, 0, 0x10101);
    data.set(Param::DataLength, 3);
    data.data = {0x02, 'A', 0x03};
    EXPECT_NE(traceParameters(data).find("  Data                            = <02>A<03>\n"), std::string::npos);
}

namespace {
struct FakeApi : CapiApi {
    unsigned isInstalled() override { return 0; }
    unsigned registerApplication(unsigned, unsigned, unsigned, unsigned, unsigned* a) override {
        *a = 1;
        return 0;
    }
    unsigned release(unsigned) override { return 0; }
    unsigned putMessage(unsigned, ByteView m, ByteView d) override {
        puts.push_back(Bytes(m.begin(), m.end()));
        putData.push_back(Bytes(d.begin(), d.end()));
        return putResult;
    }
    unsigned getMessage(unsigned, Bytes& m, Bytes& d, int) override {
        if (queue.empty()) return getResult;
        m = queue.front();
        d.clear();
        queue.erase(queue.begin());
        return 0;
    }
    unsigned getVersion(std::array<std::uint32_t, 4>&) override { return 0; }
    unsigned getProfile(unsigned, Profile&) override { return 0; }
    std::vector<Bytes> puts, putData, queue;
    unsigned putResult = 0, getResult = kCapiQueueEmpty;
};
}  // namespace

TEST(CapiLayer, PutAndGetWriteTheirTracesAndErrors) {
    VirtualLoop clock;
    FakeApi api;
    CapiLayer layer(api, clock);
    std::string file;
    std::vector<TraceKind> kinds;
    layer.installSink([&](TraceKind k, const std::string& t, ByteView msg) {
        kinds.push_back(k);
        file += CapiLayer::sinkText(k, t, msg);
    });
    CapiMessage got;
    EXPECT_EQ(layer.CAPI_GET_CMSG(got, 1), kCapiQueueEmpty);
    EXPECT_EQ(file, "");  // an empty queue writes nothing

    CapiMessage m;
    m.header(1, kDataB3, kReq, 0, 0x10101);
    m.set(Param::DataLength, 2);
    m.data = {0x41, 0x42};
    clock.advance(1500);
    EXPECT_EQ(layer.Put_CAPI_Msg(m), 0u);
    ASSERT_EQ(api.puts.size(), 1u);
    EXPECT_EQ(api.puts[0].size(), 22u);
    EXPECT_EQ(api.putData[0], (Bytes{0x41, 0x42}));
    EXPECT_EQ(file, "\nDATA_B3_REQ                ID=001 #0x0000 LEN=0022     00:00:01:50\n");
    EXPECT_EQ(kinds, std::vector<TraceKind>{TraceKind::Message});

    api.putResult = 0x1108;
    file.clear();
    EXPECT_EQ(layer.Put_CAPI_Msg(m), 0x1108u);
    EXPECT_EQ(file, "CAPI_PUT_MESSAGE error 0x1108\n");

    CapiMessage conf;
    conf.header(1, kConnect, kConf, 0, 0x101);
    conf.set(Param::Info, 0x2003);
    api.queue.push_back(encode(conf));
    file.clear();
    EXPECT_EQ(layer.CAPI_GET_CMSG(got, 1), 0u);
    EXPECT_EQ(got.get(Param::Info), 0x2003u);
    EXPECT_EQ(file, "\nCONNECT_CONF               ID=001 #0x0000 LEN=0014     00:00:01:50\n  Info 0x2003: Out of PLCI\n");

    api.getResult = 0x1101;
    file.clear();
    EXPECT_EQ(layer.CAPI_GET_CMSG(got, 1), 0x1101u);
    EXPECT_EQ(file, "CAPI_GET_MESSAGE error 0x1101\n");
    EXPECT_EQ(got.get(Param::Info), 0x2003u);  // the record is not touched

    layer.removeSink();
    layer.Trace_Printf("nothing %d", 1);
    EXPECT_EQ(file, "CAPI_GET_MESSAGE error 0x1101\n");

    // RemoteLyra's detailed level adds parameter lines; its short level writes only the verbose
    // line, its minimum nothing.
    layer.installSink([&](TraceKind k, const std::string& t, ByteView msg) { file += CapiLayer::sinkText(k, t, msg); });
    layer.options() = TraceOptions::remoteLyra(0);
    api.putResult = 0;
    file.clear();
    layer.Put_CAPI_Msg(m);
    EXPECT_NE(file.find("\nPut CAPI message : DATA_B3.REQ\n"), std::string::npos);
    EXPECT_NE(file.find("  Data                            = AB\n"), std::string::npos);
    layer.options() = TraceOptions::remoteLyra(1);
    file.clear();
    layer.Put_CAPI_Msg(m);
    EXPECT_EQ(file, "\nPut CAPI message : DATA_B3.REQ\n");
    layer.options() = TraceOptions::remoteLyra(2);
    file.clear();
    layer.Put_CAPI_Msg(m);
    EXPECT_EQ(file, "");
}
