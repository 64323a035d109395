// The database transfer on virtual time, against the in-process simulated switch for whole
// transfers and faults, and against a scripted far end where the exact bytes matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/checksum.h"
#include "common/files.h"
#include "common/virtualloop.h"
#include "recorder.h"
#include "shellhost.h"
#include "sim/simlink.h"
#include "testutil.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

sim::SimConfig switchConfig(int model = 2, const char* version = "5.3Aa", bool ext = false, std::uint32_t seed = 1) {
    sim::SimConfig c;
    c.model = model;
    c.version = version;
    c.extensionMemory = ext;
    c.seed = seed;
    c.baud = 115200;
    c.nation = 0x52FF;
    c.database.basicSize = 6000;
    c.database.extSize = 1500;
    return c;
}

struct TransferFixture : ::testing::Test {
    TransferFixture() { seedHome(home.path(), TPX_SOURCE_DATA_DIR); }

    void startSwitch(const sim::SimConfig& cfg) {
        shell.reset();
        line = std::make_unique<sim::SimLine>(loop, cfg);
        opener = std::make_unique<sim::SimOpener>(*line);
        shell = std::make_unique<AdminShell>(loop, *opener, host, home.path(), home.path() / "trace.txt");
        shell->create();
        shell->link().settings().baudRate = cfg.baud;
        ASSERT_TRUE(shell->link().openSerial());
    }
    sim::SwitchSim& sw() { return line->sim(); }

    TransferOutcome run(Direction d, const fs::path& file, bool lcr = false) {
        host.userFile = file;
        if (lcr) shell->lcrUpload();
        else shell->transferCommand(d);
        const TransferEngine* t = shell->transfer();
        if (!t) return TransferOutcome::Declined;
        loop.waitUntil([t] { return t->closed(); }, 3600 * 1000);
        loop.advance(2000);  // return to idle
        return t->outcome();
    }
    bool sawStatus(const std::string& word) const {
        return std::any_of(host.views.begin(), host.views.end(), [&](const TransferView& v) { return v.status == word; });
    }
    std::string lastText() const { return host.texts.empty() ? std::string() : host.texts.back(); }

    TempDir home;
    VirtualLoop loop{1'800'000'000, {8, 0, 0}};
    ShellHost host;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<sim::SimOpener> opener;
    std::unique_ptr<AdminShell> shell;
};

Bytes fileBytes(const fs::path& p) { return toBytes(readText(p)); }

}  // namespace

TEST_F(TransferFixture, DownloadWritesTheUserAndExtensionFiles) {
    startSwitch(switchConfig(2, "4.0Di", true));
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    EXPECT_EQ(lastText(), "DownLoad Complete !!! (Retry:0)");

    Bytes file = fileBytes(usr);
    Bytes header = sw().database().basicHeader();
    header[0] = 18;  // a 4.0Di TPX560 is stored as the Hotel model
    Bytes expected = makePrefix(0x52FF);
    expected.insert(expected.end(), header.begin(), header.end());
    expected.insert(expected.end(), sw().database().basic().begin(), sw().database().basic().end());
    EXPECT_EQ(file, expected);
    EXPECT_EQ(file[20], 0xFF);
    EXPECT_EQ(file[21], 0x52);

    Bytes ext = fileBytes(home.path() / "user" / "site.exp");
    Bytes extExpected = makePrefix(0x52FF);
    for (std::uint8_t b : {0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x05, 0xDC}) extExpected.push_back(b);
    extExpected.insert(extExpected.end(), sw().database().extension().begin(), sw().database().extension().end());
    EXPECT_EQ(ext, extExpected);

    EXPECT_EQ(shell->boardTable(), boardTableFromHeader(header));
    const TransferView& v = shell->transfer()->view();
    EXPECT_EQ(v.title, "DownLoad from TPX");
    EXPECT_EQ(v.system, "TPX560");
    EXPECT_EQ(v.version, "4.0Di");
    EXPECT_EQ(v.basicDone, 6000u);
    EXPECT_EQ(v.extDone, 1500u);
    EXPECT_TRUE(sawStatus("S_ACK"));
    EXPECT_FALSE(host.dialogOpen);
    EXPECT_EQ(shell->link().receiveMode(), kModeTerminal);
    EXPECT_EQ(host.status, "Ready");
    EXPECT_FALSE(fs::exists(home.path() / "user" / "site.usr.part~"));
}

TEST_F(TransferFixture, UploadRoundTripLeavesOnlyTheProtectedFields) {
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true, 1);
    cfg.database.basicSize = 48 * 1024;
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    const Bytes original = sw().database().basic();
    const Bytes originalExt = sw().database().extension();

    cfg.seed = 2;  // a switch with other contents
    startSwitch(cfg);
    const Bytes before = sw().database().basic();
    ASSERT_EQ(run(Direction::Upload, usr), TransferOutcome::Completed);
    const Bytes& after = sw().database().basic();
    ASSERT_EQ(after.size(), original.size());
    ProtectedFields fields(2, "5.3Aa");
    std::size_t protectedBytes = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (fields.fieldEnd(static_cast<std::uint32_t>(0x200000 + i))) {
            ++protectedBytes;
            ASSERT_EQ(after[i], before[i]) << "protected byte " << i << " was written";
        } else {
            ASSERT_EQ(after[i], original[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(protectedBytes, 192u * 8u);
    EXPECT_EQ(sw().database().extension(), originalExt);
    // Same version on both sides: no warning. Then the restart question, answered Yes.
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], "UpLoad Complete!! (Retry:0)\r\nTPX should to be restarted for proper operation");
    EXPECT_EQ(sw().restarts(), 1);
    EXPECT_EQ(shell->transfer()->view().title, "Upload to TPX");
}

TEST_F(TransferFixture, DownloadFaultsReachTheirOutcomes) {
    struct Case {
        const char* name;
        void (*fault)(sim::TransferFaults&);
        TransferOutcome outcome;
        const char* status;  // a status word the dialog showed
        int message27;       // times message 27 was shown
    } cases[] = {
        {"bad checksum once", [](sim::TransferFaults& f) { f.badBlock = 3; }, TransferOutcome::Completed, "CS_NAK", 0},
        {"bad checksum always", [](sim::TransferFaults& f) { f.badBlock = 2, f.badEvery = true; },
         TransferOutcome::Failed, "RS_NAK", 0},
        {"stall once", [](sim::TransferFaults& f) { f.stallBlock = 4; }, TransferOutcome::Completed, "TS_NAK", 0},
        {"stall always", [](sim::TransferFaults& f) { f.stallBlock = 2, f.stallEvery = true; },
         TransferOutcome::Failed, "NS_NAK", 1},
        {"garbage makes an overlong frame", [](sim::TransferFaults& f) { f.garbageBlock = 2; },
         TransferOutcome::Completed, "TS_NAK", 0},
        {"line lost", [](sim::TransferFaults& f) { f.lostAt = 3; }, TransferOutcome::Failed, "NS_NAK", 1},
    };
    const fs::path usr = home.path() / "user" / "site.usr";
    writeText(usr, "an older download the site keeps");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimConfig cfg = switchConfig();
        c.fault(cfg.database.faults);
        host = ShellHost{};
        startSwitch(cfg);
        EXPECT_EQ(run(Direction::Download, usr), c.outcome);
        EXPECT_TRUE(sawStatus(c.status));
        const std::string msg27 = shell->messages().text[27];
        EXPECT_EQ(std::count(host.texts.begin(), host.texts.end(), msg27), c.message27);
        if (c.outcome == TransferOutcome::Completed) {
            EXPECT_GE(shell->transfer()->retries(), 1);
            EXPECT_EQ(fileBytes(usr).size(), 140u + 6000u);
            writeText(usr, "an older download the site keeps");
        } else {
            // A failed download leaves nothing half-written, and the old file as it was.
            EXPECT_EQ(readText(usr), "an older download the site keeps");
            EXPECT_FALSE(fs::exists(home.path() / "user" / "site.usr.part~"));
        }
    }
}

TEST_F(TransferFixture, BadChecksumsAlwaysEndWithDownLoadFail) {
    sim::SimConfig cfg = switchConfig();
    cfg.database.faults.badBlock = 1;
    cfg.database.faults.badEvery = true;
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "new.usr";
    EXPECT_EQ(run(Direction::Download, usr), TransferOutcome::Failed);
    EXPECT_EQ(lastText(), "DownLoad Fail!! (Retry:8)");
    EXPECT_FALSE(fs::exists(usr));
}

TEST_F(TransferFixture, UploadFaultsReachTheirOutcomes) {
    startSwitch(switchConfig());
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    const Bytes file = fileBytes(usr);
    struct Case {
        const char* name;
        void (*fault)(sim::TransferFaults&);
        TransferOutcome outcome;
        const char* status;
        const char* text;
    } cases[] = {
        {"refused once", [](sim::TransferFaults& f) { f.nakPacket = 2; }, TransferOutcome::Completed, "R_NAK",
         "UpLoad Complete!! (Retry:1)\r\nTPX should to be restarted for proper operation"},
        {"refused always", [](sim::TransferFaults& f) { f.nakPacket = 2, f.nakEvery = true; },
         TransferOutcome::Failed, "R_NAK", "UpLoad Fail R_NAK!! (Retry:9)"},
        {"line lost", [](sim::TransferFaults& f) { f.lostAt = 3; }, TransferOutcome::Failed, "TR_NAK",
         "UpLoad Fail Time-out!! (Retry:9)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimConfig cfg = switchConfig(2, "5.3Aa", false, 5);
        c.fault(cfg.database.faults);
        host = ShellHost{};
        startSwitch(cfg);
        const std::int64_t t0 = loop.monotonicMs();
        EXPECT_EQ(run(Direction::Upload, usr), c.outcome);
        EXPECT_TRUE(sawStatus(c.status));
        const std::string said = c.outcome == TransferOutcome::Completed ? host.questions.back() : lastText();
        EXPECT_EQ(said, c.text);
        EXPECT_EQ(fileBytes(usr), file);  // an upload never changes its file
        if (std::string(c.status) == "TR_NAK") {
            EXPECT_GE(loop.monotonicMs() - t0, 9 * 10000);
        }
    }
}

TEST_F(TransferFixture, CancelDeletesAPartialDownloadButNoUploadedFile) {
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true);
    cfg.database.basicSize = 40000;
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    host.userFile = usr;
    shell->transferCommand(Direction::Download);
    loop.advance(1500);  // part way
    ASSERT_FALSE(shell->transfer()->closed());
    shell->cancelTransfer();
    loop.waitUntil([&] { return shell->transfer()->closed(); }, 60000);
    EXPECT_EQ(shell->transfer()->outcome(), TransferOutcome::Cancelled);
    EXPECT_FALSE(fs::exists(usr));
    EXPECT_TRUE(fs::is_empty(home.path() / "user") ||
                !fs::exists(home.path() / "user" / "site.usr.part~"));

    cfg.database.basicSize = 6000;
    startSwitch(cfg);
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    const std::string usrText = readText(usr), extText = readText(home.path() / "user" / "site.exp");
    cfg.seed = 3;
    startSwitch(cfg);
    host.userFile = usr;
    shell->transferCommand(Direction::Upload);
    loop.advance(1100);  // identification and the delayed start
    shell->cancelTransfer();
    loop.waitUntil([&] { return shell->transfer()->closed(); }, 60000);
    EXPECT_EQ(shell->transfer()->outcome(), TransferOutcome::Cancelled);
    EXPECT_EQ(readText(usr), usrText);
    EXPECT_EQ(readText(home.path() / "user" / "site.exp"), extText);

    // Cancelled while the dialog still identifies: no packet ever reaches the switch.
    startSwitch(cfg);
    host.userFile = usr;
    shell->transferCommand(Direction::Upload);
    shell->cancelTransfer();
    loop.waitUntil([&] { return shell->transfer()->closed(); }, 60000);
    loop.advance(20000);
    EXPECT_EQ(sw().database().packetsStored(), 0);
    EXPECT_EQ(std::count(sw().received().begin(), sw().received().end(), 0xFC), 0);
}

TEST_F(TransferFixture, AMissingExtensionFileEndsTheUploadAfterTheBasicPart) {
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true, 1);
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    fs::remove(home.path() / "user" / "site.exp");
    cfg.seed = 6;
    startSwitch(cfg);
    const Bytes extBefore = sw().database().extension();
    ASSERT_EQ(run(Direction::Upload, usr), TransferOutcome::Completed);
    EXPECT_EQ(sw().database().extension(), extBefore);
    EXPECT_EQ(shell->transfer()->view().basicDone, 6000u);
}

TEST_F(TransferFixture, LeavingTheProgramDuringADownloadDeletesIt) {
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true);
    cfg.database.basicSize = 40000;
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    host.userFile = usr;
    shell->transferCommand(Direction::Download);
    loop.advance(1500);
    shell->shutDown();
    EXPECT_TRUE(shell->transfer()->closed());
    EXPECT_FALSE(fs::exists(usr));
    EXPECT_FALSE(shell->link().linkUp());
}

TEST_F(TransferFixture, SilentIdentificationInTheDialogStartsWithoutExtension) {
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true);
    cfg.faults.identSilent = true;  // both identifications go unanswered
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(fileBytes(usr).size(), 140u + 6000u);
    EXPECT_FALSE(fs::exists(home.path() / "user" / "site.exp"));  // the basic part only
}

TEST_F(TransferFixture, LcrUploadSendsThePartialAreaOnly) {
    writeText(home.path() / "DATA" / "partial.dat", "LCR Area\r\n2097664 512 0 100\r\n0 0 0 0\r\n0 0 0 0\r\n0 0 0 0\r\n0 0 0 0\r\n");
    sim::SimConfig cfg = switchConfig(2, "5.3Aa", true, 1);
    startSwitch(cfg);
    const fs::path usr = home.path() / "user" / "site.usr";
    ASSERT_EQ(run(Direction::Download, usr), TransferOutcome::Completed);
    const Bytes original = sw().database().basic(), originalExt = sw().database().extension();

    cfg.seed = 9;
    startSwitch(cfg);
    EXPECT_EQ(shell->lcrCommandText(), "LCR Area");
    const Bytes before = sw().database().basic(), beforeExt = sw().database().extension();
    ASSERT_EQ(run(Direction::Upload, usr, true), TransferOutcome::Completed);
    const Bytes& after = sw().database().basic();
    for (std::size_t i = 0; i < after.size(); ++i) {
        const bool inArea = i >= 512 && i < 1024 && !ProtectedFields(2, "5.3Aa").fieldEnd(0x200000 + i);
        ASSERT_EQ(after[i], inArea ? original[i] : before[i]) << i;
    }
    const Bytes& ext = sw().database().extension();
    for (std::size_t i = 0; i < ext.size(); ++i) ASSERT_EQ(ext[i], i < 100 ? originalExt[i] : beforeExt[i]) << i;
    EXPECT_FALSE(shell->lcrFlag());

    writeText(home.path() / "DATA" / "partial.dat", "");
    startSwitch(cfg);
    shell->lcrUpload();
    EXPECT_EQ(lastText(), "There is no information for partial uploading!!");
}

TEST_F(TransferFixture, OldFormatFileIsConvertedOnlyWhenTheUserAgrees) {
    startSwitch(switchConfig(1, "3.1Aa"));
    Bytes header(78, 0);
    header[0] = 1;
    std::copy_n("3.1Aa", 5, header.begin() + 1);
    writeBe32(header, 6, 303);
    Bytes old = header;
    for (std::uint8_t b : {0x00, 0xF0, 0x41, 0x00, 0x3C, 0xFF, 0x02}) old.push_back(b);
    const fs::path usr = home.path() / "user" / "old.usr";
    writeText(usr, toString(old));
    host.answerYes = false;
    EXPECT_EQ(run(Direction::Upload, usr), TransferOutcome::Declined);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0],
              "Note : The data file is old format.\r\n       Conversion will overwrite the file.\r\n"
              "       It takes about 30 sec to convert.\r\n       Are you sure to convert and continue?");
    EXPECT_EQ(fileBytes(usr), old);

    host.answerYes = true;
    EXPECT_EQ(run(Direction::Upload, usr), TransferOutcome::Completed);
    EXPECT_TRUE(hasMagic(fileBytes(usr)));
    const Bytes& mem = sw().database().basic();
    EXPECT_EQ(Bytes(mem.begin(), mem.begin() + 303),
              [] { Bytes e(240, 0); e.push_back(0x41); e.insert(e.end(), 60, 0); e.push_back(0xFF); e.push_back(0xFF); return e; }());

    // Coded data cut short: "Abnormal case to read", and the file stays as it was.
    Bytes broken = header;
    broken.push_back(0x41);
    broken.push_back(0xFF);
    writeText(usr, toString(broken));
    EXPECT_EQ(run(Direction::Upload, usr), TransferOutcome::Failed);
    EXPECT_EQ(lastText(), "Abnormal case to read");
    EXPECT_EQ(fileBytes(usr), broken);
}

TEST(UploadWarning, TextsAndWhenToAsk) {
    struct Case {
        int swModel;
        const char* swVersion;
        int fileModel;
        const char* fileVersion;
        bool ask;
        const char* starts;
        const char* contains;
    } cases[] = {
        {2, "5.3Aa", 2, "5.3Aa", false, "Warning: Current TPX is \"5.3Aa\" and the version of file is \"5.3Aa\"\r\n", ""},
        {2, "5.3Ab", 2, "5.3Aa", true, "Warning: Current TPX is \"5.3Ab\"",
         "Please check your TPX system and version\r\nIf major version(first 3 position) does not match,\r\n"
         "there are big trouble in your system\r\nIf you don't know the version, please contact your dealer \r\n"
         "On \"Unknown\" System, don't support Remote Update.\r\n\r\nAre you sure to update?\r\n"},
        {2, "5.4Aa", 2, "5.3Aa", true, "Warning: Current TPX is \"5.4Aa\"",
         "If major version does not match, TPX might suffer serious problem\r\nAre you sure to update?\r\n"},
        {18, "5.3Aa", 2, "5.3Aa", true, "Warning", "If major version does not match"},
        {2, "4.0Aa", 2, "4.0Aa", true, "Warning: Current TPX is \"Unknown\" and the version of file is \"4.0Aa\"\r\n",
         "On \"Unknown\" System"},
    };
    for (const auto& c : cases) {
        bool ask = false;
        std::string t = uploadWarningText(c.swModel, c.swVersion, c.fileModel, c.fileVersion, &ask);
        EXPECT_EQ(ask, c.ask) << t;
        EXPECT_EQ(t.rfind(c.starts, 0), 0u) << t;
        EXPECT_NE(t.find(c.contains), std::string::npos) << t;
    }
}

// --- exact bytes against a scripted far end ---------------------------------------------------

namespace {

struct Far : CommLinkHost {
    void showFileError(const SysStatus&) override {}
    void appendLinkNote(const std::string&) override {}
};

struct EngineHost : TransferHost {
    void showText(const std::string& t) override { texts.push_back(t); }
    void showMessage(int n) override { texts.push_back("message " + std::to_string(n)); }
    bool askYesNo(const std::string&) override { return false; }
    void showFileError(const SysStatus& e) override { texts.push_back(e.message()); }
    void setWaitCursor(bool) override {}
    void transferViewChanged(const TransferView&) override {}
    void transferClosed() override { closed = true; }
    std::vector<std::string> texts;
    bool closed = false;
};

// Answers the identification and acknowledges every packet; records the packets.
struct ScriptedUpload : ::testing::Test {
    ScriptedUpload() : opener(loop), transcript(loop) {}
    std::vector<Bytes> upload(std::uint8_t model, const char* version, const Bytes& data, int baud = 9600) {
        Bytes file = makePrefix(0xFFFF);
        Bytes header(78, 0);
        header[0] = model;
        std::copy_n(version, 5, header.begin() + 1);
        writeBe32(header, 6, static_cast<std::uint32_t>(data.size()));
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(), data.begin(), data.end());
        writeText(dir.path() / "f.usr", toString(file));
        std::vector<Bytes> packets;
        Bytes partial;
        opener.onWrite = [&](ByteView b) {
            if (b.size() == 1 && b[0] == 0xFD) {
                Bytes id = {model, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
                std::copy_n(version, 5, id.begin() + 1);
                loop.postAfter(5, [this, id] { opener.last->sink(id); });
                return;
            }
            partial.insert(partial.end(), b.begin(), b.end());
            if (partial[0] != 0xFC) {
                partial.clear();
                return;
            }
            if (partial.size() < 7 || partial.size() < 10u + ((partial[5] << 8) | partial[6])) return;
            packets.push_back(partial);
            partial.clear();
            loop.postAfter(5, [this] { opener.last->sink(Bytes{0x06}); });
        };
        CCommLink link(loop, opener, far, transcript, dir.path());
        link.settings().baudRate = baud;
        link.openSerial();
        TransferSetup setup;
        setup.direction = Direction::Upload;
        setup.userFile = dir.path() / "f.usr";
        setup.sessionModel = model;
        setup.sessionVersion = version;
        TransferEngine engine(loop, link, host, setup);
        link.setConsumer(kModeTransfer, [&](ByteView c) { engine.receive(c); });
        link.setReceiveMode(kModeTransfer);
        engine.open();
        loop.waitUntil([&] { return engine.closed(); }, 600000);
        EXPECT_EQ(engine.outcome(), TransferOutcome::Completed);
        return packets;
    }
    // A download from a TPX300 3.0Aa into d.usr against the far end opener.onWrite plays.
    TransferOutcome download(int* retries = nullptr) {
        CCommLink link(loop, opener, far, transcript, dir.path());
        link.openSerial();
        TransferSetup setup;
        setup.userFile = dir.path() / "d.usr";
        setup.sessionModel = 1;
        setup.sessionVersion = "3.0Aa";
        TransferEngine engine(loop, link, host, setup);
        link.setConsumer(kModeTransfer, [&](ByteView c) { engine.receive(c); });
        link.setReceiveMode(kModeTransfer);
        engine.open();
        loop.waitUntil([&] { return engine.closed(); }, 60000);
        if (retries) *retries = engine.retries();
        return engine.outcome();
    }
    // Applies the packets to a memory image as the switch decodes them.
    static std::map<std::uint32_t, std::uint8_t> apply(const std::vector<Bytes>& packets) {
        std::map<std::uint32_t, std::uint8_t> mem;
        for (const Bytes& p : packets) {
            std::uint32_t a = *readBe32(p, 1);
            const std::size_t n = static_cast<std::size_t>((p[5] << 8) | p[6]);
            Bytes data = decodeRunLength(ByteView(p).subspan(7, n));
            for (std::uint8_t b : data) {
                EXPECT_EQ(mem.count(a), 0u) << "written twice: " << std::hex << a;
                mem[a++] = b;
            }
        }
        return mem;
    }

    TempDir dir;
    VirtualLoop loop;
    RecordingOpener opener;
    Far far;
    Transcript transcript;
    EngineHost host;
};

}  // namespace

TEST_F(ScriptedUpload, ThreeHundredZerosMakeOnePacketOfFourCodedBytes) {
    auto packets = upload(1, "3.0Aa", Bytes(300, 0x00));
    ASSERT_EQ(packets.size(), 1u);
    Bytes body(packets[0].begin(), packets[0].end() - 3);
    EXPECT_EQ(body, (Bytes{0xFC, 0x00, 0x20, 0x00, 0x00, 0x00, 0x04, 0x00, 0xF0, 0x00, 0x3C}));
    EXPECT_EQ(packets[0].back(), 0x45);
    EXPECT_EQ(packets[0][packets[0].size() - 3], byteSum16(body) >> 8);  // 3.0Aa: the sum, high first

    packets = upload(1, "3.5Aa", Bytes{0x41, 0xFF, 0xFF, 0x42});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(Bytes(packets[0].begin() + 7, packets[0].begin() + 11), (Bytes{0x41, 0xFF, 0x02, 0x42}));
    const std::uint16_t crc = crc16Arc(ByteView(packets[0]).first(11));
    EXPECT_EQ(packets[0][11], crc & 0xFF);  // 3.5Aa: the CRC, low first
    EXPECT_EQ(packets[0][12], crc >> 8);
}

TEST_F(ScriptedUpload, PacketsStayWithinTheirLimitsAndMissNoByte) {
    Bytes data;
    std::uint32_t s = 7;
    while (data.size() < 20000) {
        s = s * 1103515245 + 12345;
        const std::size_t run = 1 + (s >> 16) % 300;
        const std::uint8_t v = (s >> 8) % 3 == 0 ? 0x00 : (s >> 8) % 3 == 1 ? 0xFF : static_cast<std::uint8_t>(s >> 24);
        data.insert(data.end(), run, v);
    }
    auto packets = upload(2, "5.3Aa", data);
    for (const Bytes& p : packets) {
        const std::size_t n = static_cast<std::size_t>((p[5] << 8) | p[6]);
        EXPECT_LE(n, 101u);
        EXPECT_LE(p.size(), 111u);
        EXPECT_EQ(p.size(), n + 10);
    }
    auto mem = apply(packets);
    ProtectedFields fields(2, "5.3Aa");
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint32_t a = static_cast<std::uint32_t>(0x200000 + i);
        if (fields.fieldEnd(a)) {
            ASSERT_EQ(mem.count(a), 0u) << "protected " << std::hex << a;
        } else {
            ASSERT_EQ(mem.count(a), 1u) << "missing " << std::hex << a;
            ASSERT_EQ(mem[a], data[i]) << std::hex << a;
        }
    }
    for (std::uint32_t a : {0x2000DCu, 0x2000E3u, 0x2001D4u, 0x2001DBu}) EXPECT_EQ(mem.count(a), 0u);
}

TEST_F(ScriptedUpload, RunsThatReachAProtectedFieldCarryTheirFullCount) {
    // Zeros up to and across the first field: every zero before the field must arrive.
    Bytes data(0x200, 0x00);
    auto mem = apply(upload(2, "5.3Aa", data));
    for (std::uint32_t a = 0x200000; a < 0x2000DC; ++a) ASSERT_EQ(mem.count(a), 1u) << std::hex << a;
    EXPECT_EQ(mem.count(0x2000DC), 0u);
    EXPECT_EQ(mem.count(0x2000E4), 1u);
}

TEST_F(ScriptedUpload, TpxRviiAt9600BaudGoesByteByByteWithPauses) {
    auto packets = upload(3, "1.0Aa", Bytes{1, 2, 3, 4, 5}, 9600);
    ASSERT_EQ(packets.size(), 1u);
    // The packet's bytes went out one write each; a 1 ms pause came before each odd offset.
    auto first = std::find_if(opener.log.begin(), opener.log.end(), [](const DeviceEvent& e) { return e.what == "write fc "; });
    ASSERT_NE(first, opener.log.end());
    for (std::size_t i = 1; i < packets[0].size(); ++i) {
        const DeviceEvent& e = *(first + static_cast<std::ptrdiff_t>(i));
        ASSERT_EQ(e.what, "write " + hexList(ByteView(packets[0]).subspan(i, 1)));
        EXPECT_EQ(e.atMs - (first + static_cast<std::ptrdiff_t>(i) - 1)->atMs, i % 2 == 1 ? 1 : 0) << "offset " << i;
    }
    opener.log.clear();
    packets = upload(3, "1.0Aa", Bytes{1, 2, 3, 4, 5}, 4800);  // below 9600: one block
    bool oneBlock = false;
    for (const auto& e : opener.log) oneBlock = oneBlock || e.what.rfind("write fc ", 0) == 0;
    EXPECT_TRUE(oneBlock);
}

TEST_F(ScriptedUpload, AFrameLongerThanThePacketBufferIsRefusedAndSkipped) {
    Bytes header(78, 0);
    header[0] = 1;
    std::copy_n("3.0Aa", 5, header.begin() + 1);
    writeBe32(header, 6, 3);
    auto frameOf = [](const Bytes& coded) {
        Bytes f;
        appendBe16(f, static_cast<std::uint16_t>(coded.size()));
        f.insert(f.end(), coded.begin(), coded.end());
        appendBe16(f, byteSum16(f));
        f.push_back(0x03);
        return f;
    };
    opener.onWrite = [&](ByteView b) {
        if (b.size() == 1 && b[0] == 0xFD) {
            loop.postAfter(5, [this] { opener.last->sink(Bytes{1, '3', '.', '0', 'A', 'a', 0, 0, 0, 0, 0, 0xFF, 0xFF}); });
        } else if (b.size() == 2 && b[0] == 0xFB) {
            Bytes first = header;
            Bytes big = frameOf(Bytes(600, 0x41));  // 605 bytes: beyond the 514-byte buffer
            first.insert(first.end(), big.begin(), big.end());
            loop.postAfter(5, [this, first] { opener.last->sink(first); });
        } else if (b.size() == 1 && b[0] == 0x15) {
            Bytes good = frameOf(Bytes{0x41, 0x42, 0x43});
            loop.postAfter(5, [this, good] { opener.last->sink(good); });
        }
    };
    int retries = -1;
    EXPECT_EQ(download(&retries), TransferOutcome::Completed);
    EXPECT_EQ(retries, 1);
    EXPECT_EQ(opener.writes(), (std::vector<std::string>{"fd ", "f9 0a ", "fb 45 ", "15 ", "06 ", "33 "}));
    Bytes file = toBytes(readText(dir.path() / "d.usr"));
    EXPECT_EQ(Bytes(file.begin() + 140, file.end()), (Bytes{0x41, 0x42, 0x43}));
}

TEST_F(ScriptedUpload, DownloadFrameOfThreeCodedBytes) {
    Bytes header(78, 0);
    header[0] = 1;
    std::copy_n("3.0Aa", 5, header.begin() + 1);
    writeBe32(header, 6, 3);
    opener.onWrite = [&](ByteView b) {
        if (b.size() == 1 && b[0] == 0xFD) {
            loop.postAfter(5, [this] { opener.last->sink(Bytes{1, '3', '.', '0', 'A', 'a', 0, 0, 0, 0, 0, 0xFF, 0xFF}); });
        } else if (b.size() == 2 && b[0] == 0xFB) {
            Bytes frame = header;
            Bytes block = {0x00, 0x03, 0x41, 0xFF, 0x02};
            const std::uint16_t sum = byteSum16(block);
            block.push_back(static_cast<std::uint8_t>(sum >> 8));
            block.push_back(static_cast<std::uint8_t>(sum));
            block.push_back(0x03);
            frame.insert(frame.end(), block.begin(), block.end());
            loop.postAfter(5, [this, frame] { opener.last->sink(frame); });
        }
    };
    EXPECT_EQ(download(), TransferOutcome::Completed);
    Bytes file = toBytes(readText(dir.path() / "d.usr"));
    ASSERT_EQ(file.size(), 143u);
    EXPECT_EQ(Bytes(file.begin() + 140, file.end()), (Bytes{0x41, 0xFF, 0xFF}));
    EXPECT_EQ(opener.writes(), (std::vector<std::string>{"fd ", "f9 0a ", "fb 45 ", "06 ", "33 "}));
}
