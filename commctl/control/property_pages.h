// The control's property pages without their widgets: which page shows
// which field, how each field is bound to its property, and what loading,
// applying, "保存" (save defaults) and "ﾘｾｯﾄ" (reset defaults) do.
//
// Every field is bound to a property by name through the control's dispatch
// interface: the name is looked up in the control's type information, as a
// designer would, so "HandShaking" and "InTimeOut" find Handshaking and
// InTimeout. A field whose name the control does not have (HdnHeight,
// HdnWidth) is skipped by the exchange and keeps its own value. The font
// page's six fields share the stock Font property ("name;size;bold;italic;
// underline;strikethrough").
//
// One PropertyPageSet holds the fields of all pages of one sheet. The
// emulation page's copies of the other pages' values, which "保存" writes,
// are those pages' own fields, so the profile gets what the user sees on
// every page.
//
// Field texts are UTF-8; the control and the profile get them in CP932.
#pragma once

#include <tolvexcomm/component.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::control {

enum class FieldKind : std::uint8_t {
    Number,  // whole number in an edit field
    Real,    // number with a fraction (the font size)
    Text,    // text in an edit field
    Combo,   // one constant of an enumeration; the item index is the value
    Check,   // check box
};

enum class PageId : std::uint8_t { Emulation, Font, General, Advanced, FileTransfer };

struct PageField {
    PageId page;
    bool hidden;           // saved by "保存" but shown on no page
    const char* name;      // the field's name; also its key in the profile
    const char* property;  // the property it is bound to, by name
    FieldKind kind;
    const char* enumType;  // Combo: the enumeration (type form) whose constants it lists
    int fontPart;          // 0..5: the part of the Font text; -1 for other fields
    const char* initial;   // value before the page has read the control (number, text, 0/1)
    const char* reset;     // value of "ﾘｾｯﾄ"
};

struct PageDescription {
    PageId id;
    const char* className;  // nullptr for the standard font page
    const char* caption;    // UTF-8
    int captionString;      // 0 for the standard font page
    int templateId;
    const char* helpText;
    int helpContext;
};

inline constexpr const char* kPageHelpFile = "TOLVEXCOM30.HLP";

// The pages in the order the control lists them.
std::span<const PageDescription> PropertyPages();
// Every field, page by page; within a page in the order it shows them, its
// hidden fields last.
std::span<const PageField> PageFields();
// The keys "保存" writes, in order; each is a field's name (ASCII case aside).
std::span<const char* const> SavedDefaultKeys();

// The value of one field on the sheet.
struct FieldState {
    const PageField* field = nullptr;
    std::optional<com::DispId> dispid;  // the bound property; none when the control has no such name
    com::TypeKind type = com::TypeKind::I4;
    std::string text;   // Number, Real, Text
    int index = -1;     // Combo: selected item, -1 for none
    bool checked = false;
    bool changed = false;              // the user (or "ﾘｾｯﾄ") changed it since the last apply
    std::vector<std::string> items;    // Combo: "%ld - %s" per constant
};

// A field whose text cannot be converted, or a value the control refused.
struct Refusal {
    std::size_t field;     // index into Fields(); kNoField for the profile file
    std::string message;   // UTF-8, for the user
};
inline constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

class PropertyPageSet {
public:
    // Fields at their initial values, bound through the control's type
    // information. The profile is where "保存" and "ﾘｾｯﾄ" work.
    PropertyPageSet(com::IControl& control, std::filesystem::path profile);

    // Reads every bound property into its field and clears the changes. The
    // first load fills the combo boxes from the type information's
    // enumerations; with no enumerations there they stay empty.
    void Load();

    std::span<FieldState> Fields() { return fields_; }
    std::span<const FieldState> Fields() const { return fields_; }
    // The field of that name (ASCII case aside), or kNoField.
    std::size_t Find(std::string_view name) const;
    FieldState& Field(std::string_view name);

    // Edits; each marks the field changed when the value differs.
    void SetText(std::size_t field, std::string text);
    void SetIndex(std::size_t field, int index);
    void SetChecked(std::size_t field, bool checked);
    bool AnyChanged() const;

    // Converts every field's text; the first field that does not convert.
    std::optional<Refusal> CheckFields() const;
    // Converts every field; when one does not convert nothing is set and
    // that field is the one refusal. Else sets every changed bound property
    // (the font's fields as one Font value); the values the control refuses
    // are returned in order and their fields stay changed.
    std::vector<Refusal> Apply();
    // "保存": converts every field (a field that does not convert stops it
    // before anything is written), then writes SavedDefaultKeys() to the
    // profile's section "Default Values" in one rewrite of the file. The
    // changes stay to be applied: saving the defaults sets no property and
    // drops no edit.
    std::optional<Refusal> SaveDefaults();
    // "ﾘｾｯﾄ": removes the profile's section (a profile without it counts as
    // removed), then sets every field to its built-in default and marks
    // every bound field changed, so that applying sets them all. False, with
    // the fields left alone, when the profile could not be rewritten.
    bool ResetDefaults();

    com::IControl& control() { return control_; }
    const std::filesystem::path& profile() const { return profile_; }

private:
    void SetFromText(FieldState& f, std::string_view value);
    std::optional<Refusal> Convert(std::size_t index, com::Variant* out) const;

    com::IControl& control_;
    std::filesystem::path profile_;
    std::vector<FieldState> fields_;
    bool combosFilled_ = false;
};

}  // namespace tolvex::control
