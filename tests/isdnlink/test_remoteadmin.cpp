// The remote administration link on virtual time: the CAPI runs in-process on the
// simulated ISDN network, the far end is the simulated switch or a scripted one.
#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "isdnlink/isdnlink.h"
#include "isdnlink/remoteadmin.h"
#include "sim/isdn/simcapi.h"
#include "sim/isdn/switchparty.h"
#include "scriptedswitch.h"
#include "testutil.h"

using namespace tpx;
using namespace tpx::isdn;

namespace {


struct LinkFixture : ::testing::Test {
    LinkFixture() { configure({}); }
    void configure(sim::IsdnFaults faults, sim::IsdnSwitchFaults switchFaults = {}) {
        link.reset();
        capi.reset();
        sim::IsdnConfig cfg;
        cfg.faults = faults;
        sim::SimConfig sc;
        sc.version = "5.3Aa";
        sw = std::make_shared<sim::IsdnSwitch>(sc, switchFaults);
        cfg.numbers["100"] = [sw = sw] { return sw->answer(); };
        cfg.numbers["200"] = [this] {
            auto p = std::make_unique<ScriptedSwitch>(0x12, "42");
            scripted = p.get();
            return p;
        };
        capi = std::make_unique<sim::SimCapi>(loop, cfg);
        link = std::make_unique<RemoteAdminLink>(*capi, loop, RemoteAdminLink::Paths{prt(), logFile()});
    }
    std::filesystem::path prt() const { return dir.path() / "ReZUVODUV.prt"; }
    std::filesystem::path logFile() const { return dir.path() / "ReZUVODUV.LOG"; }
    std::string protocol() { return readText(prt()); }
    // Reads until something comes or `ms` of virtual time passed.
    int read(std::uint8_t* buf, int ms = 2000) {
        const std::int64_t end = loop.monotonicMs() + ms;
        int r = 0;
        while ((r = link->ReadISDNBlock(buf)) == 0 && loop.monotonicMs() < end) {
        }
        return r;
    }

    TempDir dir;
    VirtualLoop loop{1'800'000'000};
    std::shared_ptr<sim::IsdnSwitch> sw;
    std::unique_ptr<sim::SimCapi> capi;
    std::unique_ptr<RemoteAdminLink> link;
    ScriptedSwitch* scripted = nullptr;
};

}  // namespace

TEST(RemoteAdminFrames, Recognition) {
    using K = RemoteAdminLink::Kind;
    struct Case {
        Bytes block;
        K kind;
    } cases[] = {
        {{0x02, 0x10, 0x10, 0x03}, K::NegoStart},
        {{0x02, 0x10, 0x10, 0x41, 0x42, 0x03}, K::NegoStart},
        {{0x02, 0x10, 0x12, 0x01, 0x12, 0x03}, K::ServiceAck},
        {{0x02, 0x10, 0x12, 0x01, 0x11, 0x03}, K::Ignored},  // the upgrade's service code
        {{0x02, 0x10, 0x13, 0x01, 0x12, 0x03}, K::ServiceNack},
        {{0x02, 0x10, 0x15, 0x01, '1', 0x03}, K::VersionInf},
        {{0x02, 0x10, 0x17, 0x01, 0x12, 0x03}, K::StartAck},
        {{0x02, 0x12, 0x11, 0x00, 0x02, 0x31, 0x32, 0x03}, K::DataMpb},
        {{0x02, 0xEE, 0x10, 0x03}, K::PacketFail},
        {{0x02, 0x12, 0x10, 0x00, 0x00, 0x03}, K::Garbage},
        {{0x41, 0x42}, K::Garbage},
        {{0x02, 0x12, 0x11, 0x00}, K::Garbage},  // no ETX at the end
    };
    for (const auto& c : cases) EXPECT_EQ(RemoteAdminLink::recognise(c.block), c.kind) << hexList(c.block);
    EXPECT_EQ(RemoteAdminLink::durationText(3725), " 1 hour(s) 02 minute(s) 05 second(s)\n");
    EXPECT_EQ(RemoteAdminLink::durationText(59), "59 second(s)\n");
    EXPECT_EQ(RemoteAdminLink::durationText(125), "02 minute(s) 05 second(s)\n");
    EXPECT_EQ(RemoteAdminLink::durationText(0), "");
}

TEST_F(LinkFixture, WritesFramesAndReadsThemBack) {
    ASSERT_EQ(link->DialISDN("200"), 0) << protocol();
    ASSERT_TRUE(scripted);
    EXPECT_EQ(link->switchVersion(), "42");
    const std::uint8_t abc[] = {0x41, 0x42, 0x0D};
    EXPECT_EQ(link->WriteISDNBlock(abc, 3), 0);
    EXPECT_EQ(link->WriteISDNBlock(abc, 0), 0);
    loop.advance(100);
    ASSERT_EQ(scripted->frames.size(), 2u);
    EXPECT_EQ(scripted->frames[0], (Bytes{0x02, 0x12, 0x10, 0x00, 0x03, 0x41, 0x42, 0x0D, 0x03}));
    EXPECT_EQ(scripted->frames[1], (Bytes{0x02, 0x12, 0x10, 0x00, 0x00, 0x03}));
    // The frame as written, then what the write's polls fetched, then the result.
    const std::string p = protocol();
    const auto data = p.find("\n     Data = 02 12 10 00 03 < A B>0d 03 \n");
    ASSERT_NE(data, std::string::npos) << p;
    EXPECT_NE(p.find("\nDATA_B3_CONF ", data), std::string::npos);
    EXPECT_NE(p.find(" WriteISDNBlock returns \"SUCCESS\"....\n", data), std::string::npos);

    scripted->line.send(Bytes{0x02, 0x12, 0x11, 0x00, 0x02, 0x31, 0x32, 0x03});
    std::uint8_t buf[4096];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    EXPECT_EQ(read(buf), 2);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{'1', '2', 0}));
    EXPECT_NE(protocol().find("\nFrom Buffer : 02 12 11 00 02 < 1 2 > 03\n"), std::string::npos) << protocol();
    EXPECT_EQ(link->ReadISDNBlock(buf), 0);  // nothing more: at once

    // Bigger than one frame: several frames carry it in order.
    Bytes big(5000, 0x55);
    EXPECT_EQ(link->WriteISDNBlock(big.data(), 5000), 0);
    loop.advance(1000);
    ASSERT_EQ(scripted->frames.size(), 5u);
    EXPECT_EQ(scripted->frames[2].size(), 2042u + 6);
    EXPECT_EQ(scripted->frames[4].size(), 5000u - 2 * 2042 + 6);
    EXPECT_EQ(link->WriteISDNBlock(nullptr, 3), ISDN_BAD_ARGUMENT);
    EXPECT_EQ(link->CloseISDN(), 0);
    EXPECT_NE(protocol().find("\n Total time during ZU VODUV is "), std::string::npos);
    const std::string log = readText(logFile());
    EXPECT_NE(log.find("NEGO_START    : 02 10 10 03\n"), std::string::npos) << log;
    EXPECT_NE(log.find("VERSION_INF   : 02 10 15 02 < 4 2 > 03\n"), std::string::npos) << log;
    EXPECT_NE(log.find("DATA_MPB      : 02 12 11 00 02 < 1 2 > 03\n"), std::string::npos) << log;
}

TEST_F(LinkFixture, TheRingHoldsTenFramesAndWraps) {
    ASSERT_EQ(link->DialISDN("200"), 0);
    for (int i = 0; i < 11; ++i)
        scripted->line.send(Bytes{0x02, 0x12, 0x11, 0x00, 0x01, static_cast<std::uint8_t>('a' + i), 0x03});
    std::uint8_t buf[4096];
    loop.advance(100);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(link->WriteISDNBlock(buf, 0), 0);  // their polls take the frames in
    EXPECT_EQ(link->ringCount(), 10);
    EXPECT_NE(protocol().find("!! ... Data buffer overflow .... !!\n!! ... Received Data ignored .... !!\n\n"),
              std::string::npos);
    EXPECT_NE(readText(logFile()).find("DATA_IGNORED  : "), std::string::npos);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(link->ReadISDNBlock(buf), 1);
        EXPECT_EQ(buf[0], 'a' + i);
    }
    // Slot 9 was the last; the next frame goes to slot 0.
    scripted->line.send(Bytes{0x02, 0x12, 0x11, 0x00, 0x01, 'z', 0x03});
    ASSERT_EQ(read(buf), 1);
    EXPECT_EQ(buf[0], 'z');
    EXPECT_NE(protocol().find(" DATA BUFFER... Size : 1, Head : 0, Rear : 0\n"), std::string::npos);
}

TEST_F(LinkFixture, DialFailuresGiveTheirCodes) {
    struct Case {
        const char* name;
        sim::IsdnFaults net;
        sim::IsdnSwitchFaults sw;
        const char* number;
        int code;
        std::int64_t atLeastMs;
    } cases[] = {
        {"no LISTEN_CONF", {.noListenConf = true}, {}, "100", ISDN_NO_LISTEN, 27000},
        {"no channel on either slot", {.closeOnConnect = true}, {}, "100", ISDN_NO_CHANNEL, 0},
        {"B-channel never active", {.answerDelayMs = 100000}, {}, "100", ISDN_NO_B_CHANNEL, 54000},
        {"cleared during set-up", {}, {}, "999", ISDN_CLEARED_SETUP, 0},
        {"no NEGO_START", {}, {.noNegoStart = true}, "100", ISDN_NO_ANSWER, 27000},
        {"SERVICE_NACK", {}, {.serviceNack = true}, "100", ISDN_SERVICE_REFUSED, 0},
        {"the wrong service code", {}, {.wrongService = true}, "100", ISDN_NO_ANSWER, 27000},
        {"cleared in negotiation", {}, {.clearInNegotiation = true}, "100", ISDN_CLEARED_NEGOTIATION, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        configure(c.net, c.sw);
        const std::int64_t t0 = loop.monotonicMs();
        EXPECT_EQ(link->DialISDN(c.number), c.code);
        // Tries of 10 whole calendar seconds: 9 to 10 s each.
        EXPECT_GE(loop.monotonicMs() - t0, c.atLeastMs);
        EXPECT_LE(loop.monotonicMs() - t0, c.atLeastMs * 10 / 9 + 6000);
        EXPECT_EQ(capi->network().activeCalls(), 0);  // everything released
        EXPECT_EQ(link->CloseISDN(), 0);              // harmless afterwards
    }
    configure({});
    capi->installed = false;
    EXPECT_EQ(link->DialISDN("100"), ISDN_NO_CAPI);
    configure({});
    link = std::make_unique<RemoteAdminLink>(*capi, loop, RemoteAdminLink::Paths{dir.path() / "no" / "p.prt", logFile()});
    EXPECT_EQ(link->DialISDN("100"), ISDN_NO_PROTOCOL_FILE);
    link = std::make_unique<RemoteAdminLink>(*capi, loop, RemoteAdminLink::Paths{prt(), dir.path() / "no" / "l.log"});
    EXPECT_EQ(link->DialISDN("100"), ISDN_NO_LOG_FILE);
    EXPECT_EQ(link->DialISDN(std::string(254, '1').c_str()), ISDN_NO_CHANNEL);
}

TEST_F(LinkFixture, TimeOutsResendAndPacketFailCountsATry) {
    configure({}, {.wrongService = true});
    EXPECT_EQ(link->DialISDN("100"), ISDN_NO_ANSWER);
    const std::string p = protocol();
    EXPECT_NE(p.find("\nNo response ...\n\nCurrent Retry count : 0\n\nERROR : Waiting time has expired\n"
                     "ERROR : Resend Packet\nBlock length : 6\nBlock resent : 02 10 11 01 12 03 \n"),
              std::string::npos)
        << p;
    EXPECT_NE(p.find("\nCurrent Retry count : 2\n\nStart time : "), std::string::npos);
    EXPECT_NE(p.find("\nERROR : Retry count overflow\n"), std::string::npos);

    configure({}, {.packetFailAt = 1});
    const std::int64_t t0 = loop.monotonicMs();
    EXPECT_EQ(link->DialISDN("100"), 0);
    EXPECT_LT(loop.monotonicMs() - t0, 5000);  // PACKET_FAIL ends the try at once
    EXPECT_NE(protocol().find("\nPACKET_FAIL received !!\n"), std::string::npos);
    EXPECT_EQ(sw->negotiations(), 4);  // the service asked twice, version and start once
}

TEST_F(LinkFixture, TheAdministrationConsoleRunsInsideTheFrames) {
    ASSERT_EQ(link->DialISDN("100"), 0) << protocol();
    const std::uint8_t cr = 0x0D;
    EXPECT_EQ(link->WriteISDNBlock(&cr, 1), 0);
    std::string shown;
    std::uint8_t buf[4096];
    const std::int64_t end = loop.monotonicMs() + 3000;
    while (shown.find("PASSWORD: ") == std::string::npos && loop.monotonicMs() < end) {
        int n = link->ReadISDNBlock(buf);
        if (n > 0) shown.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(shown, "\r\nTPX560 ADMIN PASSWORD: ");

    // The switch hangs up: reads and writes say so.
    capi->network().clearAll(0x3490);
    EXPECT_EQ(read(buf), ERROR_DIS_EXCHANGE);
    EXPECT_EQ(link->WriteISDNBlock(&cr, 1), ERROR_DIS_EXCHANGE);
    EXPECT_EQ(link->CloseISDN(), 0);
}
