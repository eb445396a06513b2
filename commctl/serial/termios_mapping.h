// How device settings become a tty's termios (raw mode). Kept apart because
// <asm/termbits.h> cannot be mixed with <termios.h>.
#pragma once

#include <asm/termbits.h>

#include "serial/comm_engine.h"

namespace tolvex::serial {

// Fills `t` (read from the device before) for the given settings; false
// when the line cannot carry them (4 data bits, 1.5 stop bits with more
// than 5 data bits).
bool BuildTermios(const DeviceSettings& s, struct termios2& t);

}  // namespace tolvex::serial
