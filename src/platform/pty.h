// Pseudo-terminal pairs: the switch simulator serves the master side, the programs open
// the slave like any serial device.
#pragma once

#include <memory>
#include <string>

#include "platform/fddevice.h"

namespace tpx {

struct PtyPair {
    int master = -1;          // non-blocking, close-on-exec
    std::string slavePath;    // e.g. /dev/pts/3
    int slaveKeeper = -1;     // held open so the master never sees a hang-up between users
};

// Opens a pair with the slave in raw mode (so nothing is echoed back or translated while
// no program holds the slave).
PtyPair openPty(SysStatus* error);

// A ByteDevice on the master side.
std::unique_ptr<FdDevice> ptyMasterDevice(PtyPair& pair, EventLoop& loop);

}  // namespace tpx
