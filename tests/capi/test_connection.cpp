// Connection control against a scripted CAPI: every put is recorded and decoded, and the
// test queues the confirmations and indications a controller would send.
#include <gtest/gtest.h>

#include <deque>

#include "capi/connection.h"
#include "common/virtualloop.h"

using namespace tpx;
using namespace tpx::capi;

namespace {

struct ScriptedCapi : CapiApi {
    unsigned isInstalled() override { return installed; }
    unsigned registerApplication(unsigned mb, unsigned c, unsigned b, unsigned s, unsigned* a) override {
        registered = {mb, c, b, s};
        *a = appId;
        return registerResult;
    }
    unsigned release(unsigned) override { return releaseResult; }
    unsigned putMessage(unsigned, ByteView m, ByteView d) override {
        CapiMessage msg;
        decode(m, d, msg);
        msg.data.assign(d.begin(), d.end());
        puts.push_back(msg);
        return putResult;
    }
    unsigned getMessage(unsigned, Bytes& m, Bytes& d, int) override {
        if (queue.empty()) return kCapiQueueEmpty;
        m = encode(queue.front());
        d = queue.front().data;
        queue.pop_front();
        return 0;
    }
    unsigned getVersion(std::array<std::uint32_t, 4>&) override { return 0; }
    unsigned getProfile(unsigned c, Profile& p) override {
        p.fill(0);
        if (c == 0) writeLe16(p, 0, static_cast<std::uint16_t>(channels.size()));
        else if (c <= channels.size()) writeLe16(p, 2, static_cast<std::uint16_t>(channels[c - 1]));
        return profileResult;
    }
    void push(std::uint8_t cmd, std::uint8_t sub, std::uint32_t addr, std::uint16_t number = 0,
              std::function<void(CapiMessage&)> fill = nullptr) {
        CapiMessage m;
        m.header(1, cmd, sub, number, addr);
        if (fill) fill(m);
        queue.push_back(m);
    }
    std::vector<std::string> putNames() const {
        std::vector<std::string> n;
        for (const auto& m : puts) n.push_back(messageName(m.command, m.subcommand));
        return n;
    }

    unsigned installed = 0, registerResult = 0, releaseResult = 0, putResult = 0, profileResult = 0, appId = 1;
    std::vector<int> channels = {2};
    std::array<unsigned, 4> registered{};
    std::vector<CapiMessage> puts;
    std::deque<CapiMessage> queue;
};

struct Events : ConnectionEvents {
    void stateChanged(int id, ConnState s) override { states.push_back({id, s}); }
    void dataArrived(int id, ByteView d, std::uint16_t h) override { data.push_back({id, Bytes(d.begin(), d.end()), h}); }
    struct Data {
        int id;
        Bytes bytes;
        std::uint16_t handle;
    };
    std::vector<std::pair<int, ConnState>> states;
    std::vector<Data> data;
};

struct ConnFixture : ::testing::Test {
    ConnFixture() : layer(api, clock), conns(layer, events, Flavour::IsdnLink) {
        layer.installSink([this](TraceKind, const std::string& t, ByteView) { trace += t; });
    }
    void drain() {
        while (!api.queue.empty()) conns.Handle_CAPI_Msg();
    }
    // Registers and places a call on slot 0, up to Connected.
    int connect() {
        EXPECT_EQ(conns.RegisterCAPI(), 1u);
        int& slot = conns.slot(0);
        EXPECT_EQ(conns.Connect_h(slot, "0123", 4, 0, 1, 0, {}), 0u);
        const int id = slot;
        api.push(kConnect, kConf, 0x101, static_cast<std::uint16_t>(id));
        api.push(kConnectActive, kInd, 0x101);
        api.push(kConnectB3, kConf, 0x10101);
        api.push(kConnectB3Active, kInd, 0x10101);
        drain();
        return id;
    }

    VirtualLoop clock;
    ScriptedCapi api;
    CapiLayer layer;
    Events events;
    CapiConnections conns;
    std::string trace;
};

}  // namespace

TEST(CapiConnect, CipValueAndCalledNumber) {
    EXPECT_EQ(CapiConnections::cipValueFor(4), 2);
    EXPECT_EQ(CapiConnections::cipValueFor(1), 0);
    EXPECT_EQ(CapiConnections::cipValueFor(0), 0);
    EXPECT_EQ(CapiConnections::cipValueFor(5), 0);
    EXPECT_EQ(CapiConnections::cipValueFor(0x80000000u), 31);
    EXPECT_EQ(CapiConnections::calledNumberStruct("0123"), (Bytes{0x05, 0x80, 0x30, 0x31, 0x32, 0x33}));
    EXPECT_EQ(CapiConnections::calledNumberStruct(""), Bytes{});
}

TEST_F(ConnFixture, RegistersWithTheFixedValuesAndListensOnEveryController) {
    api.channels = {2, 2};
    EXPECT_EQ(conns.RegisterCAPI(), 2u);
    EXPECT_EQ(api.registered, (std::array<unsigned, 4>{3072, 2, 7, 2048}));
    EXPECT_EQ(conns.ListenAll_h(0), 0u);
    ASSERT_EQ(api.puts.size(), 2u);
    for (unsigned c = 1; c <= 2; ++c) {
        const CapiMessage& l = api.puts[c - 1];
        EXPECT_EQ(messageName(l.command, l.subcommand), "LISTEN_REQ");
        EXPECT_EQ(l.address(), c);
        EXPECT_EQ(l.get(Param::InfoMask), 8u);
        EXPECT_EQ(l.get(Param::CIPmask), 0u);
        EXPECT_EQ(l.messageNumber, 0);
    }
    api.push(kListen, kConf, 1, 0, [](CapiMessage& m) { m.set(Param::Info, 0x2005); });
    drain();
    EXPECT_TRUE(conns.listenConfirmed);  // whatever its Info
    EXPECT_NE(trace.find("Error: Info != 0 in LISTEN_CONF in function Handle_Confirmation"), std::string::npos);
}

TEST_F(ConnFixture, RegistrationFailuresSayWhy) {
    struct Case {
        void (*setup)(ScriptedCapi&);
        const char* text;
    } cases[] = {
        {[](ScriptedCapi& a) { a.installed = 0x1009; }, "\nError: ISDN-driver not installed\n"},
        {[](ScriptedCapi& a) { a.channels = {}; }, "\nError: No ISDN-controller installed\n"},
        {[](ScriptedCapi& a) { a.profileResult = 0x1108; }, "CAPI_GET_PROFILE error \n"},
        {[](ScriptedCapi& a) { a.registerResult = 0x1008, a.appId = 0; },
         "\nError: registering the application in function RegisterCAPI, code: 1008\n"},
    };
    for (const auto& c : cases) {
        api = ScriptedCapi{};
        c.setup(api);
        trace.clear();
        EXPECT_EQ(conns.RegisterCAPI(), 0u);
        EXPECT_EQ(trace, c.text);
    }
    api = ScriptedCapi{};
    api.releaseResult = 0x1101;
    trace.clear();
    conns.ReleaseCAPI();
    EXPECT_EQ(trace, "Error: deregistering the application in function ReleaseCAPI, code: 0x1101\n");
}

TEST_F(ConnFixture, APlacedCallRunsThroughItsStatesAndCarriesData) {
    const int id = connect();
    EXPECT_EQ(id, 0);
    const CapiMessage& req = api.puts.at(0);
    EXPECT_EQ(messageName(req.command, req.subcommand), "CONNECT_REQ");
    EXPECT_EQ(req.messageNumber, id);
    EXPECT_EQ(req.address(), 1u);
    EXPECT_EQ(req.get(Param::CIPValue), 2u);
    EXPECT_EQ(req.structOf(Param::CalledPartyNumber), (Bytes{5, 0x80, '0', '1', '2', '3'}));
    EXPECT_TRUE(req.structOf(Param::CallingPartyNumber).empty() || req.structOf(Param::CallingPartyNumber) == Bytes{0});
    EXPECT_EQ(req.get(Param::B2protocol), 1u);
    std::vector<ConnState> seen;
    for (auto [i, s] : events.states) seen.push_back(s);
    EXPECT_EQ(seen, (std::vector<ConnState>{ConnState::D_ConnectPending, ConnState::D_Connected,
                                            ConnState::B_ConnectPending, ConnState::Connected}));
    EXPECT_TRUE(conns.connected);
    EXPECT_EQ(conns.entry(id).plci, 0x101);
    EXPECT_EQ(conns.entry(id).ncci, 0x10101);
    EXPECT_EQ(api.putNames(), (std::vector<std::string>{"CONNECT_REQ", "CONNECT_ACTIVE_RESP", "CONNECT_B3_REQ",
                                                         "CONNECT_B3_ACTIVE_RESP"}));

    api.puts.clear();
    EXPECT_EQ(conns.SendData_h(id, Bytes{0x02, 0x12, 0x03}, conns.nextDataHandle()), 0u);
    ASSERT_EQ(api.puts.size(), 1u);
    EXPECT_EQ(api.puts[0].address(), 0x10101u);
    EXPECT_EQ(api.puts[0].get(Param::DataLength), 3u);
    EXPECT_EQ(api.puts[0].get(Param::DataHandle), 1u);
    EXPECT_EQ(api.puts[0].data, (Bytes{0x02, 0x12, 0x03}));

    api.push(kDataB3, kInd, 0x10101, 9, [](CapiMessage& m) {
        m.set(Param::DataLength, 2);
        m.set(Param::DataHandle, 0x77);
        m.data = {0xAA, 0xBB};
    });
    api.push(kDataB3, kInd, 0x10101, 10, [](CapiMessage& m) { m.set(Param::DataHandle, 0x78); });  // DataLength 0
    drain();
    ASSERT_EQ(events.data.size(), 1u);
    EXPECT_EQ(events.data[0].bytes, (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(events.data[0].handle, 0x77);
    ASSERT_EQ(api.puts.size(), 3u);  // DATA_B3_RESP for both
    EXPECT_EQ(api.puts[1].get(Param::DataHandle), 0x77u);
    EXPECT_EQ(api.puts[1].messageNumber, 9);
    EXPECT_EQ(api.puts[2].get(Param::DataHandle), 0x78u);

    // Clearing from this side.
    api.puts.clear();
    events.states.clear();
    EXPECT_EQ(conns.Hangup_h(id), 0u);
    api.push(kDisconnectB3, kConf, 0x10101);
    api.push(kDisconnectB3, kInd, 0x10101);
    api.push(kDisconnect, kConf, 0x101);
    api.push(kDisconnect, kInd, 0x101, 0, [](CapiMessage& m) { m.set(Param::Reason, 0x3490); });
    drain();
    EXPECT_EQ(api.putNames(), (std::vector<std::string>{"DISCONNECT_B3_REQ", "DISCONNECT_B3_RESP", "DISCONNECT_REQ",
                                                         "DISCONNECT_RESP"}));
    seen.clear();
    for (auto [i, s] : events.states) seen.push_back(s);
    EXPECT_EQ(seen, (std::vector<ConnState>{ConnState::B_DisconnectPending, ConnState::D_Connected,
                                            ConnState::D_DisconnectPending, ConnState::Disconnected}));
    EXPECT_EQ(conns.slot(0), -1);
    EXPECT_FALSE(conns.entry(id).inUse);
    EXPECT_TRUE(conns.lineLost);
}

TEST_F(ConnFixture, ClearingByTheNetworkWhileConnected) {
    const int id = connect();
    api.puts.clear();
    api.push(kDisconnect, kInd, 0x101, 0, [](CapiMessage& m) { m.set(Param::Reason, 0x349B); });
    conns.Handle_CAPI_Msg();  // one call does it all
    EXPECT_FALSE(conns.connected);
    EXPECT_TRUE(conns.lineLost);
    EXPECT_EQ(conns.slot(0), -1);
    EXPECT_FALSE(conns.entry(id).inUse);
    EXPECT_EQ(api.putNames(), std::vector<std::string>{"DISCONNECT_RESP"});
    EXPECT_EQ(conns.SendData_h(id, Bytes{1}, 1), 0xFFFFu);
    EXPECT_NE(trace.find("SendData_h: slot -1 ID 0 is not connected\n"), std::string::npos);
    EXPECT_EQ(conns.SendData_h(-1, Bytes{1}, 1), 0xFFFFu);
    EXPECT_NE(trace.find("SendData_h: ConnectionID is invalid\n"), std::string::npos);
}

TEST_F(ConnFixture, ConnectOnAUsedSlotAndAFullTable) {
    ASSERT_EQ(conns.RegisterCAPI(), 1u);
    int slot = 3;
    EXPECT_EQ(conns.Connect_h(slot, "1", 4, 0, 1, 0, {}), 0xFFFFu);
    EXPECT_TRUE(api.puts.empty());
    EXPECT_NE(trace.find("Connect_h: Connection is already in use\n"), std::string::npos);
    for (int i = 0; i < CapiConnections::kEntries; ++i) {
        int s = -1;
        EXPECT_EQ(conns.Connect_h(s, "1", 4, 0, 1, 0, {}), 0u);
    }
    int s = -1;
    EXPECT_EQ(conns.Connect_h(s, "1", 4, 0, 1, 0, {}), 0x1108u);
    EXPECT_EQ(s, -1);
    EXPECT_NE(trace.find("Error: no available connection identifiers\n"), std::string::npos);

    // A refused put frees the entry again.
    conns.reset();
    api.putResult = 0x1103;
    s = -1;
    EXPECT_EQ(conns.Connect_h(s, "1", 4, 0, 1, 0, {}), 0x1103u);
    EXPECT_EQ(s, -1);
    EXPECT_FALSE(conns.entry(0).inUse);
    EXPECT_NE(trace.find("Connect: error in CAPI_PUT_MESSAGE\n"), std::string::npos);
}

TEST_F(ConnFixture, ControllerChoiceByFreeBChannels) {
    api.channels = {2, 2};
    ASSERT_EQ(conns.RegisterCAPI(), 2u);
    // Each confirmed call counts on the controller its PLCI names.
    auto place = [&](std::uint32_t plci) {
        int s = -1;
        conns.Connect_h(s, "1", 4, 0, 1, 0, {});
        api.push(kConnect, kConf, plci, static_cast<std::uint16_t>(s));
        drain();
    };
    EXPECT_EQ(conns.chooseController(), 1);
    place(0x101);
    EXPECT_EQ(conns.chooseController(), 1);  // one B-channel left on controller 1
    place(0x201);
    EXPECT_EQ(conns.chooseController(), 2);  // controller 1 is full
    place(0x302);
    place(0x402);
    EXPECT_EQ(conns.chooseController(), 1);  // all busy: controller 1
    EXPECT_EQ(api.puts.back().address(), 2u);
}

TEST_F(ConnFixture, FailedConfirmationsAndInformativeInfo) {
    ASSERT_EQ(conns.RegisterCAPI(), 1u);
    int& slot = conns.slot(0);
    conns.Connect_h(slot, "0123", 4, 0, 1, 0, {});
    api.push(kConnect, kConf, 0x1, 0, [](CapiMessage& m) { m.set(Param::Info, 0x2003); });
    drain();
    EXPECT_EQ(events.states, (std::vector<std::pair<int, ConnState>>{{0, ConnState::D_ConnectPending},
                                                                     {0, ConnState::Disconnected}}));
    EXPECT_EQ(slot, -1);
    EXPECT_FALSE(conns.entry(0).inUse);

    // An informative Info (0x0001) is success; a refused B-channel clears the call.
    events.states.clear();
    api.puts.clear();
    conns.Connect_h(slot, "0123", 4, 0, 1, 0, {});
    api.push(kConnect, kConf, 0x101, 0);
    api.push(kConnectActive, kInd, 0x101);
    api.push(kConnectB3, kConf, 0x10101, 0, [](CapiMessage& m) { m.set(Param::Info, 0x0001); });
    drain();
    EXPECT_EQ(conns.state(0), ConnState::B_ConnectPending);
    api.puts.clear();
    conns.Hangup_h(0);
    api.push(kDisconnectB3, kConf, 0x10101);
    api.push(kDisconnectB3, kInd, 0x10101);
    api.push(kDisconnect, kConf, 0x101);
    api.push(kDisconnect, kInd, 0x101);
    drain();
    api.puts.clear();
    conns.Connect_h(slot, "0123", 4, 0, 1, 0, {});
    api.push(kConnect, kConf, 0x101, static_cast<std::uint16_t>(slot));
    api.push(kConnectActive, kInd, 0x101);
    api.push(kConnectB3, kConf, 0x101, 0, [](CapiMessage& m) { m.set(Param::Info, 0x3003); });
    drain();
    EXPECT_EQ(api.putNames().back(), "DISCONNECT_REQ");
    EXPECT_EQ(api.puts.back().address(), 0x101u);
}

TEST_F(ConnFixture, IncomingCallsAreAlertedAndKeptOrRejected) {
    ASSERT_EQ(conns.RegisterCAPI(), 1u);
    auto offer = [&](std::uint32_t plci) {
        api.push(kConnect, kInd, plci, 7, [](CapiMessage& m) {
            m.setStructWire(Param::CallingPartyNumber, Bytes{5, 0x00, 0x80, '5', '5', '5'});
        });
        drain();
    };
    offer(0x101);
    offer(0x201);
    EXPECT_EQ(conns.slot(0), 0);
    EXPECT_EQ(conns.slot(1), 1);
    EXPECT_EQ(api.putNames(), (std::vector<std::string>{"ALERT_REQ", "ALERT_REQ"}));
    offer(0x301);  // no free slot: rejected
    EXPECT_EQ(api.putNames().back(), "CONNECT_RESP");
    EXPECT_EQ(api.puts.back().get(Param::Reject), 2u);
    EXPECT_EQ(api.puts.back().messageNumber, 7);
}

TEST_F(ConnFixture, DisconnectAllStopsAtItsTimeLimit) {
    const int id = connect();
    api.puts.clear();
    int polls = 0;
    conns.disconnectAll([&] { return ++polls >= 5; });  // nobody answers
    EXPECT_EQ(polls, 5);
    EXPECT_EQ(api.putNames(), std::vector<std::string>{"DISCONNECT_B3_REQ"});
    EXPECT_EQ(conns.slot(0), id);

    api.push(kDisconnectB3, kConf, 0x10101);
    api.push(kDisconnectB3, kInd, 0x10101);
    api.push(kDisconnect, kConf, 0x101);
    api.push(kDisconnect, kInd, 0x101);
    polls = 0;
    conns.disconnectAll([&] { return ++polls >= 100; });
    EXPECT_EQ(conns.slot(0), -1);
    EXPECT_LT(polls, 10);
}
