// The four C exports of libisdnlink.so over one RemoteAdminLink on libcapi20, each call
// holding the library's lock from start to end.
#include <atomic>
#include <memory>
#include <mutex>

#include "common/files.h"
#include "common/realtimeloop.h"
#include "isdnlink/isdnlink.h"
#include "isdnlink/remoteadmin.h"
#include "platform/libcapi.h"

#define TPX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Library {
    std::mutex lock;
    std::atomic<int> waiting{0};  // calls waiting for the lock
    tpx::LibCapi20 capi;
    tpx::SystemClock clock;
    std::unique_ptr<tpx::isdn::RemoteAdminLink> link;

    tpx::isdn::RemoteAdminLink& get() {
        if (!link) {
            const std::filesystem::path home = tpx::tpxHome();
            std::error_code ec;
            std::filesystem::create_directories(home, ec);
            // The fixed trace files of the link live in the TPX home folder.
            link = std::make_unique<tpx::isdn::RemoteAdminLink>(
                capi, clock, tpx::isdn::RemoteAdminLink::Paths{home / "ReZUVODUV.prt", home / "ReZUVODUV.LOG"});
            link->othersWaiting = [this] { return waiting.load() > 0; };
        }
        return *link;
    }
};

Library& library() {
    static Library lib;
    return lib;
}

// Holds the library for one export call.
struct Call {
    explicit Call(Library& l) : lib(l) {
        ++lib.waiting;
        if (!lib.lock.try_lock()) {
            lib.capi.interruptWait();  // a read waiting for the switch steps aside
            lib.lock.lock();
        }
        --lib.waiting;
    }
    ~Call() { lib.lock.unlock(); }
    Library& lib;
};

}  // namespace

TPX_EXPORT int DialISDN(const char* number) {
    Library& l = library();
    Call call(l);
    return l.get().DialISDN(number);
}

TPX_EXPORT int WriteISDNBlock(const unsigned char* data, int count) {
    Library& l = library();
    Call call(l);
    return l.get().WriteISDNBlock(data, count);
}

TPX_EXPORT int ReadISDNBlock(unsigned char* buffer) {
    Library& l = library();
    Call call(l);
    return l.get().ReadISDNBlock(buffer);
}

TPX_EXPORT int CloseISDN(void) {
    Library& l = library();
    Call call(l);
    return l.get().CloseISDN();
}
