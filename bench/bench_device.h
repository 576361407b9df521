// One off-screen device shared by every benchmark of the program.
#pragma once

#include "platform/gfx_device.h"

namespace bench {
plat::gfx::Device* SharedDevice();
}
