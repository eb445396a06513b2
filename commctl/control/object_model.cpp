#include "object_model.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tolvex::control {

namespace {

using com::EnumConstant;
using com::EnumInfo;
using com::EventInfo;
using com::EventParam;
using com::GetAccess;
using com::PutAccess;
using com::VarType;
namespace id = com::dispid;

// ---------------------------------------------------------------------------
// Enumerations

constexpr EnumConstant kAutoProcess[] = {
    {"TOLVEX_AUTOPROCESS_NONE", 0}, {"TOLVEX_AUTOPROCESS_SERIAL", 1},
    {"TOLVEX_AUTOPROCESS_KEY", 2}, {"TOLVEX_AUTOPROCESS_BOTH", 3}};
constexpr EnumConstant kAutoScroll[] = {
    {"TOLVEX_AUTOSCROLL_NONE", 0}, {"TOLVEX_AUTOSCROLL_VERTICAL", 1},
    {"TOLVEX_AUTOSCROLL_HORIZONTAL", 2}, {"TOLVEX_AUTOSCROLL_BOTH", 3},
    {"TOLVEX_AUTOSCROLL_VERTKEY", 4}};
constexpr EnumConstant kBackspace[] = {
    {"TOLVEX_BACKSPACE_DESTRUCTIVE", 0}, {"TOLVEX_BACKSPACE_NON_DESTRUCTIVE", 1}};
constexpr EnumConstant kCaptureMode[] = {
    {"TOLVEX_CAPTURE_STANDARD", 0}, {"TOLVEX_CAPTURE_BINARY", 1}, {"TOLVEX_CAPTURE_VISIBLE", 2}};
constexpr EnumConstant kColor[] = {
    {"TOLVEX_COLOR_BLACK", 0}, {"TOLVEX_COLOR_BLUE", 1}, {"TOLVEX_COLOR_GREEN", 2},
    {"TOLVEX_COLOR_CYAN", 3}, {"TOLVEX_COLOR_RED", 4}, {"TOLVEX_COLOR_MAGENTA", 5},
    {"TOLVEX_COLOR_YELLOW", 6}, {"TOLVEX_COLOR_WHITE", 7}, {"TOLVEX_COLOR_GRAY", 8},
    {"TOLVEX_COLOR_LIGHTBLUE", 9}, {"TOLVEX_COLOR_LIGHTGREEN", 10},
    {"TOLVEX_COLOR_LIGHTCYAN", 11}, {"TOLVEX_COLOR_LIGHTRED", 12},
    {"TOLVEX_COLOR_LIGHTMAGENTA", 13}, {"TOLVEX_COLOR_LIGHTYELLOW", 14},
    {"TOLVEX_COLOR_BRIGHTWHITE", 15}};
constexpr EnumConstant kColorFilter[] = {
    {"TOLVEX_COLOR_FULL", 0}, {"TOLVEX_COLOR_GREY", 1}, {"TOLVEX_COLOR_MONO", 2}};
constexpr EnumConstant kCursorType[] = {{"TOLVEX_CURSOR_VBAR", 0}, {"TOLVEX_CURSOR_BLOCK", 1}};
constexpr EnumConstant kEmulation[] = {
    {"TOLVEX_EMULATION_NONE", 0}, {"TOLVEX_EMULATION_TTY", 1}, {"TOLVEX_EMULATION_ANSI", 2},
    {"TOLVEX_EMULATION_VT52", 3}, {"TOLVEX_EMULATION_VT100", 4}};
constexpr EnumConstant kHandshake[] = {
    {"TOLVEX_HANDSHAKING_NONE", 0}, {"TOLVEX_HANDSHAKING_XON", 1},
    {"TOLVEX_HANDSHAKING_RTS", 2}, {"TOLVEX_HANDSHAKING_BOTH", 3}};
constexpr EnumConstant kKeyTranslation[] = {
    {"TOLVEX_KEY_NONE", 0}, {"TOLVEX_KEY_MANUAL", 1}, {"TOLVEX_KEY_ANSI", 2},
    {"TOLVEX_KEY_VT52", 3}, {"TOLVEX_KEY_VT100", 4}};
constexpr EnumConstant kEvent[] = {
    {"TOLVEX_EV_SEND", 1}, {"TOLVEX_EV_RECEIVE", 2}, {"TOLVEX_EV_CTS", 3},
    {"TOLVEX_EV_DSR", 4}, {"TOLVEX_EV_CD", 5}, {"TOLVEX_EV_RING", 6},
    {"TOLVEX_EV_EOF", 7}, {"TOLVEX_EV_ZMODEM", 8}, {"TOLVEX_EV_XFER", 100}};
constexpr EnumConstant kError[] = {
    {"TOLVEX_ER_BREAK", 1001}, {"TOLVEX_ER_CTSTO", 1002}, {"TOLVEX_ER_DSRTO", 1003},
    {"TOLVEX_ER_FRAME", 1004}, {"TOLVEX_ER_INTO", 1005}, {"TOLVEX_ER_OVERRUN", 1006},
    {"TOLVEX_ER_CDTO", 1007}, {"TOLVEX_ER_RXOVER", 1008}, {"TOLVEX_ER_RXPARITY", 1009},
    {"TOLVEX_ER_TXFULL", 1010}};
constexpr EnumConstant kXferProtocol[] = {
    {"TOLVEX_XMODEM_CHECKSUM", 0}, {"TOLVEX_XMODEM_CRC", 1}, {"TOLVEX_XMODEM_1K", 2},
    {"TOLVEX_YMODEM_BATCH", 3}, {"TOLVEX_YMODEM_G", 4}, {"TOLVEX_ZMODEM", 5},
    {"TOLVEX_KERMIT", 6}, {"TOLVEX_COMPUSERVE_BPLUS", 7}, {"TOLVEX_NIFTY_SERVE_BPLUS", 8}};
constexpr EnumConstant kXferStatus[] = {
    {"TOLVEX_XFER_TERM_ERROR", -1}, {"TOLVEX_XFER_TERM_OK", 0}, {"TOLVEX_XFER_WAITING", 1},
    {"TOLVEX_XFER_FILE_READY", 2}, {"TOLVEX_XFER_FILE_START", 3}, {"TOLVEX_XFER_XFERING", 4},
    {"TOLVEX_XFER_SKIP", 5}, {"TOLVEX_XFER_ABORT", 6}, {"TOLVEX_XFER_FINISHED", 7},
    {"TOLVEX_XFER_LOSTCARRIER", 8}, {"TOLVEX_XFER_TIMEOUT", 9}, {"TOLVEX_XFER_RESUME", 10}};
constexpr EnumConstant kXferDialog[] = {
    {"TOLVEX_XFERDIALOG_NONE", 0}, {"TOLVEX_XFERDIALOG_MODELESS", 1},
    {"TOLVEX_XFERDIALOG_MODAL", 2}};
constexpr EnumConstant kAppearance[] = {
    {"TOLVEX_APPEARANCE_FLAT", 0}, {"TOLVEX_APPEARANCE_3D", 1}};

// Public name, property type name (constants with a leading underscore).
const EnumInfo kEnums[] = {
    {"AutoProcessConstants", "enumAutoType", kAutoProcess},
    {"AutoScrollConstants", "enumScrollType", kAutoScroll},
    {"BackspaceConstants", "enumBackType", kBackspace},
    {"CaptureModeConstants", "enumCaptureType", kCaptureMode},
    {"TolvexColorConstants", "enumTolvexColorType", kColor},
    {"ColorFilterConstants", "enumFilterType", kColorFilter},
    {"CursorTypeConstants", "enumCursorType", kCursorType},
    {"EmulationConstants", "enumEmulationType", kEmulation},
    {"HandshakeConstants", "enumHandType", kHandshake},
    {"KeyTranslationConstants", "enumKeyType", kKeyTranslation},
    {"EventConstants", nullptr, kEvent},
    {"ErrorConstants", nullptr, kError},
    {"XferProtocolConstants", "enumProtocolType", kXferProtocol},
    {"XferStatusConstant", nullptr, kXferStatus},
    {"XferStatusDialogConstants", "enumDialogType", kXferDialog},
    {nullptr, "enumAppearType", kAppearance},
};

// ---------------------------------------------------------------------------
// Properties

constexpr auto R = GetAccess::Any;
constexpr auto Rrun = GetAccess::RunOnly;
constexpr auto Rno = GetAccess::None;
constexpr auto W = PutAccess::Any;
constexpr auto Wrun = PutAccess::RunOnly;
constexpr auto Wdesign = PutAccess::DesignOnly;
constexpr auto Wno = PutAccess::None;

constexpr TypeKind I2 = TypeKind::I2;
constexpr TypeKind I4 = TypeKind::I4;
constexpr TypeKind R4 = TypeKind::R4;
constexpr TypeKind Bo = TypeKind::Bool;
constexpr TypeKind St = TypeKind::String;
constexpr TypeKind Va = TypeKind::Variant;
constexpr TypeKind En = TypeKind::Enum;
constexpr TypeKind By = TypeKind::Bytes;

// dispid, name, type, enum, get, put, saved name, saved default text, check, default
#define PROP(d, n, t, e, g, p, sn, sd, c, dn) \
    PropertyRow { com::PropertyInfo{d, n, t, e, g, p, sn, sd}, Check::c, dn }

const PropertyRow kProperties[] = {
    PROP(id::kBreak, "Break", Bo, nullptr, Rno, W, nullptr, nullptr, None, 0),
    PROP(id::kCDHolding, "CDHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kCommEvent, "CommEvent", I2, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kCommPort, "CommPort", I2, nullptr, R, W, "CommPort", "1", Positive, 1),
    PROP(id::kCTSHolding, "CTSHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kDSRHolding, "DSRHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kDTREnable, "DTREnable", Bo, nullptr, R, W, "DTREnable", "true", None, -1),
    PROP(id::kHandshaking, "Handshaking", En, "enumHandType", R, W, "Handshaking", "0", InEnum, 0),
    PROP(id::kInBufferSize, "InBufferSize", I2, nullptr, R, W, "InBufferSize", "2048", NonNegative, 2048),
    PROP(id::kInBufferCount, "InBufferCount", I2, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kInput, "Input", St, nullptr, R, Wno, nullptr, nullptr, None, 0),
    PROP(id::kInputLen, "InputLen", I2, nullptr, R, W, "InputLen", "0", NonNegative, 0),
    PROP(id::kInterval, "Interval", I4, nullptr, R, W, "Interval", "200", NonNegative, 200),
    PROP(id::kInTimeout, "InTimeout", I4, nullptr, R, W, "InTimeout", "0", NonNegative, 0),
    PROP(id::kLineInput, "LineInput", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kNullDiscard, "NullDiscard", Bo, nullptr, R, W, "NullDiscard", "false", TriBool, 0),
    PROP(id::kOutBufferSize, "OutBufferSize", I2, nullptr, R, W, "OutBufferSize", "2048", NonNegative, 2048),
    PROP(id::kOutBufferCount, "OutBufferCount", I2, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kOutput, "Output", Va, nullptr, Rno, W, nullptr, nullptr, None, 0),
    PROP(id::kParityReplace, "ParityReplace", St, nullptr, R, W, "ParityReplace", "", None, 0),
    PROP(id::kPortOpen, "PortOpen", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kRThreshold, "RThreshold", I2, nullptr, R, W, "RThreshold", "0", NonNegative, 0),
    PROP(id::kRTSEnable, "RTSEnable", Bo, nullptr, R, W, "RTSEnable", "true", None, -1),
    PROP(id::kSettings, "Settings", St, nullptr, R, W, "Settings", "9600,N,8,1", Custom, 0),
    PROP(id::kSThreshold, "SThreshold", I2, nullptr, R, W, "SThreshold", "0", NonNegative, 0),
    PROP(id::kColumns, "Columns", I2, nullptr, R, W, "Columns", "80", Positive, 80),
    PROP(id::kRows, "Rows", I2, nullptr, R, W, "Rows", "25", Positive, 25),
    PROP(id::kFontName, "FontName", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kFontSize, "FontSize", R4, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kCursorRow, "CursorRow", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kCursorColumn, "CursorColumn", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kForeColor, "ForeColor", En, "enumTolvexColorType", R, W, "ForeColor", "0", InEnum, 0),
    PROP(id::kBackColor, "BackColor", En, "enumTolvexColorType", R, W, "BackColor", "15", InEnum, 15),
    PROP(id::kDisp, "Disp", St, nullptr, Rno, W, nullptr, nullptr, None, 0),
    PROP(id::kText, "Text", St, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kEmulation, "Emulation", En, "enumEmulationType", R, W, "Emulation", "0", InEnum, 0),
    PROP(id::kAutoProcess, "AutoProcess", En, "enumAutoType", R, W, "AutoProcess", "0", InEnum, 0),
    PROP(id::kAutoSize, "AutoSize", Bo, nullptr, R, W, "AutoSize", "false", TriBool, 0),
    PROP(id::kAutoScroll, "AutoScroll", En, "enumScrollType", R, W, "AutoScroll", "4", InEnum, 4),
    PROP(id::kFontBold, "FontBold", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kFontUnderline, "FontUnderline", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kCaptureFilename, "CaptureFilename", St, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kScrollRows, "ScrollRows", I2, nullptr, R, W, "ScrollRows", "0", NonNegative, 0),
    PROP(id::kScrollText, "ScrollText", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kFontItalic, "FontItalic", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kColorFilter, "ColorFilter", En, "enumFilterType", R, W, "ColorFilter", "0", InEnum, 0),
    PROP(id::kDownload, "Download", St, nullptr, Rno, W, nullptr, nullptr, None, 0),
    PROP(id::kUpload, "Upload", St, nullptr, Rno, W, nullptr, nullptr, None, 0),
    PROP(id::kXferStatus, "XferStatus", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kXferSourceFilename, "XferSourceFilename", St, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kXferTransferred, "XferTransferred", I4, nullptr, Rrun, W, nullptr, nullptr, None, 0),
    PROP(id::kXferFileSize, "XferFileSize", I4, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kXferProtocol, "XferProtocol", En, "enumProtocolType", R, W, "XferProtocol", "5", InEnum, 5),
    PROP(id::kXferStatusDialog, "XferStatusDialog", En, "enumDialogType", R, W, "XferStatusDialog", "2", InEnum, 2),
    PROP(id::kSelLength, "SelLength", I4, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kSelStart, "SelStart", I4, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0),
    PROP(id::kSelText, "SelText", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kXferMessage, "XferMessage", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kXferDestFilename, "XferDestFilename", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0),
    PROP(id::kXferCarrierAbort, "XferCarrierAbort", Bo, nullptr, R, W, "XferCarrierAbort", "true", None, -1),
    PROP(id::kSmoothScroll, "SmoothScroll", Bo, nullptr, R, W, "SmoothScroll", "false", None, 0),
    PROP(id::kCursorType, "CursorType", En, "enumCursorType", R, W, "CursorType", "0", InEnum, 0),
    PROP(id::kKeyTranslation, "KeyTranslation", En, "enumKeyType", R, W, "KeyTranslation", "0", InEnum, 0),
    PROP(id::kXferFileDate, "XferFileDate", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kXferFileTime, "XferFileTime", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kAutoZModem, "AutoZModem", Bo, nullptr, R, W, "AutoZModem", "false", None, 0),
    PROP(id::kCommID, "CommID", I4, nullptr, Rrun, Wno, nullptr, nullptr, None, 0),
    PROP(id::kBackspace, "Backspace", En, "enumBackType", R, W, "Backspace", "0", InEnum, 0),
    PROP(id::kEcho, "Echo", Bo, nullptr, R, W, "Echo", "false", TriBool, 0),
    PROP(id::kCaptureMode, "CaptureMode", En, "enumCaptureType", R, W, "CaptureMode", "2", InEnum, 2),
    PROP(id::kAnswerBack, "AnswerBack", St, nullptr, R, W, "AnswerBack", "", None, 0),
    PROP(id::kAppearance, "Appearance", En, "enumAppearType", R, Wdesign, "Appearance", "0", InEnum, 0),
    PROP(id::kInputB, "InputB", By, nullptr, R, Wno, nullptr, nullptr, None, 0),
    PROP(id::kOutputB, "OutputB", Va, nullptr, Rno, W, nullptr, nullptr, None, 0),
    // stock members
    PROP(id::kHWnd, "hWnd", I4, nullptr, R, Wno, nullptr, nullptr, None, 0),
    PROP(id::kFont, "Font", TypeKind::Font, nullptr, R, W, "Font", nullptr, Custom, 0),
    PROP(id::kAboutBox, "AboutBox", TypeKind::Method, nullptr, Rno, Wno, nullptr, nullptr, None, 0),
};
#undef PROP

// ---------------------------------------------------------------------------
// Events

constexpr EventParam kResizeParams[] = {{"NewRows", I2, false}, {"NewColumns", I2, false}};
constexpr EventParam kKeyParams[] = {{"KeyCode", I2, true}, {"Shift", I2, false}};
constexpr EventParam kKeyPressParams[] = {{"KeyAscii", I2, true}};
constexpr EventParam kMouseParams[] = {
    {"Button", I2, false}, {"Shift", I2, false}, {"X", I4, false}, {"Y", I4, false}};

const EventInfo kEvents[] = {
    {com::eventid::kOnComm, "OnComm", {}},
    {com::eventid::kResize, "Resize", kResizeParams},
    {com::eventid::kClick, "Click", {}},
    {com::eventid::kDblClick, "DblClick", {}},
    {com::eventid::kKeyDown, "KeyDown", kKeyParams},
    {com::eventid::kKeyPress, "KeyPress", kKeyPressParams},
    {com::eventid::kKeyUp, "KeyUp", kKeyParams},
    {com::eventid::kMouseDown, "MouseDown", kMouseParams},
    {com::eventid::kMouseMove, "MouseMove", kMouseParams},
    {com::eventid::kMouseUp, "MouseUp", kMouseParams},
};

// ---------------------------------------------------------------------------
// Save order

// Values of dispatch properties take their defaults from the property table.
constexpr SavedValue Num(const char* n, VarType t, DispId d)
{
    return {n, t, d, SavedOnly::None, 0, false};
}
constexpr SavedValue Txt(const char* n, DispId d)
{
    return {n, VarType::String, d, SavedOnly::None, 0, false};
}

const SavedValue kSaved[] = {
    Num("AutoProcess", VarType::I2, id::kAutoProcess),
    Num("AutoSize", VarType::Bool, id::kAutoSize),
    Num("AutoScroll", VarType::I2, id::kAutoScroll),
    Num("AutoZModem", VarType::Bool, id::kAutoZModem),
    Num("BackColor", VarType::I2, id::kBackColor),
    Num("Backspace", VarType::I2, id::kBackspace),
    Num("CaptureMode", VarType::I2, id::kCaptureMode),
    Num("ColorFilter", VarType::I2, id::kColorFilter),
    Num("Columns", VarType::I2, id::kColumns),
    Num("CommPort", VarType::I2, id::kCommPort),
    Num("CursorType", VarType::I2, id::kCursorType),
    Num("DTREnable", VarType::Bool, id::kDTREnable),
    Num("Echo", VarType::Bool, id::kEcho),
    Num("Emulation", VarType::I2, id::kEmulation),
    {"FastScroll", VarType::Bool, 0, SavedOnly::FastScroll, -1, true},
    Num("ForeColor", VarType::I2, id::kForeColor),
    Num("Handshaking", VarType::I2, id::kHandshaking),
    {"Height", VarType::I4, 0, SavedOnly::Height, 0, false},
    Num("InBufferSize", VarType::I2, id::kInBufferSize),
    Num("InputLen", VarType::I2, id::kInputLen),
    Num("Interval", VarType::I4, id::kInterval),
    Num("InTimeout", VarType::I4, id::kInTimeout),
    Num("KeyTranslation", VarType::I2, id::kKeyTranslation),
    Num("NullDiscard", VarType::Bool, id::kNullDiscard),
    Num("OutBufferSize", VarType::I2, id::kOutBufferSize),
    Txt("ParityReplace", id::kParityReplace),
    Num("Rows", VarType::I2, id::kRows),
    Num("RThreshold", VarType::I2, id::kRThreshold),
    Num("RTSEnable", VarType::Bool, id::kRTSEnable),
    Num("ScrollRows", VarType::I2, id::kScrollRows),
    Txt("Settings", id::kSettings),
    Num("SmoothScroll", VarType::Bool, id::kSmoothScroll),
    Num("SThreshold", VarType::I2, id::kSThreshold),
    {"Width", VarType::I4, 0, SavedOnly::Width, 0, false},
    Num("XferCarrierAbort", VarType::Bool, id::kXferCarrierAbort),
    Num("XferProtocol", VarType::I2, id::kXferProtocol),
    Num("XferStatusDialog", VarType::I2, id::kXferStatusDialog),
    Txt("AnswerBack", id::kAnswerBack),
    Num("Appearance", VarType::I2, id::kAppearance),
};

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

std::span<const PropertyRow> PropertyRows() { return kProperties; }

const PropertyRow* FindProperty(DispId dispid)
{
    if (dispid == id::kDefaultValue) dispid = id::kInput;
    if (dispid >= 1 && dispid <= id::kLastCustom) return &kProperties[dispid - 1];
    for (const auto& row : kProperties)
        if (row.info.dispid == dispid) return &row;
    return nullptr;
}

const PropertyRow* FindPropertyByName(std::string_view name)
{
    for (const auto& row : kProperties)
        if (EqualsNoCase(row.info.name, name)) return &row;
    return nullptr;
}

std::span<const com::EnumInfo> Enums() { return kEnums; }

const com::EnumInfo* FindEnumByType(std::string_view typeName)
{
    for (const auto& e : kEnums)
        if (e.typeName && typeName == e.typeName) return &e;
    return nullptr;
}

std::span<const com::EventInfo> Events() { return kEvents; }

std::span<const SavedValue> SavedValues() { return kSaved; }

com::Variant SavedDefault(const SavedValue& saved)
{
    std::int32_t number = saved.onlyDefault;
    if (saved.only == SavedOnly::None) {
        const PropertyRow* row = FindProperty(saved.dispid);
        if (saved.type == VarType::String) return com::Variant::String(row->info.defaultText);
        number = row->defaultNumber;
    } else if (!saved.onlyHasDefault) {
        return {};
    }
    switch (saved.type) {
    case VarType::Bool: return com::Variant::Bool(number != 0);
    case VarType::I4: return com::Variant::I4(number);
    default: return com::Variant::I2(static_cast<std::int16_t>(number));
    }
}

bool PassesCheck(const PropertyRow& row, std::int32_t value)
{
    switch (row.check) {
    case Check::None:
    case Check::Custom:
        return true;
    case Check::NonNegative:
        return value >= 0;
    case Check::Positive:
        return value > 0;
    case Check::TriBool:
        return value == 0 || value == 1 || value == -1;
    case Check::InEnum: {
        const auto* e = FindEnumByType(row.info.enumType ? row.info.enumType : "");
        if (!e) return false;
        for (const auto& c : e->constants)
            if (c.value == value) return true;
        return false;
    }
    }
    return false;
}

const com::TypeLibraryInfo& TypeLibrary()
{
    static const std::vector<com::PropertyInfo> infos = [] {
        std::vector<com::PropertyInfo> v;
        for (const auto& row : kProperties) v.push_back(row.info);
        return v;
    }();
    static const com::TypeLibraryInfo lib{
        "TolvexcommLib", "_DTolvexcomm", "_DTolvexcommEvents", "TolvexComm", "CTolvexcommCtrl",
        com::kProgId, "TOLVEXCOM30.HLP", 3, 0, 0x409, infos, kEnums, kEvents,
    };
    return lib;
}

std::uint32_t PaletteColour(int index)
{
    static constexpr std::array<std::uint32_t, 16> kPalette = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    return (index >= 0 && index < 16) ? kPalette[static_cast<std::size_t>(index)] : kPalette[0];
}

}  // namespace tolvex::control
