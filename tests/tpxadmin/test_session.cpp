// Start admin session on virtual time: a scripted far end answers each CR, the password
// and the identification request as the case says.
#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "recorder.h"
#include "sim/simlink.h"
#include "testutil.h"
#include "tpxadmin/session/adminsession.h"
#include "tpxadmin/session/models.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

struct Host : SessionHost {
    std::optional<std::string> askPassword() override {
        ++asked;
        return password;
    }
    void showMessage(int n) override { messages.push_back(n); }
    void setStatusText(const std::string& t) override { status = t; }
    void setWaitCursor(bool on) override { cursorChanges += on ? 1 : 0; }
    std::optional<std::string> password = "";
    std::vector<int> messages;
    std::string status;
    int asked = 0, cursorChanges = 0;
};

struct NullHost : CommLinkHost {
    void showFileError(const SysStatus&) override {}
    void appendLinkNote(const std::string&) override {}
};

// The far end: what it answers to the n-th CR of the login, to the password block and
// to the identification request; each answer is a list of (delay, bytes).
struct Script {
    std::vector<std::pair<int, Bytes>> onCr[2];
    std::vector<std::pair<int, Bytes>> onPassword;
    std::vector<std::pair<int, Bytes>> onIdentify;
};

struct SessionFixture : ::testing::Test {
    SessionFixture() : opener(loop), transcript(loop) { reset(); }
    // A fresh link, session and host for the next case of a table.
    void reset() {
        ++generation;  // answers still on their way belong to the last case
        session.reset();
        if (link) link->closeSerial();
        loop.advance(20000);  // late answers of the last case pass unheard
        link = std::make_unique<CCommLink>(loop, opener, linkHost, transcript, dir.path());
        host = Host{};
        session = std::make_unique<AdminSession>(loop, *link, host);
        opener.log.clear();
    }
    void run(const Script& script) {
        script_ = script;
        crs = 0;
        opener.onWrite = [this](ByteView b) {
            const std::vector<std::pair<int, Bytes>>* answer = nullptr;
            if (b.size() == 1 && b[0] == 0x0D && crs < 2) answer = &script_.onCr[crs++];
            else if (b.size() == 1 && b[0] == 0xFD) answer = &script_.onIdentify;
            else if (b.size() > 1 || (b.size() == 1 && b[0] == 0x0D)) answer = &script_.onPassword;
            if (!answer) return;
            int at = 0;
            for (const auto& [delay, bytes] : *answer) {
                at += delay;
                loop.postAfter(at, [this, bytes, gen = generation] {
                    if (gen == generation && opener.last->sink) opener.last->sink(bytes);
                });
            }
        };
        ASSERT_TRUE(link->openSerial());
        link->setReceiveMode(kModeLogin);
    }
    std::vector<std::string> writes() { return opener.writes(); }

    TempDir dir;
    VirtualLoop loop{1'800'000'000};
    RecordingOpener opener;
    NullHost linkHost;
    Transcript transcript;
    Host host;
    std::unique_ptr<CCommLink> link;
    std::unique_ptr<AdminSession> session;
    Script script_;
    int crs = 0;
    int generation = 0;
};

Bytes text(const std::string& s) { return toBytes(s); }

}  // namespace

TEST(PasswordKeys, KeypadCharactersBecomeKeyCodes) {
    EXPECT_EQ(passwordKeyCodes("1*0#"), (Bytes{0x01, 0x0B, 0x0A, 0x0C}));
    EXPECT_EQ(passwordKeyCodes("98765"), (Bytes{9, 8, 7, 6}));  // four characters
    EXPECT_EQ(passwordKeyCodes("12"), (Bytes{1, 2}));           // a short one sends what it has
    EXPECT_EQ(passwordKeyCodes("1a2"), (Bytes{1, 2}));          // no key for a letter
    EXPECT_EQ(passwordKeyCodes(""), Bytes{});
}

TEST_F(SessionFixture, LoginAnswersWordWithTheKeyedPasswordOrTheDefault) {
    struct Case {
        const char* name;
        std::optional<std::string> typed;
        std::vector<std::pair<int, Bytes>> first, second;
        bool ok;
        std::vector<std::string> sent;
        std::vector<int> messages;
    } cases[] = {
        {"PASSWORD: is recognised at its W", "1*0#", {{50, text("\r\nADMIN PASSWORD: ")}}, {}, true,
         {"0d ", "01 0b 0a 0c ", "0d "}, {}},
        {"an empty password sends tovrix", "", {{50, text("PASSWORD: ")}}, {}, true,
         {"0d ", "74 6f 76 72 69 78 0d "}, {}},
        {"the answer may come byte by byte",
         "",
         {{10, text("W")}, {10, text("O")}, {900, text("R")}, {10, text("D")}, {10, text(":")}, {10, text(" ")}},
         {},
         true,
         {"0d ", "74 6f 76 72 69 78 0d "},
         {}},
        {"WORLD ends the first attempt at once", "", {{50, text("HELLO WORLD ")}},
         {{50, text("WORD: ")}}, true, {"0d ", "0d ", "74 6f 76 72 69 78 0d "}, {}},
        {"a W not followed by O is dropped", "", {{50, text("WX PASSWORD: ")}}, {}, true,
         {"0d ", "74 6f 76 72 69 78 0d "}, {}},
        {"six characters other than WORD: end the attempt", "", {{50, text("WOW WORD: ")}}, {}, false,
         {"0d ", "0d "}, {27}},
        {"Access Canceled! ends an attempt", "", {{50, text("Access Canceled!")}}, {{50, text("PASSWORD: ")}}, true,
         {"0d ", "0d ", "74 6f 76 72 69 78 0d "}, {}},
        {"Access without Canceled! goes on", "", {{50, text("Access granted. PASSWORD: ")}}, {}, true,
         {"0d ", "74 6f 76 72 69 78 0d "}, {}},
        {"silence twice shows message 27", "", {}, {}, false, {"0d ", "0d "}, {27}},
        {"cancel sends nothing and says nothing", std::nullopt, {}, {}, false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        host.password = c.typed;
        run({{c.first, c.second}, {}, {}});
        EXPECT_EQ(session->login(), c.ok);
        EXPECT_EQ(writes(), c.sent);
        EXPECT_EQ(host.messages, c.messages);
    }
}

TEST_F(SessionFixture, EachLoginAttemptLastsAboutFiveSeconds) {
    run({});
    const std::int64_t t0 = loop.monotonicMs();
    EXPECT_FALSE(session->login());
    const std::int64_t took = loop.monotonicMs() - t0;
    EXPECT_GE(took, 2 * 4000);  // whole calendar seconds: 4 to 5 s per attempt
    EXPECT_LE(took, 2 * 5000 + 100);
}

TEST_F(SessionFixture, AcknowledgementWait) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, Bytes>> answer;
        AckResult result;
        std::vector<int> messages;
    } cases[] = {
        {"0xF2 accepts", {{100, {0xF2}}}, AckResult::Success, {}},
        {"0xF3 refuses", {{100, {0xF3}}}, AckResult::Refused, {28}},
        {"SORRY", {{100, text("\r\nSORRY, ADMIN BUSY")}}, AckResult::Sorry, {29}},
        {"0xF2 inside SORRY still accepts", {{100, text("SOR")}, {10, {0xF2}}, {10, text("RY!")}},
         AckResult::Success, {}},
        {"0xF3 inside SORRY still refuses", {{100, text("SORR")}, {10, {0xF3}}}, AckResult::Refused, {28}},
        {"an S that is not SORRY is passed over", {{100, text("SYSTEM ")}, {100, {0xF2}}}, AckResult::Success, {}},
        {"other bytes wait on", {{100, text("\r\n")}, {4000, {0xF2}}}, AckResult::Success, {}},
        {"silence shows message 27", {}, AckResult::NoAnswer, {27}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        run({{{{10, text("PASSWORD: ")}}}, c.answer, {}});
        ASSERT_TRUE(session->login());
        EXPECT_EQ(session->waitAcknowledgement(), c.result);
        EXPECT_EQ(host.messages, c.messages);
    }
}

TEST_F(SessionFixture, IdentificationWholeSplitOrSilent) {
    const Bytes reply = {2, '4', '.', '0', 'D', 'i', 0, 'M', 'E', 'M', 'U', 0x52, 0xFF};
    const Bytes withTail = {17, '3', '.', '2', 'A', 'a', 0, 0, 0, 0, 0, 0x01, 0x23, 0x99, 0x98};
    struct Case {
        const char* name;
        std::vector<std::pair<int, Bytes>> answer;
        bool answered;
        int model;
        std::string version;
        std::uint16_t nation;
        bool memu;
        std::string status;
    } cases[] = {
        {"4.0Di on a TPX560 is the Hotel model", {{30, reply}}, true, 18, "4.0Di", 0x52FF, true, "TPX560 Hotel"},
        {"split over chunks with pauses under 3 s",
         {{30, Bytes(reply.begin(), reply.begin() + 1)},
          {2900, Bytes(reply.begin() + 1, reply.begin() + 6)},
          {2900, Bytes(reply.begin() + 6, reply.end())}},
         true, 18, "4.0Di", 0x52FF, true, "TPX560 Hotel"},
        {"extra bytes behind the reply are not taken", {{30, withTail}}, true, 17, "3.2Aa", 0x0123,
         false, "TPX300 Hotel"},
        {"silence falls back to the defaults", {}, false, 2, "4.0Aa", 0xFFFF, false, "TPX560 assumed"},
        {"a reply cut short falls back too", {{30, Bytes(reply.begin(), reply.begin() + 7)}}, false, 2, "4.0Aa",
         0xFFFF, false, "TPX560 assumed"},
        {"3 s between chunks is too long", {{30, Bytes(reply.begin(), reply.begin() + 6)}, {3100, Bytes(reply.begin() + 6, reply.end())}},
         false, 2, "4.0Aa", 0xFFFF, false, "TPX560 assumed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        run({{}, {}, c.answer});
        const std::int64_t t0 = loop.monotonicMs();
        EXPECT_EQ(session->identify(), c.answered);
        const SessionValues& v = session->values();
        EXPECT_EQ(v.model, c.model);
        EXPECT_EQ(v.version, c.version);
        EXPECT_EQ(v.nation, c.nation);
        EXPECT_EQ(v.extensionMemory, c.memu);
        EXPECT_EQ(host.status, c.status);
        EXPECT_EQ(link->receiveMode(), kModeTerminal);
        EXPECT_EQ(host.cursorChanges, 1);
        if (!c.answered) {
            EXPECT_LT(loop.monotonicMs() - t0, 3000 + 3200);
        }
        loop.advance(10000);
    }
}

TEST_F(SessionFixture, ANewIdentificationStartsAFreshCapture) {
    const Bytes reply = {1, '4', '.', '2', 'A', 'a', 0, 0, 0, 0, 0, 0x12, 0x34};
    run({{}, {}, {{30, Bytes(reply.begin(), reply.begin() + 5)}}});
    EXPECT_FALSE(session->identify());
    loop.advance(5000);
    script_.onIdentify = {{30, reply}};
    EXPECT_TRUE(session->identify());
    EXPECT_EQ(session->values().model, 1);
    EXPECT_EQ(session->values().nation, 0x1234);
}

TEST(SessionAgainstSimulator, FullStartOnTheInProcessSwitch) {
    VirtualLoop loop;
    sim::SimConfig cfg;
    cfg.model = 3;
    cfg.version = "4.1Bc";
    cfg.password = "4321";
    cfg.nation = 0x8210;
    sim::SimLine line(loop, cfg);
    sim::SimOpener opener(line);
    NullHost linkHost;
    Transcript transcript(loop);
    TempDir dir;
    CCommLink link(loop, opener, linkHost, transcript, dir.path());
    Host host;
    host.password = "4321";
    AdminSession session(loop, link, host);
    ASSERT_TRUE(link.openSerial());
    EXPECT_TRUE(session.start());
    EXPECT_EQ(host.status, "TPXRVII Office");
    EXPECT_EQ(session.values().version, "4.1Bc");
    EXPECT_EQ(session.values().nation, 0x8210);
    EXPECT_EQ(line.sim().logins(), 1);
    EXPECT_EQ(line.sim().identifications(), 1);
    EXPECT_LT(loop.monotonicMs(), 1500);  // no waiting beyond the line's own time

    host.password = "1111";  // refused by the switch
    EXPECT_FALSE(session.start());
    EXPECT_EQ(host.messages, std::vector<int>{28});
}
