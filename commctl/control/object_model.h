// The control's object model as data: every property with its DISPID, type,
// access, saved name, default and value check; every enumeration; every
// event; the order in which values are saved. Dispatch, persistence and the
// type information all read these tables.
#pragma once

#include <tolvexcomm/component.h>
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

struct PropertyRow {
    com::PropertyInfo info;
    Check check;
    std::int32_t defaultNumber;  // saved default of a numeric/bool property (bool: -1/0)
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

std::span<const SavedValue> SavedValues();

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
