#include "sim/database.h"

#include <cctype>
#include <fstream>

#include "common/checksum.h"

namespace tpx::sim {

namespace {

constexpr std::size_t kBlockRaw = 240;   // raw bytes per block: at most 480 coded
constexpr std::size_t kRun = 240;

// The switch's firmware decides the checksum by its own version: CRC from these releases on.
bool crcFirmware(int model, const std::string& version) {
    const char* from = nullptr;
    switch (model) {
        case 1: case 17: from = "3.5A"; break;
        case 2: case 18: from = "5.5A"; break;
        case 3: case 19: from = "1.5A"; break;
        default: return false;
    }
    auto key = [](std::string v) {
        v.resize(4, '\0');
        if (v[0] >= 'A' && v[0] <= 'Z') v[0] = v[0] <= 'I' ? static_cast<char>('1' + v[0] - 'A') : '1';
        for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return v;
    };
    return key(version) >= key(from);
}

std::uint32_t next(std::uint32_t& s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

// Database-like contents: long zero and 0xFF stretches between short runs of values.
Bytes fill(std::size_t n, std::uint32_t seed) {
    Bytes out;
    out.reserve(n);
    std::uint32_t s = seed * 2654435761u + 1;
    while (out.size() < n) {
        std::uint32_t r = next(s);
        std::size_t len = 4 + (r >> 8) % 60;
        switch (r % 5) {
            case 0:
            case 1: out.insert(out.end(), len, 0x00); break;
            case 2: out.insert(out.end(), len, 0xFF); break;
            default:
                for (std::size_t i = 0; i < len; ++i) out.push_back(static_cast<std::uint8_t>(next(s) >> 24));
        }
    }
    out.resize(n);
    return out;
}

}  // namespace

std::uint32_t simBaseAddress(int model) {
    switch (model & 0x0F) {
        case 4: return 0x11A000;
        case 5: return 0x200804;
        default: return 0x200000;
    }
}

Bytes SimDatabase::encode(ByteView raw) {
    Bytes out;
    for (std::size_t i = 0; i < raw.size();) {
        const std::uint8_t b = raw[i];
        if (b != 0x00 && b != 0xFF) {
            out.push_back(b);
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < raw.size() && raw[j] == b && j - i < kRun) ++j;
        out.push_back(b);
        out.push_back(static_cast<std::uint8_t>(j - i));
        i = j;
    }
    return out;
}

Bytes SimDatabase::decode(ByteView coded, bool* ok) {
    Bytes out;
    *ok = true;
    for (std::size_t i = 0; i < coded.size(); ++i) {
        const std::uint8_t b = coded[i];
        if (b != 0x00 && b != 0xFF) {
            out.push_back(b);
        } else if (i + 1 < coded.size()) {
            out.insert(out.end(), coded[i + 1], b);
            ++i;
        } else {
            *ok = false;
        }
    }
    return out;
}

SimDatabase::SimDatabase(EventLoop& loop, DatabaseConfig config, Send send)
    : loop_(loop), cfg_(std::move(config)), send_(std::move(send)) {
    crc_ = crcFirmware(cfg_.model, cfg_.version);
    base_ = simBaseAddress(cfg_.model);
    basic_ = fill(cfg_.basicSize, cfg_.seed);
    if (cfg_.extension) ext_ = fill(cfg_.extSize, cfg_.seed + 7919);
    basicHeader_.assign(78, 0);
    basicHeader_[0] = static_cast<std::uint8_t>(cfg_.model);
    std::string v = cfg_.version;
    v.resize(5, ' ');
    std::copy(v.begin(), v.end(), basicHeader_.begin() + 1);
    writeBe32(basicHeader_, 6, static_cast<std::uint32_t>(basic_.size()));
    // Board data: 17 slots of type, major, minor, letter.
    static constexpr std::uint8_t kTypes[] = {4, 3, 5, 7, 12, 2, 0xFF};
    for (std::size_t slot = 0; slot < 17; ++slot) {
        const std::uint8_t type = kTypes[(slot + cfg_.seed) % std::size(kTypes)];
        std::uint8_t* p = &basicHeader_[10 + slot * 4];
        p[0] = type;
        p[1] = type == 0xFF ? 0xFF : 1;
        p[2] = type == 0xFF ? 0xFF : static_cast<std::uint8_t>(slot % 10);
        p[3] = type == 0xFF ? 0xFF : 'A';
    }
}

SimDatabase::~SimDatabase() { *alive_ = false; }

void SimDatabase::appendSum(Bytes& frame) const {
    if (crc_) appendLe16(frame, crc16Arc(frame));
    else appendBe16(frame, byteSum16(frame));
}

bool SimDatabase::sumOk(ByteView covered, std::uint8_t a, std::uint8_t b) const {
    if (crc_) return crc16Arc(covered) == static_cast<std::uint16_t>(a | (b << 8));
    return byteSum16(covered) == static_cast<std::uint16_t>((a << 8) | b);
}

bool SimDatabase::receive(std::uint8_t b) {
    switch (mode_) {
        case Mode::Dead:
            return b != 51 || (active_ = false, false);
        case Mode::Idle:
            if (b == 0xFB || b == 0xF8) {
                requestByte_ = b;
                mode_ = Mode::Request;
            } else if (b == 0xFC) {
                packet_ = {b};
                mode_ = Mode::Packet;
            } else if (b == 51) {
                active_ = false;  // MON: administration goes on without the transfer
                return false;
            }
            return true;
        case Mode::Request:
            mode_ = Mode::Idle;
            if (b == 0x45) serve(requestByte_ == 0xF8);
            return true;
        case Mode::Serving:
            if (b == 0x06) {
                offset_ += blockRaw_;
                sendsOfBlock_ = 0;
                if (offset_ >= serving_->size()) {
                    mode_ = Mode::Idle;
                } else {
                    ++blockNumber_;
                    sendBlock();
                }
            } else if (b == 0x15) {
                ++naksReceived_;
                sendBlock();
            } else if (b == 51) {
                mode_ = Mode::Idle;
                active_ = false;
                return false;
            } else if (b == 0xFB || b == 0xF8) {
                requestByte_ = b;  // the PC gave up on this part and asks again
                mode_ = Mode::Request;
            }
            return true;
        case Mode::Packet:
            packetByte(b);
            return true;
    }
    return true;
}

void SimDatabase::serve(bool extension) {
    Bytes header;
    if (extension) {
        if (!cfg_.extension) return;  // no extension memory: no answer
        appendBe16(header, static_cast<std::uint16_t>(cfg_.extAddress >> 16));
        appendBe16(header, static_cast<std::uint16_t>(cfg_.extAddress));
        appendBe16(header, static_cast<std::uint16_t>(ext_.size() >> 16));
        appendBe16(header, static_cast<std::uint16_t>(ext_.size()));
        serving_ = &ext_;
    } else {
        header = basicHeader_;
        serving_ = &basic_;
    }
    send_(header);
    offset_ = 0;
    sendsOfBlock_ = 0;
    mode_ = Mode::Serving;
    ++blockNumber_;
    if (serving_->empty()) {
        mode_ = Mode::Idle;
        return;
    }
    sendBlock();
}

void SimDatabase::sendBlock() {
    const TransferFaults& f = cfg_.faults;
    ++sendsOfBlock_;
    if (f.lostAt && blockNumber_ == f.lostAt) {
        mode_ = Mode::Dead;
        return;
    }
    blockRaw_ = std::min(kBlockRaw, serving_->size() - offset_);
    Bytes coded = encode(ByteView(*serving_).subspan(offset_, blockRaw_));
    Bytes frame;
    appendBe16(frame, static_cast<std::uint16_t>(coded.size()));
    frame.insert(frame.end(), coded.begin(), coded.end());
    appendSum(frame);
    frame.push_back(0x03);
    if (f.badBlock == blockNumber_ && (f.badEvery || sendsOfBlock_ == 1)) frame[frame.size() - 2] ^= 0x5A;
    if (f.garbageBlock == blockNumber_ && sendsOfBlock_ == 1) send_(Bytes{0x7F, 0xF0, 0x55});
    if (f.stallBlock == blockNumber_ && (f.stallEvery || sendsOfBlock_ == 1)) frame.resize(frame.size() / 2);
    ++blocksSent_;
    send_(frame);
}

void SimDatabase::packetByte(std::uint8_t b) {
    packet_.push_back(b);
    if (packet_.size() < 7) return;
    const std::size_t n = static_cast<std::size_t>((packet_[5] << 8) | packet_[6]);
    if (packet_.size() < 10 + n) return;
    mode_ = Mode::Idle;
    ++packetNumber_;
    const TransferFaults& f = cfg_.faults;
    if (f.lostAt && packetNumber_ >= f.lostAt) {
        mode_ = Mode::Dead;
        return;
    }
    auto refuse = [&] {
        ++naksReceived_;
        send_(Bytes{0x15});
        --packetNumber_;  // the same packet comes again
    };
    if (f.nakPacket == packetNumber_ && (f.nakEvery || nakOfPacket_++ == 0)) return refuse();
    const bool intact = packet_[9 + n] == 0x45 &&
                        sumOk(ByteView(packet_).first(7 + n), packet_[7 + n], packet_[8 + n]);
    bool ok = false;
    Bytes data = decode(ByteView(packet_).subspan(7, n), &ok);
    const std::uint32_t address = *readBe32(packet_, 1);
    Bytes* target = nullptr;
    std::size_t at = 0;
    if (address >= base_ && address - base_ + data.size() <= basic_.size()) {
        target = &basic_;
        at = address - base_;
    } else if (cfg_.extension && address >= cfg_.extAddress && address - cfg_.extAddress + data.size() <= ext_.size()) {
        target = &ext_;
        at = address - cfg_.extAddress;
    }
    if (!intact || !ok || !target) return refuse();
    std::copy(data.begin(), data.end(), target->begin() + static_cast<std::ptrdiff_t>(at));
    ++packetsStored_;
    send_(Bytes{0x06});
}

bool SimDatabase::dump(const std::string& dir) const {
    std::ofstream basic(dir + "/basic.bin", std::ios::binary);
    basic.write(reinterpret_cast<const char*>(basicHeader_.data()), static_cast<std::streamsize>(basicHeader_.size()));
    basic.write(reinterpret_cast<const char*>(basic_.data()), static_cast<std::streamsize>(basic_.size()));
    if (!basic) return false;
    if (!cfg_.extension) return true;
    std::ofstream ext(dir + "/ext.bin", std::ios::binary);
    ext.write(reinterpret_cast<const char*>(ext_.data()), static_cast<std::streamsize>(ext_.size()));
    return static_cast<bool>(ext);
}

}  // namespace tpx::sim
