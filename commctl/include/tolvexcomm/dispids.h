// DISPIDs of the control's dispatch interface _DTolvexcomm and of its event
// interface _DTolvexcommEvents. Hosts address properties, methods and events
// by these numbers; they never change.
#pragma once

#include <cstdint>

namespace tolvex::com::dispid {

enum : std::int32_t {
    kDefaultValue = 0,  // the default value: Input
    kBreak = 1,
    kCDHolding = 2,
    kCommEvent = 3,
    kCommPort = 4,
    kCTSHolding = 5,
    kDSRHolding = 6,
    kDTREnable = 7,
    kHandshaking = 8,
    kInBufferSize = 9,
    kInBufferCount = 10,
    kInput = 11,
    kInputLen = 12,
    kInterval = 13,
    kInTimeout = 14,
    kLineInput = 15,
    kNullDiscard = 16,
    kOutBufferSize = 17,
    kOutBufferCount = 18,
    kOutput = 19,
    kParityReplace = 20,
    kPortOpen = 21,
    kRThreshold = 22,
    kRTSEnable = 23,
    kSettings = 24,
    kSThreshold = 25,
    kColumns = 26,
    kRows = 27,
    kFontName = 28,
    kFontSize = 29,
    kCursorRow = 30,
    kCursorColumn = 31,
    kForeColor = 32,
    kBackColor = 33,
    kDisp = 34,
    kText = 35,
    kEmulation = 36,
    kAutoProcess = 37,
    kAutoSize = 38,
    kAutoScroll = 39,
    kFontBold = 40,
    kFontUnderline = 41,
    kCaptureFilename = 42,
    kScrollRows = 43,
    kScrollText = 44,
    kFontItalic = 45,
    kColorFilter = 46,
    kDownload = 47,
    kUpload = 48,
    kXferStatus = 49,
    kXferSourceFilename = 50,
    kXferTransferred = 51,
    kXferFileSize = 52,
    kXferProtocol = 53,
    kXferStatusDialog = 54,
    kSelLength = 55,
    kSelStart = 56,
    kSelText = 57,
    kXferMessage = 58,
    kXferDestFilename = 59,
    kXferCarrierAbort = 60,
    kSmoothScroll = 61,
    kCursorType = 62,
    kKeyTranslation = 63,
    kXferFileDate = 64,
    kXferFileTime = 65,
    kAutoZModem = 66,
    kCommID = 67,
    kBackspace = 68,
    kEcho = 69,
    kCaptureMode = 70,
    kAnswerBack = 71,
    kAppearance = 72,
    kInputB = 73,
    kOutputB = 74,

    kLastCustom = 74,

    // stock members
    kHWnd = -515,
    kFont = -512,
    kAboutBox = -552,
};

}  // namespace tolvex::com::dispid

namespace tolvex::com::eventid {

enum : std::int32_t {
    kOnComm = 2,
    kResize = 3,
    kClick = -600,
    kDblClick = -601,
    kKeyDown = -602,
    kKeyPress = -603,
    kKeyUp = -604,
    kMouseDown = -605,
    kMouseMove = -606,
    kMouseUp = -607,
};

}  // namespace tolvex::com::eventid
