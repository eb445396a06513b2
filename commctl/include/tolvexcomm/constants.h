// The constants hosts use with the control: the CommEvent codes
// (TOLVEX_EV_* for events, TOLVEX_ER_* for errors), the XferStatus codes and
// the values of every enumerated property.
//
// Each enumeration is written once, as a list of (name, value) pairs; the
// named constants below and the enumerations of the control's type
// information (com::constants::k...) are both made from that list.
#pragma once

#include <tolvexcomm/component.h>

#include <cstdint>

#define TOLVEX_AUTOPROCESS_CONSTANTS(X) \
    X(TOLVEX_AUTOPROCESS_NONE, 0)       \
    X(TOLVEX_AUTOPROCESS_SERIAL, 1)     \
    X(TOLVEX_AUTOPROCESS_KEY, 2)        \
    X(TOLVEX_AUTOPROCESS_BOTH, 3)

#define TOLVEX_AUTOSCROLL_CONSTANTS(X) \
    X(TOLVEX_AUTOSCROLL_NONE, 0)       \
    X(TOLVEX_AUTOSCROLL_VERTICAL, 1)   \
    X(TOLVEX_AUTOSCROLL_HORIZONTAL, 2) \
    X(TOLVEX_AUTOSCROLL_BOTH, 3)       \
    X(TOLVEX_AUTOSCROLL_VERTKEY, 4)

#define TOLVEX_BACKSPACE_CONSTANTS(X)  \
    X(TOLVEX_BACKSPACE_DESTRUCTIVE, 0) \
    X(TOLVEX_BACKSPACE_NON_DESTRUCTIVE, 1)

#define TOLVEX_CAPTUREMODE_CONSTANTS(X) \
    X(TOLVEX_CAPTURE_STANDARD, 0)       \
    X(TOLVEX_CAPTURE_BINARY, 1)         \
    X(TOLVEX_CAPTURE_VISIBLE, 2)

#define TOLVEX_COLOR_CONSTANTS(X)     \
    X(TOLVEX_COLOR_BLACK, 0)          \
    X(TOLVEX_COLOR_BLUE, 1)           \
    X(TOLVEX_COLOR_GREEN, 2)          \
    X(TOLVEX_COLOR_CYAN, 3)           \
    X(TOLVEX_COLOR_RED, 4)            \
    X(TOLVEX_COLOR_MAGENTA, 5)        \
    X(TOLVEX_COLOR_YELLOW, 6)         \
    X(TOLVEX_COLOR_WHITE, 7)          \
    X(TOLVEX_COLOR_GRAY, 8)           \
    X(TOLVEX_COLOR_LIGHTBLUE, 9)      \
    X(TOLVEX_COLOR_LIGHTGREEN, 10)    \
    X(TOLVEX_COLOR_LIGHTCYAN, 11)     \
    X(TOLVEX_COLOR_LIGHTRED, 12)      \
    X(TOLVEX_COLOR_LIGHTMAGENTA, 13)  \
    X(TOLVEX_COLOR_LIGHTYELLOW, 14)   \
    X(TOLVEX_COLOR_BRIGHTWHITE, 15)

#define TOLVEX_COLORFILTER_CONSTANTS(X) \
    X(TOLVEX_COLOR_FULL, 0)             \
    X(TOLVEX_COLOR_GREY, 1)             \
    X(TOLVEX_COLOR_MONO, 2)

#define TOLVEX_CURSORTYPE_CONSTANTS(X) \
    X(TOLVEX_CURSOR_VBAR, 0)           \
    X(TOLVEX_CURSOR_BLOCK, 1)

#define TOLVEX_EMULATION_CONSTANTS(X) \
    X(TOLVEX_EMULATION_NONE, 0)       \
    X(TOLVEX_EMULATION_TTY, 1)        \
    X(TOLVEX_EMULATION_ANSI, 2)       \
    X(TOLVEX_EMULATION_VT52, 3)       \
    X(TOLVEX_EMULATION_VT100, 4)

#define TOLVEX_HANDSHAKE_CONSTANTS(X) \
    X(TOLVEX_HANDSHAKING_NONE, 0)     \
    X(TOLVEX_HANDSHAKING_XON, 1)      \
    X(TOLVEX_HANDSHAKING_RTS, 2)      \
    X(TOLVEX_HANDSHAKING_BOTH, 3)

#define TOLVEX_KEYTRANSLATION_CONSTANTS(X) \
    X(TOLVEX_KEY_NONE, 0)                  \
    X(TOLVEX_KEY_MANUAL, 1)                \
    X(TOLVEX_KEY_ANSI, 2)                  \
    X(TOLVEX_KEY_VT52, 3)                  \
    X(TOLVEX_KEY_VT100, 4)

// CommEvent while OnComm runs: communication events.
#define TOLVEX_EVENT_CONSTANTS(X) \
    X(TOLVEX_EV_SEND, 1)          \
    X(TOLVEX_EV_RECEIVE, 2)       \
    X(TOLVEX_EV_CTS, 3)           \
    X(TOLVEX_EV_DSR, 4)           \
    X(TOLVEX_EV_CD, 5)            \
    X(TOLVEX_EV_RING, 6)          \
    X(TOLVEX_EV_EOF, 7)           \
    X(TOLVEX_EV_ZMODEM, 8)        \
    X(TOLVEX_EV_XFER, 100)

// CommEvent while OnComm runs: errors. CTSTO, DSRTO and CDTO are defined
// for compatibility and never raised.
#define TOLVEX_ERROR_CONSTANTS(X) \
    X(TOLVEX_ER_BREAK, 1001)      \
    X(TOLVEX_ER_CTSTO, 1002)      \
    X(TOLVEX_ER_DSRTO, 1003)      \
    X(TOLVEX_ER_FRAME, 1004)      \
    X(TOLVEX_ER_INTO, 1005)       \
    X(TOLVEX_ER_OVERRUN, 1006)    \
    X(TOLVEX_ER_CDTO, 1007)       \
    X(TOLVEX_ER_RXOVER, 1008)     \
    X(TOLVEX_ER_RXPARITY, 1009)   \
    X(TOLVEX_ER_TXFULL, 1010)

#define TOLVEX_XFERPROTOCOL_CONSTANTS(X) \
    X(TOLVEX_XMODEM_CHECKSUM, 0)         \
    X(TOLVEX_XMODEM_CRC, 1)              \
    X(TOLVEX_XMODEM_1K, 2)               \
    X(TOLVEX_YMODEM_BATCH, 3)            \
    X(TOLVEX_YMODEM_G, 4)                \
    X(TOLVEX_ZMODEM, 5)                  \
    X(TOLVEX_KERMIT, 6)                  \
    X(TOLVEX_COMPUSERVE_BPLUS, 7)        \
    X(TOLVEX_NIFTY_SERVE_BPLUS, 8)

// XferStatus: the state of a transfer as read, and the requests written to
// a running one (SKIP, ABORT, RESUME).
#define TOLVEX_XFERSTATUS_CONSTANTS(X) \
    X(TOLVEX_XFER_TERM_ERROR, -1)      \
    X(TOLVEX_XFER_TERM_OK, 0)          \
    X(TOLVEX_XFER_WAITING, 1)          \
    X(TOLVEX_XFER_FILE_READY, 2)       \
    X(TOLVEX_XFER_FILE_START, 3)       \
    X(TOLVEX_XFER_XFERING, 4)          \
    X(TOLVEX_XFER_SKIP, 5)             \
    X(TOLVEX_XFER_ABORT, 6)            \
    X(TOLVEX_XFER_FINISHED, 7)         \
    X(TOLVEX_XFER_LOSTCARRIER, 8)      \
    X(TOLVEX_XFER_TIMEOUT, 9)          \
    X(TOLVEX_XFER_RESUME, 10)

#define TOLVEX_XFERDIALOG_CONSTANTS(X) \
    X(TOLVEX_XFERDIALOG_NONE, 0)       \
    X(TOLVEX_XFERDIALOG_MODELESS, 1)   \
    X(TOLVEX_XFERDIALOG_MODAL, 2)

#define TOLVEX_APPEARANCE_CONSTANTS(X) \
    X(TOLVEX_APPEARANCE_FLAT, 0)       \
    X(TOLVEX_APPEARANCE_3D, 1)

// Every list above, with the name of its table.
#define TOLVEX_ALL_CONSTANTS(L)                          \
    L(kAutoProcess, TOLVEX_AUTOPROCESS_CONSTANTS)        \
    L(kAutoScroll, TOLVEX_AUTOSCROLL_CONSTANTS)          \
    L(kBackspace, TOLVEX_BACKSPACE_CONSTANTS)            \
    L(kCaptureMode, TOLVEX_CAPTUREMODE_CONSTANTS)        \
    L(kColor, TOLVEX_COLOR_CONSTANTS)                    \
    L(kColorFilter, TOLVEX_COLORFILTER_CONSTANTS)        \
    L(kCursorType, TOLVEX_CURSORTYPE_CONSTANTS)          \
    L(kEmulation, TOLVEX_EMULATION_CONSTANTS)            \
    L(kHandshake, TOLVEX_HANDSHAKE_CONSTANTS)            \
    L(kKeyTranslation, TOLVEX_KEYTRANSLATION_CONSTANTS)  \
    L(kEvent, TOLVEX_EVENT_CONSTANTS)                    \
    L(kError, TOLVEX_ERROR_CONSTANTS)                    \
    L(kXferProtocol, TOLVEX_XFERPROTOCOL_CONSTANTS)      \
    L(kXferStatus, TOLVEX_XFERSTATUS_CONSTANTS)          \
    L(kXferDialog, TOLVEX_XFERDIALOG_CONSTANTS)          \
    L(kAppearance, TOLVEX_APPEARANCE_CONSTANTS)

namespace tolvex::com {

// The named constants: TOLVEX_EV_RECEIVE, TOLVEX_XFER_ABORT, ...
#define TOLVEX_NAMED_CONSTANT(name, value) inline constexpr std::int16_t name = value;
#define TOLVEX_NAMED_LIST(table, list) list(TOLVEX_NAMED_CONSTANT)
TOLVEX_ALL_CONSTANTS(TOLVEX_NAMED_LIST)
#undef TOLVEX_NAMED_LIST
#undef TOLVEX_NAMED_CONSTANT

// The same lists as (name, value) tables, in their order of declaration.
namespace constants {
#define TOLVEX_TABLE_ROW(name, value) EnumConstant{#name, value},
#define TOLVEX_TABLE(table, list) inline constexpr EnumConstant table[] = {list(TOLVEX_TABLE_ROW)};
TOLVEX_ALL_CONSTANTS(TOLVEX_TABLE)
#undef TOLVEX_TABLE
#undef TOLVEX_TABLE_ROW
}  // namespace constants

}  // namespace tolvex::com
