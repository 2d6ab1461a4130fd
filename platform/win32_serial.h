// The line settings that the Win32 serial port writes, apart from the port so that they can be
// checked field by field on a settings record that no device has touched.
#pragma once

#include "platform/win32_api.h"

namespace platform {

// 19200 baud, 8 data bits, no parity, 2 stop bits and a flags word of zero; every other field
// (flow-control limits, the XON, XOFF, error, end-of-file and event characters) keeps its value.
void ApplyLineSettings(DCB& dcb);

}  // namespace platform
