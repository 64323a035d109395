// The seven functions of CAPI 2.0 as the programs use them. The platform implements them on
// libcapi20 (platform/libcapi.h); tests may substitute their own.
#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.h"

namespace tpx::capi {

inline constexpr unsigned kCapiNoError = 0x0000;
inline constexpr unsigned kCapiRegNotInstalled = 0x1009;
inline constexpr unsigned kCapiIllegalAppId = 0x1101;
inline constexpr unsigned kCapiIllegalMessage = 0x1102;
inline constexpr unsigned kCapiQueueEmpty = 0x1104;
inline constexpr unsigned kCapiOsResourceError = 0x1108;
inline constexpr unsigned kCapiMessageBufferSize = 2176;  // room for a message and a data block

using Profile = std::array<std::uint8_t, 64>;

class CapiApi {
public:
    virtual ~CapiApi() = default;
    // CAPI_INSTALLED: 0 when a CAPI is there.
    virtual unsigned isInstalled() = 0;
    // CAPI_REGISTER: 0 and the application id, or an error.
    virtual unsigned registerApplication(unsigned messageBufferSize, unsigned maxConnections, unsigned maxBlocks,
                                         unsigned maxBlockSize, unsigned* appId) = 0;
    // CAPI_RELEASE.
    virtual unsigned release(unsigned appId) = 0;
    // CAPI_PUT_MESSAGE: `message` in wire form; for DATA_B3_REQ `data` is the block.
    virtual unsigned putMessage(unsigned appId, ByteView message, ByteView data) = 0;
    // CAPI_GET_MESSAGE, waiting at most `waitMs` for one to arrive (0: not at all): 0 with
    // the message (and a DATA_B3_IND's block in `data`), or 0x1104 when nothing is queued.
    virtual unsigned getMessage(unsigned appId, Bytes& message, Bytes& data, int waitMs) = 0;
    // CAPI_GET_VERSION: CAPI major, minor, manufacturer major, minor.
    virtual unsigned getVersion(std::array<std::uint32_t, 4>& version) = 0;
    // CAPI_GET_PROFILE: controller 0 gives the number of controllers in bytes 0..1.
    virtual unsigned getProfile(unsigned controller, Profile& profile) = 0;
    // Any thread: a get that is waiting returns at once (as with nothing queued).
    virtual void interruptWait() {}
};

}  // namespace tpx::capi
