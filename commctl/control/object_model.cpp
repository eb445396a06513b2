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

// The constants themselves are the public header's (tolvexcomm/constants.h).
namespace k = com::constants;

// Public name, property type name (constants with a leading underscore).
const EnumInfo kEnums[] = {
    {"AutoProcessConstants", "enumAutoType", k::kAutoProcess},
    {"AutoScrollConstants", "enumScrollType", k::kAutoScroll},
    {"BackspaceConstants", "enumBackType", k::kBackspace},
    {"CaptureModeConstants", "enumCaptureType", k::kCaptureMode},
    {"TolvexColorConstants", "enumTolvexColorType", k::kColor},
    {"ColorFilterConstants", "enumFilterType", k::kColorFilter},
    {"CursorTypeConstants", "enumCursorType", k::kCursorType},
    {"EmulationConstants", "enumEmulationType", k::kEmulation},
    {"HandshakeConstants", "enumHandType", k::kHandshake},
    {"KeyTranslationConstants", "enumKeyType", k::kKeyTranslation},
    {"EventConstants", nullptr, k::kEvent},
    {"ErrorConstants", nullptr, k::kError},
    {"XferProtocolConstants", "enumProtocolType", k::kXferProtocol},
    {"XferStatusConstant", nullptr, k::kXferStatus},
    {"XferStatusDialogConstants", "enumDialogType", k::kXferDialog},
    {nullptr, "enumAppearType", k::kAppearance},
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

// dispid, name, type, enum, get, put, saved name, saved default text, check,
// default, part, kind of put, profile key, save position
#define PROP(d, n, t, e, g, p, sn, sd, c, dn, part, pk, key, pos)                        \
    PropertyRow                                                                          \
    {                                                                                    \
        com::PropertyInfo{d, n, t, e, g, p, sn, sd}, Check::c, dn, Part::part, PutKind::pk, key, pos \
    }

const PropertyRow kProperties[] = {
    PROP(id::kBreak, "Break", Bo, nullptr, Rno, W, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kCDHolding, "CDHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kCommEvent, "CommEvent", I2, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kCommPort, "CommPort", I2, nullptr, R, W, "CommPort", "1", Positive, 1, Port, Value, nullptr, 9),
    PROP(id::kCTSHolding, "CTSHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kDSRHolding, "DSRHolding", Bo, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kDTREnable, "DTREnable", Bo, nullptr, R, W, "DTREnable", "true", None, -1, Port, Value, nullptr, 11),
    PROP(id::kHandshaking, "Handshaking", En, "enumHandType", R, W, "Handshaking", "0", InEnum, 0, Port, Value, "HandShaking", 16),
    PROP(id::kInBufferSize, "InBufferSize", I2, nullptr, R, W, "InBufferSize", "2048", NonNegative, 2048, Port, Value, "InBufferSize", 18),
    PROP(id::kInBufferCount, "InBufferCount", I2, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Port, Silent, nullptr, -1),
    PROP(id::kInput, "Input", St, nullptr, R, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kInputLen, "InputLen", I2, nullptr, R, W, "InputLen", "0", NonNegative, 0, Port, Value, nullptr, 19),
    PROP(id::kInterval, "Interval", I4, nullptr, R, W, "Interval", "200", NonNegative, 200, Port, Value, "Interval", 20),
    PROP(id::kInTimeout, "InTimeout", I4, nullptr, R, W, "InTimeout", "0", NonNegative, 0, Port, Value, nullptr, 21),
    PROP(id::kLineInput, "LineInput", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kNullDiscard, "NullDiscard", Bo, nullptr, R, W, "NullDiscard", "false", TriBool, 0, Port, Value, nullptr, 23),
    PROP(id::kOutBufferSize, "OutBufferSize", I2, nullptr, R, W, "OutBufferSize", "2048", NonNegative, 2048, Port, Value, "OutBufferSize", 24),
    PROP(id::kOutBufferCount, "OutBufferCount", I2, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Port, Silent, nullptr, -1),
    PROP(id::kOutput, "Output", Va, nullptr, Rno, W, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kParityReplace, "ParityReplace", St, nullptr, R, W, "ParityReplace", "", None, 0, Port, Value, nullptr, 25),
    PROP(id::kPortOpen, "PortOpen", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0, Port, Action, nullptr, -1),
    PROP(id::kRThreshold, "RThreshold", I2, nullptr, R, W, "RThreshold", "0", NonNegative, 0, Port, Value, nullptr, 27),
    PROP(id::kRTSEnable, "RTSEnable", Bo, nullptr, R, W, "RTSEnable", "true", None, -1, Port, Value, nullptr, 28),
    PROP(id::kSettings, "Settings", St, nullptr, R, W, "Settings", "9600,N,8,1", Custom, 0, Port, Value, "Settings", 30),
    PROP(id::kSThreshold, "SThreshold", I2, nullptr, R, W, "SThreshold", "0", NonNegative, 0, Port, Value, nullptr, 32),
    PROP(id::kColumns, "Columns", I2, nullptr, R, W, "Columns", "80", Positive, 80, Terminal, Value, "Columns", 8),
    PROP(id::kRows, "Rows", I2, nullptr, R, W, "Rows", "25", Positive, 25, Terminal, Value, "Rows", 26),
    PROP(id::kFontName, "FontName", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Control, Value, nullptr, -1),
    PROP(id::kFontSize, "FontSize", R4, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Control, Value, nullptr, -1),
    PROP(id::kCursorRow, "CursorRow", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Terminal, Value, nullptr, -1),
    PROP(id::kCursorColumn, "CursorColumn", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Terminal, Value, nullptr, -1),
    PROP(id::kForeColor, "ForeColor", En, "enumTolvexColorType", R, W, "ForeColor", "0", InEnum, 0, Terminal, Value, nullptr, 15),
    PROP(id::kBackColor, "BackColor", En, "enumTolvexColorType", R, W, "BackColor", "15", InEnum, 15, Terminal, Value, "BackColor", 4),
    PROP(id::kDisp, "Disp", St, nullptr, Rno, W, nullptr, nullptr, None, 0, Terminal, Value, nullptr, -1),
    PROP(id::kText, "Text", St, nullptr, Rrun, W, nullptr, nullptr, None, 0, Terminal, Silent, nullptr, -1),
    PROP(id::kEmulation, "Emulation", En, "enumEmulationType", R, W, "Emulation", "0", InEnum, 0, Control, Value, "Emulation", 13),
    PROP(id::kAutoProcess, "AutoProcess", En, "enumAutoType", R, W, "AutoProcess", "0", InEnum, 0, Port, Value, "AutoProcess", 0),
    PROP(id::kAutoSize, "AutoSize", Bo, nullptr, R, W, "AutoSize", "false", TriBool, 0, Control, Value, "AutoSize", 1),
    PROP(id::kAutoScroll, "AutoScroll", En, "enumScrollType", R, W, "AutoScroll", "4", InEnum, 4, Terminal, Value, "AutoScroll", 2),
    PROP(id::kFontBold, "FontBold", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0, Control, Value, nullptr, -1),
    PROP(id::kFontUnderline, "FontUnderline", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0, Control, Value, nullptr, -1),
    PROP(id::kCaptureFilename, "CaptureFilename", St, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Terminal, Action, nullptr, -1),
    PROP(id::kScrollRows, "ScrollRows", I2, nullptr, R, W, "ScrollRows", "0", NonNegative, 0, Terminal, Value, "ScrollRows", 29),
    PROP(id::kScrollText, "ScrollText", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Terminal, Value, nullptr, -1),
    PROP(id::kFontItalic, "FontItalic", Bo, nullptr, Rrun, W, nullptr, nullptr, None, 0, Control, Value, nullptr, -1),
    PROP(id::kColorFilter, "ColorFilter", En, "enumFilterType", R, W, "ColorFilter", "0", InEnum, 0, Terminal, Value, "ColorFilter", 7),
    PROP(id::kDownload, "Download", St, nullptr, Rno, W, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kUpload, "Upload", St, nullptr, Rno, W, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferStatus, "XferStatus", I2, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Transfer, Silent, nullptr, -1),
    PROP(id::kXferSourceFilename, "XferSourceFilename", St, nullptr, Rrun, W, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferTransferred, "XferTransferred", I4, nullptr, Rrun, W, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferFileSize, "XferFileSize", I4, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferProtocol, "XferProtocol", En, "enumProtocolType", R, W, "XferProtocol", "5", InEnum, 5, Transfer, Value, "XferProtocol", 35),
    PROP(id::kXferStatusDialog, "XferStatusDialog", En, "enumDialogType", R, W, "XferStatusDialog", "2", InEnum, 2, Transfer, Value, "XferStatusDialog", 36),
    PROP(id::kSelLength, "SelLength", I4, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Terminal, Value, nullptr, -1),
    PROP(id::kSelStart, "SelStart", I4, nullptr, Rrun, Wrun, nullptr, nullptr, Custom, 0, Terminal, Value, nullptr, -1),
    PROP(id::kSelText, "SelText", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Terminal, Value, nullptr, -1),
    PROP(id::kXferMessage, "XferMessage", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferDestFilename, "XferDestFilename", St, nullptr, Rrun, W, nullptr, nullptr, Custom, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferCarrierAbort, "XferCarrierAbort", Bo, nullptr, R, W, "XferCarrierAbort", "true", None, -1, Transfer, Value, "XferCarrierAbort", 34),
    PROP(id::kSmoothScroll, "SmoothScroll", Bo, nullptr, R, W, "SmoothScroll", "false", None, 0, Terminal, Value, nullptr, 31),
    PROP(id::kCursorType, "CursorType", En, "enumCursorType", R, W, "CursorType", "0", InEnum, 0, Terminal, Value, "CursorType", 10),
    PROP(id::kKeyTranslation, "KeyTranslation", En, "enumKeyType", R, W, "KeyTranslation", "0", InEnum, 0, Terminal, Value, "KeyTranslation", 22),
    PROP(id::kXferFileDate, "XferFileDate", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kXferFileTime, "XferFileTime", St, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Transfer, Value, nullptr, -1),
    PROP(id::kAutoZModem, "AutoZModem", Bo, nullptr, R, W, "AutoZModem", "false", None, 0, Port, Value, "AutoZModem", 3),
    PROP(id::kCommID, "CommID", I4, nullptr, Rrun, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kBackspace, "Backspace", En, "enumBackType", R, W, "Backspace", "0", InEnum, 0, Terminal, Value, "Backspace", 5),
    PROP(id::kEcho, "Echo", Bo, nullptr, R, W, "Echo", "false", TriBool, 0, Port, Value, nullptr, 12),
    PROP(id::kCaptureMode, "CaptureMode", En, "enumCaptureType", R, W, "CaptureMode", "2", InEnum, 2, Terminal, Value, "CaptureMode", 6),
    PROP(id::kAnswerBack, "AnswerBack", St, nullptr, R, W, "AnswerBack", "", None, 0, Port, Value, nullptr, 37),
    PROP(id::kAppearance, "Appearance", En, "enumAppearType", R, Wdesign, "Appearance", "0", InEnum, 0, Control, Value, nullptr, 38),
    PROP(id::kInputB, "InputB", By, nullptr, R, Wno, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    PROP(id::kOutputB, "OutputB", Va, nullptr, Rno, W, nullptr, nullptr, None, 0, Port, Value, nullptr, -1),
    // stock members
    PROP(id::kHWnd, "hWnd", I4, nullptr, R, Wno, nullptr, nullptr, None, 0, Window, Value, nullptr, -1),
    PROP(id::kFont, "Font", TypeKind::Font, nullptr, R, W, "Font", nullptr, Custom, 0, Control, Value, nullptr, -1),
    PROP(id::kAboutBox, "AboutBox", TypeKind::Method, nullptr, Rno, Wno, nullptr, nullptr, None, 0, Window, Value, nullptr, -1),
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

// The values saved that belong to no dispatch property, with their places in
// the save order; the dispatch properties give theirs in the table above.
struct SavedOnlyRow {
    SavedValue value;
    int position;
};
const SavedOnlyRow kSavedOnly[] = {
    {{"FastScroll", VarType::Bool, 0, SavedOnly::FastScroll, -1, true}, 14},
    {{"Height", VarType::I4, 0, SavedOnly::Height, 0, false}, 17},
    {{"Width", VarType::I4, 0, SavedOnly::Width, 0, false}, 33},
};

// The saved type of a property's value: enumerations are saved as I2.
VarType SavedType(TypeKind type)
{
    switch (type) {
    case TypeKind::Bool: return VarType::Bool;
    case TypeKind::I4: return VarType::I4;
    case TypeKind::String: return VarType::String;
    default: return VarType::I2;
    }
}

std::vector<SavedValue> BuildSaveOrder()
{
    std::vector<std::pair<int, SavedValue>> placed;
    for (const auto& row : kProperties)
        if (row.savePosition >= 0)
            placed.emplace_back(row.savePosition, SavedValue{row.info.persistedName, SavedType(row.info.type),
                                                             row.info.dispid, SavedOnly::None, 0, false});
    for (const auto& only : kSavedOnly) placed.emplace_back(only.position, only.value);
    std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SavedValue> order;
    for (const auto& [position, value] : placed) order.push_back(value);
    return order;
}

std::vector<const PropertyRow*> BuildProfileRows()
{
    std::vector<const PropertyRow*> rows;
    for (const auto& row : kProperties)
        if (row.profileKey) rows.push_back(&row);
    return rows;
}

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

std::span<const SavedValue> SavedValues()
{
    static const std::vector<SavedValue> order = BuildSaveOrder();
    return order;
}

std::span<const PropertyRow* const> ProfileRows()
{
    static const std::vector<const PropertyRow*> rows = BuildProfileRows();
    return rows;
}

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
