// The texts of a transfer (UTF-8): XferMessage by number, the status
// window's titles.
#pragma once

#include <string>

namespace tolvex::transfer {

// Numbers of the XferMessage texts the protocols report.
namespace msg {
constexpr int kFileOpen = 2000;
constexpr int kNoAnswer = 2001;
constexpr int kFileDone = 2003;
constexpr int kNoAck = 2004;
constexpr int kRemoteError = 2005;
constexpr int kRemoteAborted = 2006;
constexpr int kUnknownNotice = 2007;
constexpr int kTooManyErrors = 2008;
constexpr int kCarrierLost = 2012;
constexpr int kWaiting = 2022;
constexpr int kPreparing = 2023;
constexpr int kStarting = 2024;
constexpr int kTransferring = 2025;
constexpr int kSkipped = 2026;
constexpr int kAborted = 2027;
}  // namespace msg

// XferMessage text `number` (2000-2032); 2000 takes the file error's cause.
// Empty for a number without a text.
std::string MessageText(int number, int cause = 0);

// Title of the status window for XferProtocol 0..8; empty out of range.
std::string StatusWindowTitle(int protocol, bool upload);

}  // namespace tolvex::transfer
