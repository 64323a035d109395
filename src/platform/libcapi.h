// CAPI 2.0 on Debian's libcapi20, loaded on first use with dlopen, so the programs start
// and run their serial links on machines without it (CAPI then reports "not installed").
// libcapi20 reaches real controllers, or a remote CAPI server named in ~/.capi20rc.
//
// Library quirks handled here:
//   - it opens shared memory in /dev/shm when it loads and ends the process when it cannot:
//     without a writable /dev/shm it is not loaded at all;
//   - capi20_get_message blocks on an idle connection: every get first waits with poll()
//     on the application's descriptor (capi20_fileno) and the caller's time-out (0 for
//     none), beside an eventfd through which another thread can cut the wait short;
//   - after the server side closed, get keeps returning "queue empty" at once while the
//     socket reads as ready: such a get still waits its time-out, so a polling loop idles;
//   - a put after the far end closed raises SIGPIPE: SIGPIPE is ignored;
//   - a remote CAPI's socket gets TCP_NODELAY, or small puts wait for delayed ACKs;
//   - on 64-bit, a DATA_B3 block travels through the message's 64-bit data field (message
//     length 30); buffers are SEND_BUFSIZ (2176) bytes, as the library writes the block
//     behind the message.
#pragma once

#include "common/capiapi.h"

namespace tpx {

class LibCapi20 : public capi::CapiApi {
public:
    LibCapi20();
    ~LibCapi20() override;

    unsigned isInstalled() override;
    unsigned registerApplication(unsigned messageBufferSize, unsigned maxConnections, unsigned maxBlocks,
                                 unsigned maxBlockSize, unsigned* appId) override;
    unsigned release(unsigned appId) override;
    unsigned putMessage(unsigned appId, ByteView message, ByteView data) override;
    unsigned getMessage(unsigned appId, Bytes& message, Bytes& data, int waitMs) override;
    unsigned getVersion(std::array<std::uint32_t, 4>& version) override;
    unsigned getProfile(unsigned controller, capi::Profile& profile) override;
    void interruptWait() override;

    // True when the library could be loaded.
    bool loaded();

    struct Functions;  // the library's entry points

private:
    Functions* fns();
    int wakeFd_ = -1;  // interrupts a waiting get
};

}  // namespace tpx
