#include "sim/switchsim.h"

namespace tpx::sim {

std::string modelName(int model) {
    switch (model & 0x0F) {
        case 1: return "TPX300";
        case 2: return "TPX560";
        case 3: return "TPX-RVII";
        case 4: return "TPX-LYRA";
        case 5: return "TPX-WLYRA";
        default: return "TPX";
    }
}

SwitchSim::SwitchSim(EventLoop& loop, SimConfig config, Sink toLine)
    : loop_(loop), config_(std::move(config)), out_(loop, config_.baud, config_.bitsPerChar, std::move(toLine)) {
    DatabaseConfig db = config_.database;
    db.model = config_.model;
    db.version = config_.version;
    db.extension = config_.extensionMemory;
    db.seed = config_.seed;
    db_ = std::make_unique<SimDatabase>(loop_, db, [this](ByteView b) { send(b); });
    keyset_ = std::make_unique<KeysetMenu>((config_.model & 0x0F) >= 4, config_.version, [this](ByteView b) { send(b); });
    if (!config_.keyLog.empty()) keyLog_ = std::fopen(config_.keyLog.c_str(), "a");
    if (config_.paceInput && config_.baud > 0)
        in_ = std::make_unique<PacedOutput>(loop_, config_.baud, config_.bitsPerChar,
                                            [this](ByteView b) { process(b); });
}

SwitchSim::~SwitchSim() {
    *alive_ = false;
    if (keyLog_) std::fclose(keyLog_);
}

void SwitchSim::setSink(Sink toLine) { out_.setSink(std::move(toLine)); }

void SwitchSim::resetPort() {
    out_.discard();
    state_ = State::Console;
    keyset_->leave();
    startByte_ = false;
    typed_.clear();
    line_.clear();
    if (db_->active()) db_->receive(51);  // whatever transfer ran has ended with the line
}

void SwitchSim::send(std::string_view text) { out_.write(asBytes(text)); }

void SwitchSim::receive(ByteView bytes) {
    if (in_) in_->write(bytes);
    else process(bytes);
}

void SwitchSim::process(ByteView bytes) {
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    for (std::uint8_t b : bytes) {
        switch (state_) {
            case State::Console: console(b); break;
            case State::Password: password(b); break;
            case State::Admin: admin(b); break;
            case State::Transfer:
                if (!db_->receive(b)) state_ = State::Console;  // MON ended administration
                break;
            case State::Maintenance: maintenance(b); break;
        }
    }
}

void SwitchSim::wake() {
    if (config_.faults.noPrompt) {
        send("\r\n");
        return;
    }
    if (config_.faults.deny) {
        send("\r\nAccess Canceled!\r\n");
        return;
    }
    send("\r\n" + modelName(config_.model) + " ADMIN PASSWORD: ");
    typed_.clear();
    state_ = State::Password;
}

void SwitchSim::console(std::uint8_t b) {
    if (b == '\r') {
        wake();
    } else if (b == 0x08) {
        send("\b \b");
    } else if (b >= 0x20 && b <= 0x7E) {
        const char c = static_cast<char>(b);
        send(std::string_view(&c, 1));
    }
}

Bytes SwitchSim::expectedPassword() const {
    if (config_.password.empty()) return toBytes("tovrix");
    Bytes keys;
    for (char c : config_.password) {
        if (c >= '1' && c <= '9') keys.push_back(static_cast<std::uint8_t>(c - '0'));
        else if (c == '0') keys.push_back(10);
        else if (c == '*') keys.push_back(11);
        else if (c == '#') keys.push_back(12);
    }
    return keys;
}

void SwitchSim::password(std::uint8_t b) {
    if (b != '\r') {
        if (typed_.size() < 64) typed_.push_back(b);
        return;
    }
    state_ = State::Console;
    if (toString(typed_) == "wumbat") {
        state_ = State::Maintenance;  // the maintenance login takes no acknowledgement
        line_.clear();
        send("\r\nMAINT> ");
        return;
    }
    switch (config_.ack) {
        case AckMode::Silent: return;
        case AckMode::Sorry: send("\r\nSORRY, ADMIN BUSY\r\n"); return;
        case AckMode::Refuse: send(Bytes{0xF3}); return;
        case AckMode::Accept: break;
    }
    if (typed_ != expectedPassword()) {
        send(Bytes{0xF3});
        return;
    }
    send(Bytes{0xF2});
    ++logins_;
    state_ = State::Admin;
}

Bytes SwitchSim::identification() const {
    Bytes id;
    id.push_back(static_cast<std::uint8_t>(config_.model));
    std::string v = config_.version;
    v.resize(5, ' ');
    id.insert(id.end(), v.begin(), v.end());
    id.push_back(0x00);
    if (config_.extensionMemory) {
        for (char c : std::string_view("MEMU")) id.push_back(static_cast<std::uint8_t>(c));
    } else {
        id.insert(id.end(), 4, 0x00);
    }
    appendBe16(id, config_.nation);
    return id;
}

void SwitchSim::maintenance(std::uint8_t b) {
    if (b != '\r') {
        if (line_.size() < 80) line_.push_back(static_cast<char>(b));
        return;
    }
    if (line_ == "r tpx") {
        ++restarts_;
        send("\r\nTPX RESTARTING\r\n");
        state_ = State::Console;
        return;
    }
    line_.clear();
    send("\r\nMAINT> ");
}

void SwitchSim::admin(std::uint8_t b) {
    if (keyLog_) {
        std::fprintf(keyLog_, "%d\n", b);
        std::fflush(keyLog_);
    }
    if (keyset_->active() && b != 51 && b != 0xFD) {
        keyset_->key(b);
        return;
    }
    if (startByte_) {
        startByte_ = false;
        if (b == 0x0A) {
            db_->start();
            state_ = State::Transfer;
            return;
        }
    }
    switch (b) {
        case 0xF9:
            startByte_ = true;
            return;
        case 0xFD: {
            ++identifications_;
            const SimFaults& f = config_.faults;
            if (f.identSilent) return;
            Bytes id = identification();
            if (f.identShort) id.resize(7);
            if (!f.identSplit || id.size() < 13) {
                send(id);
                return;
            }
            // Three parts with a second of silence between them (under the PC's 3 s limit).
            send(ByteView(id).first(4));
            auto alive = alive_;
            loop_.postAfter(1000, [this, alive, id] {
                if (!*alive) return;
                send(ByteView(id).subspan(4, 5));
                loop_.postAfter(1000, [this, alive, id] {
                    if (*alive) send(ByteView(id).subspan(9));
                });
            });
            return;
        }
        case 51:  // MON: administration ends
            state_ = State::Console;
            keyset_->leave();
            return;
        case 56:  // TRANS/PGM: programming by keyset
            keyset_->enter();
            return;
        case '\r':
            wake();
            return;
        default:
            return;
    }
}

}  // namespace tpx::sim
