// The texts of a transfer (UTF-8): XferMessage by number, the status
// window's titles.
#pragma once

#include <string>

namespace tolvex::transfer {

// XferMessage text `number` (2000-2032); 2000 takes the file error's cause.
// Empty for a number without a text.
std::string MessageText(int number, int cause = 0);

// Title of the status window for XferProtocol 0..8; empty out of range.
std::string StatusWindowTitle(int protocol, bool upload);

}  // namespace tolvex::transfer
