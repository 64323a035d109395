#include "sim/isdn/simcapi.h"

namespace tpx::sim {

SimCapi::SimCapi(EventLoop& loop, IsdnConfig config) : loop_(loop), network_(loop, std::move(config)) {}

unsigned SimCapi::registerApplication(unsigned, unsigned, unsigned, unsigned, unsigned* appId) {
    if (!installed) return capi::kCapiRegNotInstalled;
    if (app_) network_.detach(app_);
    queue_.clear();
    cutOff_ = false;
    app_ = network_.attach([this](ByteView m, ByteView d) {
        queue_.push_back({Bytes(m.begin(), m.end()), Bytes(d.begin(), d.end())});
    });
    *appId = 1;
    return 0;
}

unsigned SimCapi::release(unsigned) {
    if (!app_) return capi::kCapiIllegalAppId;
    network_.detach(app_);
    app_ = 0;
    queue_.clear();
    return 0;
}

unsigned SimCapi::putMessage(unsigned, ByteView message, ByteView data) {
    if (!app_) return capi::kCapiIllegalAppId;
    if (cutOff_) return capi::kCapiOsResourceError;
    Bytes body(message.begin(), message.end());
    body.insert(body.end(), data.begin(), data.end());
    if (!network_.fromApplication(app_, body)) {
        cutOff_ = true;  // as a remote CAPI whose server went away: this put and all later fail
        network_.detach(app_);
        return capi::kCapiOsResourceError;
    }
    return 0;
}

unsigned SimCapi::getMessage(unsigned, Bytes& message, Bytes& data, int waitMs) {
    if (!app_) return capi::kCapiIllegalAppId;
    if (queue_.empty()) loop_.waitUntil([this] { return !queue_.empty(); }, waitMs);
    if (queue_.empty()) return capi::kCapiQueueEmpty;
    message = std::move(queue_.front().message);
    data = std::move(queue_.front().data);
    queue_.pop_front();
    message[2] = 1;  // the application id, as the library fills it in
    message[3] = 0;
    return 0;
}

unsigned SimCapi::getVersion(std::array<std::uint32_t, 4>& version) {
    version = {2, 0, 1, 0};
    return 0;
}

unsigned SimCapi::getProfile(unsigned controller, capi::Profile& profile) {
    profile.fill(0);
    const IsdnConfig& cfg = network_.config();
    profile[0] = static_cast<std::uint8_t>(cfg.controllers);
    if (controller != 0) profile[2] = static_cast<std::uint8_t>(cfg.bChannels);
    return installed ? 0 : capi::kCapiRegNotInstalled;
}

}  // namespace tpx::sim
