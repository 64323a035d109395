// The simulated TPX switch: the switch side of the administration port, written from the
// protocol description alone (it shares no code with the programs' engines beyond the
// common byte helpers). Bytes from the PC go in through receive(); the switch's answers go
// out through the output sink, paced at line rate.
//
// The switch is a set of services, one per protocol on the administration port:
//   console   echoes what it is sent; a CR wakes it and it asks "ADMIN PASSWORD: "
//   password  collects the password up to CR (no echo): the keypad key codes of the
//             configured password, or "tovrix" when none is set; answers 0xF2 (and enters
//             administration), 0xF3 (refused) or "SORRY" (busy)
//   admin     0xFD: the 13-byte identification; 0xF9 0x0A starts a database transfer
//             (sim/database.h); TRANS/PGM (56) starts programming by keyset
//             (sim/keysetmenu.h); MON (key code 51) leaves administration
//   "wumbat" given as the password opens the maintenance login, where "r tpx" restarts
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "sim/database.h"
#include "sim/keysetmenu.h"
#include "sim/pacedoutput.h"

namespace tpx::sim {

enum class AckMode { Accept, Refuse, Sorry, Silent };

struct SimFaults {
    bool noPrompt = false;     // a CR wakes nothing
    bool deny = false;         // the console answers "Access Canceled!"
    bool identSilent = false;  // no identification reply
    bool identShort = false;   // only the first 7 bytes of it
    bool identSplit = false;   // the reply in three parts, a second apart
};

struct SimConfig {
    int model = 2;                 // model code (1..5, +16 for the Hotel variant)
    std::string version = "4.0Aa"; // software version, five characters
    std::uint16_t nation = 0x82FF; // nation code
    std::string password;          // admin password ("" accepts "tovrix")
    bool extensionMemory = false;
    int baud = 9600;               // 0 = no pacing
    int bitsPerChar = 10;          // start + 8 data + stop
    // Take received bytes at line rate too (a pseudo-terminal delivers them at once; an
    // in-process line already delays them).
    bool paceInput = false;
    std::uint32_t seed = 1;
    AckMode ack = AckMode::Accept;
    SimFaults faults;
    // The database: sizes, extension address and transfer faults (model, version, seed
    // and extension memory come from the fields above).
    DatabaseConfig database;
    // Where every key code received in administration is logged, one decimal code a line
    // (empty: no log).
    std::string keyLog;
};

// The console name of a model code: "TPX560" and so on.
std::string modelName(int model);

class SwitchSim {
public:
    using Sink = std::function<void(ByteView)>;
    SwitchSim(EventLoop& loop, SimConfig config, Sink toLine);
    ~SwitchSim();

    // Bytes the PC sent.
    void receive(ByteView bytes);
    // Where the switch's output goes from now on (a new call on another line).
    void setSink(Sink toLine);
    // A new connection to the administration port: the console starts afresh.
    void resetPort();
    const SimConfig& config() const { return config_; }
    // Everything the switch was sent so far (for tests).
    const Bytes& received() const { return received_; }
    // Where the administration port is.
    enum class State { Console, Password, Admin, Transfer, Maintenance };
    State state() const { return state_; }
    // How many identification requests it answered, logins it accepted.
    int identifications() const { return identifications_; }
    int logins() const { return logins_; }
    int restarts() const { return restarts_; }
    SimDatabase& database() { return *db_; }
    KeysetMenu& keyset() { return *keyset_; }
    const SimDatabase& database() const { return *db_; }

    // The 13-byte identification reply of this switch.
    Bytes identification() const;
    // The password as it arrives on the line (key codes, or "tovrix" when none is set).
    Bytes expectedPassword() const;

private:
    void send(std::string_view text);
    void send(ByteView bytes) { out_.write(bytes); }
    void console(std::uint8_t b);
    void password(std::uint8_t b);
    void admin(std::uint8_t b);
    void wake();
    void process(ByteView bytes);
    void maintenance(std::uint8_t b);

    EventLoop& loop_;
    SimConfig config_;
    PacedOutput out_;
    std::unique_ptr<PacedOutput> in_;
    Bytes received_;
    State state_ = State::Console;
    Bytes typed_;
    int identifications_ = 0;
    int logins_ = 0;
    int restarts_ = 0;
    bool startByte_ = false;  // 0xF9 seen, 0x0A expected
    std::string line_;
    std::unique_ptr<SimDatabase> db_;
    std::unique_ptr<KeysetMenu> keyset_;
    std::FILE* keyLog_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tpx::sim
