// The control's object model as data: every property with its DISPID, type,
// access, saved name, default, value check, owning part, kind of put,
// profile key and place in the save order; every enumeration; every event.
// Dispatch, persistence, the profile defaults and the type information all
// read these tables: a property is described in its row and nowhere else.
#pragma once

#include <tolvexcomm/component.h>
#include <tolvexcomm/constants.h>
#include <tolvexcomm/dispids.h>

#include <optional>
#include <span>
#include <string_view>

namespace tolvex::control {

using com::DispId;
using com::TypeKind;

// The check a value passes before a property is changed (380 otherwise).
enum class Check : std::uint8_t {
    None,         // any value of the type
    NonNegative,  // >= 0
    Positive,     // > 0
    InEnum,       // one of the values of the property's enumeration
    TriBool,      // 0, 1 or -1
    Custom,       // checked by the property's own setter
};

// The part of the control a property's behaviour belongs to.
enum class Part : std::uint8_t {
    Control,   // the control itself: font, Emulation, AutoSize, Appearance
    Port,      // PortSide
    Terminal,  // TerminalPart
    Transfer,  // TransferPart
    Window,    // WindowSide: hWnd, AboutBox
};

// What a put does when the value written equals the value read.
enum class PutKind : std::uint8_t {
    Value,   // nothing; a real change is announced
    Action,  // runs anyway (PortOpen, CaptureFilename); a change is announced
    Silent,  // runs anyway and announces nothing (the buffer counts, XferStatus, Text)
};

struct PropertyRow {
    com::PropertyInfo info;
    Check check;
    std::int32_t defaultNumber;  // saved default of a numeric/bool property (bool: -1/0)
    Part part;
    PutKind putKind;
    const char* profileKey;      // key of the profile section "Default Values", or null
    std::int8_t savePosition;    // place in the save order, or -1 when not saved
};

// All dispatch members: DISPIDs 1..74 in order, then hWnd, Font, AboutBox.
std::span<const PropertyRow> PropertyRows();
// The row of a DISPID (0 = the default value, Input), or null.
const PropertyRow* FindProperty(DispId dispid);
// The row of a property by name (ASCII, case-insensitive), or null.
const PropertyRow* FindPropertyByName(std::string_view name);

std::span<const com::EnumInfo> Enums();
const com::EnumInfo* FindEnumByType(std::string_view typeName);
std::span<const com::EventInfo> Events();

// The type information handed to hosts.
const com::TypeLibraryInfo& TypeLibrary();

// Saved values in their save order. A value either belongs to a dispatch
// property or is saved only (FastScroll, Width, Height).
enum class SavedOnly : std::uint8_t { None, FastScroll, Width, Height };

struct SavedValue {
    const char* name;
    com::VarType type;   // I2, I4, Bool or String
    DispId dispid;       // 0 for values saved only
    SavedOnly only;
    std::int32_t onlyDefault;  // default of a value saved only
    bool onlyHasDefault;       // Width and Height have none
};

// Made from the table's save positions and the values saved only.
std::span<const SavedValue> SavedValues();

// The properties a new instance takes from the profile section
// "Default Values" (their rows have a profile key), in table order.
std::span<const PropertyRow* const> ProfileRows();

// The default of a saved value; empty for Width and Height, which have none.
com::Variant SavedDefault(const SavedValue& saved);

// Version of the saved state.
inline constexpr std::int32_t kSaveVersion = 0x30000;

// Does `value` pass the property's check? (Only the checks of the table; a
// Custom check always passes here.)
bool PassesCheck(const PropertyRow& row, std::int32_t value);

// The 16 terminal colours as 0x00BBGGRR, by TolvexColorConstants index.
std::uint32_t PaletteColour(int index);

}  // namespace tolvex::control
