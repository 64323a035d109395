#include "platform/libcapi.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace tpx {

struct LibCapi20::Functions {
    unsigned (*isinstalled)();
    unsigned (*registerApp)(unsigned, unsigned, unsigned, unsigned*);
    unsigned (*release)(unsigned);
    unsigned (*putMessage)(unsigned, unsigned char*);
    unsigned (*getMessage)(unsigned, unsigned char**);
    unsigned (*waitForMessage)(unsigned, struct timeval*);
    unsigned char* (*getVersion)(unsigned, unsigned char*);
    unsigned (*getProfile)(unsigned, unsigned char*);
    int (*fileno)(unsigned);
};

namespace {

constexpr std::size_t kBuffer = capi::kCapiMessageBufferSize;
constexpr bool k64Bit = sizeof(void*) == 8;

LibCapi20::Functions* load() {
    // The library's constructor ends the process when it cannot open its shared memory.
    if (::access("/dev/shm", W_OK) != 0) return nullptr;
    void* h = ::dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!h) return nullptr;
    auto* f = new LibCapi20::Functions;
    auto sym = [&](const char* name) { return ::dlsym(h, name); };
    f->isinstalled = reinterpret_cast<unsigned (*)()>(sym("capi20_isinstalled"));
    f->registerApp = reinterpret_cast<unsigned (*)(unsigned, unsigned, unsigned, unsigned*)>(sym("capi20_register"));
    f->release = reinterpret_cast<unsigned (*)(unsigned)>(sym("capi20_release"));
    f->putMessage = reinterpret_cast<unsigned (*)(unsigned, unsigned char*)>(sym("capi20_put_message"));
    f->getMessage = reinterpret_cast<unsigned (*)(unsigned, unsigned char**)>(sym("capi20_get_message"));
    f->waitForMessage = reinterpret_cast<unsigned (*)(unsigned, struct timeval*)>(sym("capi20_waitformessage"));
    f->getVersion = reinterpret_cast<unsigned char* (*)(unsigned, unsigned char*)>(sym("capi20_get_version"));
    f->getProfile = reinterpret_cast<unsigned (*)(unsigned, unsigned char*)>(sym("capi20_get_profile"));
    f->fileno = reinterpret_cast<int (*)(unsigned)>(sym("capi20_fileno"));
    if (!f->isinstalled || !f->registerApp || !f->release || !f->putMessage || !f->getMessage ||
        !f->waitForMessage || !f->getVersion || !f->getProfile) {
        delete f;
        return nullptr;
    }
    // A put after the far end closed would raise SIGPIPE and end the program.
    ::signal(SIGPIPE, SIG_IGN);
    return f;
}

}  // namespace

LibCapi20::LibCapi20() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LibCapi20::~LibCapi20() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void LibCapi20::interruptWait() {
    std::uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!::write(wakeFd_, &one, sizeof one);
}

LibCapi20::Functions* LibCapi20::fns() {
    static std::once_flag once;
    static Functions* f = nullptr;
    std::call_once(once, [] { f = load(); });
    return f;
}

bool LibCapi20::loaded() { return fns() != nullptr; }

unsigned LibCapi20::isInstalled() {
    Functions* f = fns();
    return f ? f->isinstalled() : capi::kCapiRegNotInstalled;
}

unsigned LibCapi20::registerApplication(unsigned, unsigned maxConnections, unsigned maxBlocks, unsigned maxBlockSize,
                                        unsigned* appId) {
    Functions* f = fns();
    if (!f) return capi::kCapiRegNotInstalled;
    // libcapi20 chooses the message buffer size itself.
    const unsigned r = f->registerApp(maxConnections, maxBlocks, maxBlockSize, appId);
    // A remote CAPI runs over TCP: without TCP_NODELAY a put that follows another small
    // one (DATA_B3_REQ behind DATA_B3_RESP) waits for the server's delayed acknowledgement,
    // some 40 ms per frame. (A local controller's descriptor is no socket: nothing happens.)
    if (r == 0 && f->fileno) {
        const int fd = f->fileno(*appId);
        int on = 1;
        if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return r;
}

unsigned LibCapi20::release(unsigned appId) {
    Functions* f = fns();
    return f ? f->release(appId) : capi::kCapiRegNotInstalled;
}

unsigned LibCapi20::putMessage(unsigned appId, ByteView message, ByteView data) {
    Functions* f = fns();
    if (!f) return capi::kCapiRegNotInstalled;
    if (message.size() < 8 || message.size() > kBuffer) return capi::kCapiIllegalMessage;
    unsigned char buf[kBuffer] = {};
    std::memcpy(buf, message.data(), message.size());
    const bool dataReq = message[4] == 0x86 && message[5] == 0x80 && message.size() >= 22;
    if (dataReq) {
        if (data.size() > kBuffer - 30) return capi::kCapiIllegalMessage;
        // The library copies the block from the message's data field to behind the message.
        if (k64Bit) {
            std::memset(buf + 12, 0, 4);
            const std::uint64_t p = reinterpret_cast<std::uintptr_t>(data.data());
            for (int i = 0; i < 8; ++i) buf[22 + i] = static_cast<unsigned char>(p >> (8 * i));
            buf[0] = 30;
            buf[1] = 0;
        } else {
            const std::uint32_t p = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data.data()));
            for (int i = 0; i < 4; ++i) buf[12 + i] = static_cast<unsigned char>(p >> (8 * i));
        }
    }
    return f->putMessage(appId, buf);
}

unsigned LibCapi20::getMessage(unsigned appId, Bytes& message, Bytes& data, int waitMs) {
    Functions* f = fns();
    if (!f) return capi::kCapiRegNotInstalled;
    const int fd = f->fileno ? f->fileno(appId) : -1;
    if (fd >= 0 && wakeFd_ >= 0) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(p, 2, std::max(waitMs, 0));
        if (p[1].revents & POLLIN) {
            std::uint64_t n;
            (void)!::read(wakeFd_, &n, sizeof n);
        }
        if (r <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR))) return capi::kCapiQueueEmpty;
    } else {
        struct timeval tv {waitMs / 1000, (waitMs % 1000) * 1000};
        if (f->waitForMessage(appId, &tv) != 0) return capi::kCapiQueueEmpty;  // waited: nothing came
    }
    unsigned char* m = nullptr;
    const unsigned r = f->getMessage(appId, &m);
    if (r == capi::kCapiQueueEmpty) {
        // Readable yet empty: the far end has gone. Wait as an empty wait would.
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return r;
    }
    if (r != 0 || !m) return r;
    const std::size_t len = static_cast<std::size_t>(m[0] | (m[1] << 8));
    if (len < 8) return capi::kCapiIllegalMessage;
    message.assign(m, m + len);
    data.clear();
    if (m[4] == 0x86 && m[5] == 0x82 && len >= 22) {
        const std::size_t n = static_cast<std::size_t>(m[16] | (m[17] << 8));
        const unsigned char* p = nullptr;
        if (len >= 30) {
            std::uint64_t v = 0;
            for (int i = 7; i >= 0; --i) v = (v << 8) | m[22 + i];
            p = reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(v));
        } else {
            p = m + len;
        }
        if (p && n <= kBuffer) data.assign(p, p + n);
        // Our messages are the standard's: 22 bytes, the block beside them.
        message.resize(22);
        message[0] = 22;
        message[1] = 0;
        std::fill(message.begin() + 12, message.begin() + 16, 0);
    }
    return 0;
}

unsigned LibCapi20::getVersion(std::array<std::uint32_t, 4>& version) {
    Functions* f = fns();
    if (!f) return capi::kCapiRegNotInstalled;
    unsigned char buf[64] = {};
    if (!f->getVersion(0, buf)) return capi::kCapiOsResourceError;
    for (int i = 0; i < 4; ++i)
        version[i] = buf[4 * i] | (buf[4 * i + 1] << 8) | (buf[4 * i + 2] << 16) | (std::uint32_t{buf[4 * i + 3]} << 24);
    return 0;
}

unsigned LibCapi20::getProfile(unsigned controller, capi::Profile& profile) {
    Functions* f = fns();
    if (!f) return capi::kCapiRegNotInstalled;
    unsigned char buf[64] = {};
    const unsigned r = f->getProfile(controller, buf);
    std::memcpy(profile.data(), buf, profile.size());
    return r;
}

}  // namespace tpx
