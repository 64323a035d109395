// tpxsim: a simulated TPX switch on a pseudo-terminal.
//
//   tpxsim --pty LINK [--baud N] [--model CODE] [--version TEXT] [--nation HEX]
//          [--password DIGITS] [--ext-memory] [--seed N] [faults]
//   tpxsim --isdn PORT [--isdn-number NUMBER] [--capi20rc DIR]
//
// LINK becomes a symbolic link to the pseudo-terminal's slave; point a program's COM port
// at it (TPX_COM1=LINK). --isdn runs a simulated ISDN network that libcapi20 reaches
// through DIR/.capi20rc. Runs until SIGINT or SIGTERM, then removes LINK.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "common/files.h"
#include "common/realtimeloop.h"
#include "platform/pty.h"
#include "sim/isdn/capinetwork.h"
#include "sim/isdn/switchparty.h"
#include "sim/localupgrade.h"
#include "sim/pacedoutput.h"
#include "sim/switchsim.h"

namespace {

void usage(std::FILE* to) {
    std::fputs(
        "usage: tpxsim --pty LINK [options]\n"
        "  --pty LINK         create a pseudo-terminal and make LINK a symlink to it\n"
        "  --baud N           pace the switch's output at N baud (0 = no pacing; default 9600)\n"
        "  --model CODE       model code: 1 TPX300, 2 TPX560, 3 TPX-RVII, 4 TPX-LYRA,\n"
        "                     5 TPX-WLYRA; add 16 for the Hotel variant (default 2)\n"
        "  --version TEXT     software version, five characters (default 4.0Aa)\n"
        "  --nation HEX       nation code (default 82FF)\n"
        "  --password DIGITS  admin password (default none: \"tovrix\" is accepted)\n"
        "  --ext-memory       the switch has extension memory\n"
        "  --seed N           seed of the simulated database contents\n"
        "  --ack MODE         answer to a login: accept (default), refuse (0xF3),\n"
        "                     sorry (\"SORRY\"), silent (no answer)\n"
        "  --fault NAME       inject a fault (repeatable): no-prompt, deny (\"Access\n"
        "                     Canceled!\"), ident-silent, ident-short, ident-split;\n"
        "                     in transfers (K counts blocks or packets from 1):\n"
        "                     bad-block:K, bad-block-always:K, stall:K, stall-always:K,\n"
        "                     garbage:K, nak:K, nak-always:K, lost:K\n"
        "  --basic-size N     bytes of the basic database (default 49152)\n"
        "  --ext-size N       bytes of the extension database (default 8192)\n"
        "  --dump DIR         write basic.bin and ext.bin to DIR after every upload and at exit\n"
        "                     (the ISDN switch's into DIR/isdn when there is a --pty too)\n"
        "  --isdn PORT        run a simulated ISDN network (remote CAPI) on 127.0.0.1:PORT\n"
        "                     (0: any free port)\n"
        "  --isdn-rate BPS    the B-channel's rate (default 64000; 0: frames cross at once)\n"
        "  --isdn-number N    the switch's number (default 0123): it answers for remote\n"
        "                     administration, its console and database inside the frames\n"
        "  --isdn-fault NAME  no-nego, service-nack, wrong-service, packet-fail:K,\n"
        "                     clear-negotiation, clear-data:K (repeatable)\n"
        "  --capi20rc DIR     write DIR/.capi20rc naming the network (use DIR as HOME)\n"
        "  --key-log FILE     append every key code received in administration to FILE\n"
        "  --upgrade SYSTEM   a TPX-12 or TPX-24W: the pty serves its maintenance port in download\n"
        "                     mode (the local software upgrade) instead of the administration\n"
        "                     port, and the ISDN switch grants the remote upgrade service;\n"
        "                     --seed chooses its installed software, --dump DIR receives\n"
        "                     first.bin and second.bin of its memory after an upgrade\n"
        "  --upgrade-version TEXT  its VERSION_INF text\n"
        "  --upgrade-fault NAME    nack:K, nack-always:K, silent:K, silent-always:K, stray:K,\n"
        "                     drop:K (K a block number; over ISDN the call is cleared there),\n"
        "                     packet-fail:K (ISDN), no-prompt, no-version, boot-mismatch,\n"
        "                     total-nack, clear-checksum, clear-restart (ISDN) (repeatable)\n"
        "  --make-images DIR  write an image pair for --upgrade SYSTEM and --seed (first.bin,\n"
        "                     second.bin: its boot areas, new software elsewhere) and exit\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    tpx::sim::SimConfig cfg;
    std::string link;
    std::string dumpDir;
    int isdnPort = -1;
    std::string isdnNumber = "0123";
    std::string capiHome;
    tpx::sim::IsdnSwitchFaults isdnFaults;
    std::string upgradeSystem, upgradeVersion, imagesDir;
    int isdnRate = 64000;
    tpx::sim::UpgradeFaults upgradeFaults;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tpxsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        try {
            if (a == "--pty") link = next();
            else if (a == "--baud") cfg.baud = std::stoi(next());
            else if (a == "--model") cfg.model = std::stoi(next());
            else if (a == "--version") cfg.version = next();
            else if (a == "--nation") cfg.nation = static_cast<std::uint16_t>(std::stoul(next(), nullptr, 16));
            else if (a == "--password") cfg.password = next();
            else if (a == "--ext-memory") cfg.extensionMemory = true;
            else if (a == "--seed") cfg.seed = static_cast<std::uint32_t>(std::stoul(next()));
            else if (a == "--basic-size") cfg.database.basicSize = std::stoul(next());
            else if (a == "--ext-size") cfg.database.extSize = std::stoul(next());
            else if (a == "--dump") dumpDir = next();
            else if (a == "--key-log") cfg.keyLog = next();
            else if (a == "--upgrade") upgradeSystem = next();
            else if (a == "--upgrade-version") upgradeVersion = next();
            else if (a == "--make-images") imagesDir = next();
            else if (a == "--upgrade-fault") {
                std::string f = next();
                tpx::sim::UpgradeFaults& u = upgradeFaults;
                if (f == "no-prompt") u.noPrompt = true;
                else if (f == "no-version") u.noVersion = true;
                else if (f == "boot-mismatch") u.bootMismatch = true;
                else if (f == "total-nack") u.totalNack = true;
                else if (f == "clear-checksum") u.clearAtChecksum = true;
                else if (f == "clear-restart") u.clearAtRestart = true;
                else {
                    auto colon = f.find(':');
                    if (colon == std::string::npos) throw std::invalid_argument(f);
                    const std::string kind = f.substr(0, colon);
                    const int k = std::stoi(f.substr(colon + 1));
                    if (kind == "nack") u.nackBlock = k;
                    else if (kind == "nack-always") u.nackBlock = k, u.nackAlways = true;
                    else if (kind == "silent") u.silentBlock = k;
                    else if (kind == "silent-always") u.silentBlock = k, u.silentAlways = true;
                    else if (kind == "stray") u.strayBlock = k;
                    else if (kind == "drop") u.dropBlock = k;
                    else if (kind == "packet-fail") u.packetFailBlock = k;
                    else throw std::invalid_argument(f);
                }
            }
            else if (a == "--isdn") isdnPort = std::stoi(next());
            else if (a == "--isdn-number") isdnNumber = next();
            else if (a == "--isdn-rate") isdnRate = std::stoi(next());
            else if (a == "--capi20rc") capiHome = next();
            else if (a == "--isdn-fault") {
                std::string f = next();
                if (f == "no-nego") isdnFaults.noNegoStart = true;
                else if (f == "service-nack") isdnFaults.serviceNack = true;
                else if (f == "wrong-service") isdnFaults.wrongService = true;
                else if (f == "clear-negotiation") isdnFaults.clearInNegotiation = true;
                else if (f.rfind("packet-fail:", 0) == 0) isdnFaults.packetFailAt = std::stoi(f.substr(12));
                else if (f.rfind("clear-data:", 0) == 0) isdnFaults.clearAfterData = std::stoi(f.substr(11));
                else throw std::invalid_argument(f);
            }
            else if (a == "--ack") {
                std::string m = next();
                if (m == "accept") cfg.ack = tpx::sim::AckMode::Accept;
                else if (m == "refuse") cfg.ack = tpx::sim::AckMode::Refuse;
                else if (m == "sorry") cfg.ack = tpx::sim::AckMode::Sorry;
                else if (m == "silent") cfg.ack = tpx::sim::AckMode::Silent;
                else throw std::invalid_argument(m);
            } else if (a == "--fault") {
                std::string f = next();
                tpx::sim::SimFaults& faults = cfg.faults;
                if (f == "no-prompt") faults.noPrompt = true;
                else if (f == "deny") faults.deny = true;
                else if (f == "ident-silent") faults.identSilent = true;
                else if (f == "ident-short") faults.identShort = true;
                else if (f == "ident-split") faults.identSplit = true;
                else {
                    auto colon = f.find(':');
                    if (colon == std::string::npos) throw std::invalid_argument(f);
                    const std::string kind = f.substr(0, colon);
                    const int k = std::stoi(f.substr(colon + 1));
                    tpx::sim::TransferFaults& t = cfg.database.faults;
                    if (kind == "bad-block") t.badBlock = k;
                    else if (kind == "bad-block-always") t.badBlock = k, t.badEvery = true;
                    else if (kind == "stall") t.stallBlock = k;
                    else if (kind == "stall-always") t.stallBlock = k, t.stallEvery = true;
                    else if (kind == "garbage") t.garbageBlock = k;
                    else if (kind == "nak") t.nakPacket = k;
                    else if (kind == "nak-always") t.nakPacket = k, t.nakEvery = true;
                    else if (kind == "lost") t.lostAt = k;
                    else throw std::invalid_argument(f);
                }
            }
            else if (a == "--help" || a == "-h") {
                usage(stdout);
                return 0;
            } else {
                std::fprintf(stderr, "tpxsim: unknown option %s\n", a.c_str());
                usage(stderr);
                return 2;
            }
        } catch (const std::exception&) {
            std::fprintf(stderr, "tpxsim: bad value for %s\n", a.c_str());
            return 2;
        }
    }
    cfg.paceInput = true;  // a pseudo-terminal has no line rate of its own
    tpx::sim::UpgradeConfig ucfg;
    if (!upgradeSystem.empty()) {
        if (upgradeSystem != "TPX-12" && upgradeSystem != "TPX-24W") {
            std::fprintf(stderr, "tpxsim: --upgrade takes TPX-12 or TPX-24W\n");
            return 2;
        }
        ucfg.system = upgradeSystem == "TPX-24W" ? 1 : 0;
        ucfg.seed = cfg.seed;
        ucfg.baud = cfg.baud;
        ucfg.faults = upgradeFaults;
        ucfg.version = !upgradeVersion.empty() ? upgradeVersion : ucfg.system == 1 ? "TPX-24W V31" : "TPX-12 V2.5";
    }
    if (!imagesDir.empty()) {
        if (upgradeSystem.empty()) {
            std::fprintf(stderr, "tpxsim: --make-images needs --upgrade SYSTEM\n");
            return 2;
        }
        tpx::Bytes first, second;
        tpx::sim::LocalUpgradeSim::makeImages(ucfg.system, ucfg.seed, first, second);
        const bool ok = tpx::writeFileAtomically(std::filesystem::path(imagesDir) / "first.bin", tpx::toString(first)).ok() &&
                        tpx::writeFileAtomically(std::filesystem::path(imagesDir) / "second.bin", tpx::toString(second)).ok();
        if (!ok) {
            std::fprintf(stderr, "tpxsim: cannot write the images to %s\n", imagesDir.c_str());
            return 1;
        }
        return 0;
    }
    if ((link.empty() && isdnPort < 0) || cfg.baud < 0 || cfg.version.size() != 5 ||
        (!upgradeSystem.empty() && link.empty() && isdnPort < 0)) {
        usage(stderr);
        return 2;
    }

    // Signals are taken by one thread with sigwait, so the loop stops cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<tpx::sim::CapiNetwork> network;
    // The switch on the ISDN line: its own database (it lives on the network's thread).
    // With a pseudo-terminal too, the ISDN switch dumps into DIR/isdn.
    std::string isdnDump = dumpDir;
    if (!dumpDir.empty() && !link.empty()) {
        isdnDump = dumpDir + "/isdn";
        std::error_code mk;
        std::filesystem::create_directories(isdnDump, mk);
    }
    auto isdnSwitch = std::make_shared<tpx::sim::IsdnSwitch>(cfg, isdnFaults, isdnDump);
    // With --upgrade the switch on the ISDN line also grants the software upgrade service.
    if (!upgradeSystem.empty()) isdnSwitch->enableUpgrade(ucfg);
    isdnSwitch->setRate(isdnRate);
    if (isdnPort >= 0) {
        tpx::sim::IsdnConfig icfg;
        icfg.numbers[isdnNumber] = [isdnSwitch] { return isdnSwitch->answer(); };
        network = std::make_unique<tpx::sim::CapiNetwork>(icfg);
        tpx::SysStatus st = network->start(isdnPort);
        if (st.ok() && !capiHome.empty()) st = network->writeCapiConfig(capiHome);
        if (!st.ok()) {
            std::fprintf(stderr, "tpxsim: %s\n", st.message().c_str());
            return 1;
        }
        std::printf("tpxsim: ISDN network on 127.0.0.1:%d, number %s answers\n", network->port(), isdnNumber.c_str());
        std::fflush(stdout);
    }
    if (link.empty()) {
        std::atomic<bool> done{false};
        tpx::RealTimeLoop waitLoop;
        std::thread signals([&] {
            int sig = 0;
            sigwait(&stopSignals, &sig);
            waitLoop.post([&] { done = true; });
        });
        signals.detach();
        waitLoop.waitUntil([&] { return done.load(); }, tpx::EventLoop::kForever);
        network.reset();  // its thread stops before the counts are read
        std::printf("tpxsim: B-channel bytes out %llu in %llu\n", static_cast<unsigned long long>(isdnSwitch->bytesToPc()),
                    static_cast<unsigned long long>(isdnSwitch->bytesFromPc()));
        return 0;
    }

    tpx::SysStatus error;
    tpx::PtyPair pair = tpx::openPty(&error);
    if (pair.master < 0) {
        std::fprintf(stderr, "tpxsim: %s\n", error.message().c_str());
        return 1;
    }
    std::error_code ec;
    if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
    if (::symlink(pair.slavePath.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "tpxsim: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
        return 1;
    }

    tpx::RealTimeLoop loop;
    auto master = tpx::ptyMasterDevice(pair, loop);
    std::uint64_t bytesOut = 0, bytesIn = 0;
    std::atomic<bool> stop{false};
    auto waitForSignal = [&] {
        std::thread signals([&] {
            int sig = 0;
            sigwait(&stopSignals, &sig);
            loop.post([&] { stop = true; });
        });
        signals.detach();
        loop.waitUntil([&] { return stop.load(); }, tpx::EventLoop::kForever);
        master->close();
    };
    if (!upgradeSystem.empty()) {
        // The maintenance port in download mode.
        tpx::sim::LocalUpgradeSim up(loop, ucfg, [&](tpx::ByteView out) {
            bytesOut += out.size();
            (void)master->writeAll(out, 1000);
        });
        tpx::sim::PacedOutput input(loop, cfg.baud, 10, [&](tpx::ByteView in) { up.receive(in); });
        bool dumped = false;
        auto dumpRom = [&] {
            if (dumpDir.empty()) return;
            const std::filesystem::path d(dumpDir);
            if (!tpx::writeFileAtomically(d / "first.bin", tpx::toString(up.rom(0))).ok() ||
                !tpx::writeFileAtomically(d / "second.bin", tpx::toString(up.rom(1))).ok())
                std::fprintf(stderr, "tpxsim: cannot write the dump to %s\n", dumpDir.c_str());
        };
        master->startReading(
            [&](tpx::ByteView in) {
                bytesIn += in.size();
                input.write(in);
            },
            [](int) {});
        loop.setTimer(1, 200, [&] {
            if (up.upgraded() && !dumped) {
                dumped = true;
                dumpRom();
            }
        });
        std::printf("tpxsim: %s download mode on %s -> %s at %d baud\n", upgradeSystem.c_str(), link.c_str(),
                    master->name().c_str(), cfg.baud);
        std::fflush(stdout);
        waitForSignal();
        dumpRom();
        std::printf("tpxsim: blocks stored %d, restarts %d, checksums refused %d\n", up.blocksStored(), up.restarts(),
                    up.checksumsRefused());
        std::printf("tpxsim: line bytes out %llu in %llu\n", static_cast<unsigned long long>(bytesOut),
                    static_cast<unsigned long long>(bytesIn));
        std::filesystem::remove(link, ec);
        return 0;
    }
    tpx::sim::SwitchSim sim(loop, cfg, [&](tpx::ByteView out) {
        // No program on the line: what the switch says is lost, as on a real port.
        bytesOut += out.size();
        (void)master->writeAll(out, 1000);
    });
    int stored = 0;
    auto dump = [&] {
        if (!dumpDir.empty() && !sim.database().dump(dumpDir))
            std::fprintf(stderr, "tpxsim: cannot write the dump to %s\n", dumpDir.c_str());
    };
    dump();
    master->startReading(
        [&](tpx::ByteView in) {
            bytesIn += in.size();
            sim.receive(in);
            // After an upload (packets stored and the transfer over) the dump follows.
            if (sim.database().packetsStored() != stored && !sim.database().active()) {
                stored = sim.database().packetsStored();
                dump();
            }
        },
        [](int) {});

    std::printf("tpxsim: %s serving %s -> %s at %d baud\n", tpx::sim::modelName(cfg.model).c_str(),
                link.c_str(), master->name().c_str(), cfg.baud);
    std::fflush(stdout);
    waitForSignal();
    dump();
    std::printf("tpxsim: line bytes out %llu in %llu\n", static_cast<unsigned long long>(bytesOut),
                static_cast<unsigned long long>(bytesIn));
    std::filesystem::remove(link, ec);
    return 0;
}
