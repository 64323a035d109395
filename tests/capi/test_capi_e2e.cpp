// Whole calls through the real libcapi20 (its rcapi module) to the simulated ISDN network
// on loopback.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "capi/connection.h"
#include "common/realtimeloop.h"
#include "platform/libcapi.h"
#include "sim/isdn/capinetwork.h"
#include "testutil.h"

using namespace tpx;
using namespace tpx::capi;

namespace {

struct Events : ConnectionEvents {
    void stateChanged(int, ConnState s) override { states.push_back(s); }
    void dataArrived(int, ByteView d, std::uint16_t) override { frames.push_back(Bytes(d.begin(), d.end())); }
    std::vector<ConnState> states;
    std::vector<Bytes> frames;
};

struct E2E : ::testing::Test {
    E2E() : home_("HOME", dir.path().string()) {}
    ~E2E() override {
        if (registered) conns->ReleaseCAPI();
    }
    void start(sim::IsdnConfig cfg) {
        cfg.numbers["0123"] = [] { return std::make_unique<sim::EchoParty>(); };
        net = std::make_unique<sim::CapiNetwork>(cfg);
        ASSERT_TRUE(net->start().ok());
        ASSERT_TRUE(net->writeCapiConfig(dir.path()).ok());
        layer = std::make_unique<CapiLayer>(api, loop);
        layer->installSink([this](TraceKind k, const std::string& t, ByteView m) { trace += CapiLayer::sinkText(k, t, m); });
        conns = std::make_unique<CapiConnections>(*layer, events, Flavour::IsdnLink);
        ASSERT_EQ(conns->RegisterCAPI(), 1u) << trace;
        registered = true;
        ASSERT_EQ(conns->ListenAll_h(0), 0u);
        pollUntil([&] { return conns->listenConfirmed; });
    }
    bool pollUntil(const std::function<bool()>& done, int ms = 3000) {
        const std::int64_t end = loop.monotonicMs() + ms;
        while (!done()) {
            if (loop.monotonicMs() > end) return false;
            conns->Handle_CAPI_Msg();
        }
        return true;
    }
    int call(const char* number = "0123") {
        int& slot = conns->slot(0);
        EXPECT_EQ(conns->Connect_h(slot, number, 4, 0, 1, 0, {}), 0u);
        return slot;
    }

    TempDir dir;
    ScopedEnv home_;
    RealTimeLoop loop;
    LibCapi20 api;
    std::unique_ptr<sim::CapiNetwork> net;
    std::unique_ptr<CapiLayer> layer;
    Events events;
    std::unique_ptr<CapiConnections> conns;
    std::string trace;
    bool registered = false;
};

}  // namespace

TEST_F(E2E, PlaceACallCarryDataAndHangUp) {
    start({});
    const int id = call();
    ASSERT_TRUE(pollUntil([&] { return conns->connected; })) << trace;
    EXPECT_EQ(events.states, (std::vector<ConnState>{ConnState::D_ConnectPending, ConnState::D_Connected,
                                                     ConnState::B_ConnectPending, ConnState::Connected}));
    const Bytes frame = {0x02, 0x12, 0x01, 0x03, 0x41, 0x0D};
    EXPECT_EQ(conns->SendData_h(id, frame, conns->nextDataHandle()), 0u);
    ASSERT_TRUE(pollUntil([&] { return !events.frames.empty() && conns->dataConfirmed; })) << trace;
    EXPECT_EQ(events.frames[0], frame);  // the echo came back through the network

    events.states.clear();
    conns->Hangup_h(id);
    ASSERT_TRUE(pollUntil([&] { return conns->slot(0) == -1; })) << trace;
    EXPECT_EQ(events.states, (std::vector<ConnState>{ConnState::B_DisconnectPending, ConnState::D_Connected,
                                                     ConnState::D_DisconnectPending, ConnState::Disconnected}));
    EXPECT_NE(trace.find("\nCONNECT_REQ                ID="), std::string::npos);
    EXPECT_NE(trace.find("\nDATA_B3_IND                ID="), std::string::npos);
    EXPECT_NE(trace.find("\nDISCONNECT_IND             ID="), std::string::npos);
    EXPECT_NE(trace.find("  Reason 0x3490: Normal call clearing\n"), std::string::npos);
}

TEST_F(E2E, TheNetworkClearsTheCall) {
    start({});
    call();
    ASSERT_TRUE(pollUntil([&] { return conns->connected; })) << trace;
    net->clearAll(0x349B);
    ASSERT_TRUE(pollUntil([&] { return conns->lineLost; })) << trace;
    EXPECT_FALSE(conns->connected);
    EXPECT_EQ(conns->slot(0), -1);
    EXPECT_EQ(events.states.back(), ConnState::Disconnected);
    EXPECT_NE(trace.find("  Reason 0x349B: Destination out of order\n"), std::string::npos);
}

TEST_F(E2E, UnknownNumberAndNetworkFaults) {
    sim::IsdnConfig cfg;
    start(cfg);
    call("999");
    ASSERT_TRUE(pollUntil([&] { return conns->lineLost; })) << trace;
    EXPECT_NE(trace.find("  Reason 0x3481: Unallocated (unassigned) number\n"), std::string::npos);
    EXPECT_EQ(conns->slot(0), -1);

    // CONNECT_CONF refused: the connection goes without a word.
    sim::IsdnFaults f;
    f.connectConfInfo = 0x2003;
    net->setFaults(f);
    conns->lineLost = false;
    call();
    ASSERT_TRUE(pollUntil([&] { return conns->slot(0) == -1; })) << trace;
    EXPECT_FALSE(conns->lineLost);

    // The B-channel refused: the call is cleared by this side.
    f = {};
    f.b3ConfInfo = 0x3003;
    net->setFaults(f);
    call();
    ASSERT_TRUE(pollUntil([&] { return conns->slot(0) == -1; })) << trace;
    EXPECT_FALSE(conns->connected);

    // Cleared in the middle of the data.
    f = {};
    f.clearAfterFrames = 2;
    net->setFaults(f);
    conns->lineLost = false;
    const int id = call();
    ASSERT_TRUE(pollUntil([&] { return conns->connected; })) << trace;
    conns->SendData_h(id, Bytes{1}, conns->nextDataHandle());
    conns->SendData_h(id, Bytes{2}, conns->nextDataHandle());
    ASSERT_TRUE(pollUntil([&] { return conns->lineLost; })) << trace;
    EXPECT_EQ(conns->slot(0), -1);
}

TEST_F(E2E, DisconnectAllWithinItsTimeLimitAndAnIdleLinkCostsNoCpu) {
    start({});
    call();
    ASSERT_TRUE(pollUntil([&] { return conns->connected; })) << trace;

    // Polling an idle connection: each empty get waits its 10 ms, it does not spin.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const std::int64_t t0 = loop.monotonicMs();
    int polls = 0;
    while (loop.monotonicMs() - t0 < 1000) {
        conns->Handle_CAPI_Msg();
        ++polls;
    }
    getrusage(RUSAGE_SELF, &after);
    const double cpuMs = ((after.ru_utime.tv_sec - before.ru_utime.tv_sec) * 1e6 +
                          (after.ru_utime.tv_usec - before.ru_utime.tv_usec) +
                          (after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1e6 +
                          (after.ru_stime.tv_usec - before.ru_stime.tv_usec)) / 1000.0;
    RecordProperty("idle_poll_cpu_ms_per_s", std::to_string(cpuMs));
    std::printf("idle polling: %d polls in 1 s, %.1f ms CPU\n", polls, cpuMs);
    EXPECT_LE(polls, 120);
    EXPECT_LT(cpuMs, 50.0);

    const std::int64_t t1 = loop.monotonicMs();
    conns->disconnectAll([&] { return loop.monotonicMs() - t1 >= 5000; });
    EXPECT_EQ(conns->slot(0), -1);
    EXPECT_LT(loop.monotonicMs() - t1, 1000);
}

TEST_F(E2E, WithoutAServerCapiIsNotInstalled) {
    ScopedEnv empty("HOME", (dir.path() / "nowhere").string());
    std::filesystem::create_directories(dir.path() / "nowhere");
    LibCapi20 lib;
    // No .capi20rc (nor /etc/capi20.conf) names a server: nothing answers.
    if (!std::filesystem::exists("/etc/capi20.conf")) {
        EXPECT_NE(lib.isInstalled(), 0u);
    }
}
