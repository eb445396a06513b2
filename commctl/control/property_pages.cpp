#include "property_pages.h"

#include "common/cp932.h"
#include "control_profile.h"
#include "ini_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tolvex::control {

namespace {

using com::Variant;
constexpr auto N = FieldKind::Number;
constexpr auto R = FieldKind::Real;
constexpr auto T = FieldKind::Text;
constexpr auto C = FieldKind::Combo;
constexpr auto B = FieldKind::Check;
constexpr auto Emu = PageId::Emulation;
constexpr auto Fnt = PageId::Font;
constexpr auto Gen = PageId::General;
constexpr auto Adv = PageId::Advanced;
constexpr auto Xfr = PageId::FileTransfer;

const PageDescription kPages[] = {
    {Emu, "CEmulationPropPage", "ｴﾐｭﾚｰｼｮﾝ", 8045, 101, "Customize TolvexComm's emulation properties", 4001},
    {Fnt, nullptr, "フォント", 0, 0, nullptr, 0},
    {Gen, "CHardwareGeneralPropPage", "設定 (標準)", 8043, 205, "Customize TolvexComm's hardware properties", 4002},
    {Adv, "CHardwareAdvancedPropPage", "設定 (拡張)", 8044, 206,
     "Customize TolvexComm's advanced hardware properties", 4003},
    {Xfr, "CFileTransferPropPage", "ﾌｧｲﾙ転送", 8046, 207, "Customize TolvexComm's file transfer properties", 4004},
};

// page, hidden, name, bound property, kind, enumeration, font part, initial, reset
const PageField kFields[] = {
    {Emu, false, "AnswerBack", "AnswerBack", T, nullptr, -1, "", ""},
    {Emu, false, "Rows", "Rows", N, nullptr, -1, "25", "25"},
    {Emu, false, "Columns", "Columns", N, nullptr, -1, "80", "80"},
    {Emu, false, "ScrollRows", "ScrollRows", N, nullptr, -1, "0", "0"},
    {Emu, false, "Appearance", "Appearance", C, "enumAppearType", -1, "0", "0"},
    {Emu, false, "BackColor", "BackColor", C, "enumTolvexColorType", -1, "15", "15"},
    {Emu, false, "ForeColor", "ForeColor", C, "enumTolvexColorType", -1, "0", "0"},
    {Emu, false, "AutoScroll", "AutoScroll", C, "enumScrollType", -1, "4", "4"},
    {Emu, false, "CaptureMode", "CaptureMode", C, "enumCaptureType", -1, "2", "2"},
    {Emu, false, "ColorFilter", "ColorFilter", C, "enumFilterType", -1, "0", "0"},
    {Emu, false, "Emulation", "Emulation", C, "enumEmulationType", -1, "0", "0"},
    {Emu, false, "KeyTranslation", "KeyTranslation", C, "enumKeyType", -1, "0", "0"},
    {Emu, false, "Backspace", "Backspace", C, "enumBackType", -1, "0", "0"},
    {Emu, false, "CursorType", "CursorType", C, "enumCursorType", -1, "0", "0"},
    {Emu, false, "Echo", "Echo", B, nullptr, -1, "0", "0"},
    {Emu, false, "AutoSize", "AutoSize", B, nullptr, -1, "0", "0"},
    {Emu, false, "SmoothScroll", "SmoothScroll", B, nullptr, -1, "0", "0"},
    // Saved with the defaults; the control has no property of these names.
    {Emu, true, "HdnHeight", "HdnHeight", N, nullptr, -1, "30", "30"},
    {Emu, true, "HdnWidth", "HdnWidth", N, nullptr, -1, "30", "30"},
    // The standard font page: the parts of the stock font.
    {Fnt, false, "FontName", "Font", T, nullptr, 0, "MS Sans Serif", "MS Sans Serif"},
    {Fnt, false, "FontSize", "Font", R, nullptr, 1, "8", "8"},
    {Fnt, false, "FontBold", "Font", B, nullptr, 2, "0", "0"},
    {Fnt, false, "FontItalic", "Font", B, nullptr, 3, "0", "0"},
    {Fnt, false, "FontUnderline", "Font", B, nullptr, 4, "0", "0"},
    {Fnt, false, "FontStrikeThru", "Font", B, nullptr, 5, "0", "0"},
    {Gen, false, "CommPort", "CommPort", N, nullptr, -1, "1", "1"},
    {Gen, false, "Settings", "Settings", T, nullptr, -1, "9600,N,8,1", "9600,N,8,1"},
    {Gen, false, "AutoProcess", "AutoProcess", C, "enumAutoType", -1, "0", "0"},
    {Gen, false, "HandShaking", "HandShaking", C, "enumHandType", -1, "0", "0"},
    {Gen, false, "RTSEnable", "RTSEnable", B, nullptr, -1, "1", "1"},
    {Gen, false, "DTREnable", "DTREnable", B, nullptr, -1, "1", "1"},
    {Adv, false, "InBufferSize", "InBufferSize", N, nullptr, -1, "2048", "2048"},
    {Adv, false, "InputLen", "InputLen", N, nullptr, -1, "0", "0"},
    {Adv, false, "InTimeOut", "InTimeOut", N, nullptr, -1, "0", "0"},
    {Adv, false, "OutBufferSize", "OutBufferSize", N, nullptr, -1, "2048", "2048"},
    {Adv, false, "RThreshold", "RThreshold", N, nullptr, -1, "0", "0"},
    {Adv, false, "SThreshold", "SThreshold", N, nullptr, -1, "0", "0"},
    {Adv, false, "ParityReplace", "ParityReplace", T, nullptr, -1, "", ""},
    {Adv, false, "NullDiscard", "NullDiscard", B, nullptr, -1, "0", "0"},
    {Xfr, false, "XferProtocol", "XferProtocol", C, "enumProtocolType", -1, "-1", "5"},
    {Xfr, false, "XferStatusDialog", "XferStatusDialog", C, "enumDialogType", -1, "-1", "2"},
    {Xfr, false, "AutoZModem", "AutoZModem", B, nullptr, -1, "0", "0"},
    {Xfr, false, "XferCarrierAbort", "XferCarrierAbort", B, nullptr, -1, "0", "1"},
};

const char* const kSavedKeys[] = {
    "AutoSize", "Backspace", "Echo", "SmoothScroll", "Appearance", "AutoScroll", "CaptureMode", "ColorFilter",
    "Emulation", "KeyTranslation", "AnswerBack", "Columns", "CursorType", "Rows", "ScrollRows", "BackColor",
    "FontBold", "FontItalic", "FontName", "FontSize", "FontStrikeThru", "FontUnderline", "ForeColor",
    "HdnHeight", "HdnWidth", "AutoProcess", "CommPort", "DtrEnable", "AutoZModem", "HandShaking",
    "InBufferSize", "InputLen", "InTimeOut", "NullDiscard", "OutBufferSize", "ParityReplace", "RThreshold",
    "RTSEnable", "Settings", "XferStatusDialog", "SThreshold", "XferProtocol", "XferCarrierAbort",
};

constexpr int kFontParts = 6;  // name;size;bold;italic;underline;strikethrough

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::vector<std::string> SplitFont(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t semi = text.find(';', start);
        parts.push_back(text.substr(start, semi - start));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return parts;
}

// The range of a whole number bound to a property of this type.
std::pair<long long, long long> RangeOf(com::TypeKind type)
{
    if (type == com::TypeKind::I2 || type == com::TypeKind::Enum) return {-32768, 32767};
    return {-2147483648LL, 2147483647LL};
}

}  // namespace

std::span<const PageDescription> PropertyPages() { return kPages; }
std::span<const PageField> PageFields() { return kFields; }
std::span<const char* const> SavedDefaultKeys() { return kSavedKeys; }

PropertyPageSet::PropertyPageSet(com::IControl& control, std::filesystem::path profile)
    : control_(control), profile_(std::move(profile))
{
    const auto& properties = control_.TypeInfo().properties;
    for (const PageField& field : kFields) {
        FieldState f;
        f.field = &field;
        // Bound by name, as the control's type information spells it.
        for (const auto& p : properties) {
            if (p.type != com::TypeKind::Method && profile::EqualsNoCase(p.name, field.property)) {
                f.dispid = p.dispid;
                f.type = p.type;
                break;
            }
        }
        SetFromText(f, field.initial);
        fields_.push_back(std::move(f));
    }
}

void PropertyPageSet::SetFromText(FieldState& f, std::string_view value)
{
    switch (f.field->kind) {
    case FieldKind::Number:
    case FieldKind::Real:
    case FieldKind::Text: f.text = std::string(value); break;
    case FieldKind::Combo: f.index = std::atoi(std::string(value).c_str()); break;
    case FieldKind::Check: f.checked = value == "1"; break;
    }
}

void PropertyPageSet::Load()
{
    if (!combosFilled_) {
        // The combo boxes list the constants of their enumerations in the
        // order of the type information, "value - name" in the type form.
        for (const auto& e : control_.TypeInfo().enums) {
            if (!e.typeName) continue;
            for (auto& f : fields_) {
                if (f.field->kind != FieldKind::Combo || std::string_view(f.field->enumType) != e.typeName) continue;
                f.items.clear();
                for (const auto& c : e.constants) {
                    char item[96];
                    std::snprintf(item, sizeof item, "%ld - _%s", static_cast<long>(c.value), c.name);
                    f.items.emplace_back(item);
                }
            }
        }
        combosFilled_ = true;
    }
    std::optional<std::vector<std::string>> font;
    for (auto& f : fields_) {
        f.changed = false;
        if (!f.dispid) continue;
        if (f.field->fontPart >= 0) {
            if (!font) {
                auto r = control_.Invoke(*f.dispid, com::InvokeKind::Get, {});
                font = r.ok() ? SplitFont(r.value.text()) : std::vector<std::string>{};
            }
            if (font->size() != kFontParts) continue;
            const std::string& part = (*font)[static_cast<std::size_t>(f.field->fontPart)];
            SetFromText(f, f.field->kind == FieldKind::Text ? Cp932ToUtf8(part) : part);
            continue;
        }
        auto r = control_.Invoke(*f.dispid, com::InvokeKind::Get, {});
        if (!r.ok()) continue;  // the field keeps its value
        switch (f.field->kind) {
        case FieldKind::Number:
        case FieldKind::Real: f.text = std::to_string(r.value.integer()); break;
        case FieldKind::Text: f.text = Cp932ToUtf8(r.value.text()); break;
        case FieldKind::Combo: f.index = r.value.integer(); break;
        case FieldKind::Check: f.checked = r.value.integer() != 0; break;
        }
    }
}

std::size_t PropertyPageSet::Find(std::string_view name) const
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (profile::EqualsNoCase(fields_[i].field->name, name)) return i;
    return kNoField;
}

FieldState& PropertyPageSet::Field(std::string_view name)
{
    const std::size_t i = Find(name);
    if (i == kNoField) throw std::out_of_range("no page field " + std::string(name));
    return fields_[i];
}

void PropertyPageSet::SetText(std::size_t field, std::string text)
{
    FieldState& f = fields_.at(field);
    if (f.text == text) return;
    f.text = std::move(text);
    f.changed = true;
}

void PropertyPageSet::SetIndex(std::size_t field, int index)
{
    FieldState& f = fields_.at(field);
    if (f.index == index) return;
    f.index = index;
    f.changed = true;
}

void PropertyPageSet::SetChecked(std::size_t field, bool checked)
{
    FieldState& f = fields_.at(field);
    if (f.checked == checked) return;
    f.checked = checked;
    f.changed = true;
}

bool PropertyPageSet::AnyChanged() const
{
    for (const auto& f : fields_)
        if (f.changed) return true;
    return false;
}

std::optional<Refusal> PropertyPageSet::Convert(std::size_t index, Variant* out) const
{
    const FieldState& f = fields_[index];
    switch (f.field->kind) {
    case FieldKind::Number: {
        const std::string_view text = Trim(f.text);
        long long n = 0;
        const char* first = text.data();
        const char* last = text.data() + text.size();
        if (!text.empty() && *first == '+') ++first;
        auto [end, ec] = std::from_chars(first, last, n);
        if (text.empty() || ec == std::errc::invalid_argument || end != last)
            return Refusal{index, "整数を入力してください。"};
        const auto [low, high] = RangeOf(f.type);
        if (ec == std::errc::result_out_of_range || n < low || n > high)
            return Refusal{index, std::to_string(low) + " から " + std::to_string(high) + " までの整数を入力してください。"};
        if (out) *out = f.type == com::TypeKind::I2 ? Variant::I2(static_cast<std::int16_t>(n))
                                                    : Variant::I4(static_cast<std::int32_t>(n));
        return std::nullopt;
    }
    case FieldKind::Real: {
        const std::string text(Trim(f.text));
        char* end = nullptr;
        const double v = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > 1638.0)
            return Refusal{index, "0 より大きく 1638 以下の数値を入力してください。"};
        if (out) *out = Variant::R4(static_cast<float>(v));
        return std::nullopt;
    }
    case FieldKind::Text: {
        std::size_t unmapped = 0;
        std::string cp932 = Utf8ToCp932(f.text, &unmapped);
        if (unmapped) return Refusal{index, "Shift-JIS で表せない文字は入力できません。"};
        if (f.field->fontPart == 0 && (cp932.empty() || cp932.find(';') != std::string::npos))
            return Refusal{index, "フォント名を入力してください（; は使えません）。"};
        if (out) *out = Variant::String(std::move(cp932));
        return std::nullopt;
    }
    case FieldKind::Combo:
        if (out) *out = Variant::I2(static_cast<std::int16_t>(f.index));
        return std::nullopt;
    case FieldKind::Check:
        if (out) *out = Variant::Bool(f.checked);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Refusal> PropertyPageSet::CheckFields() const
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (auto refusal = Convert(i, nullptr)) return refusal;
    return std::nullopt;
}

std::vector<Refusal> PropertyPageSet::Apply()
{
    // Every value is converted before the first property is set.
    std::vector<Variant> values(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (auto refusal = Convert(i, &values[i])) return {*refusal};

    std::vector<Refusal> refused;
    auto put = [&](std::size_t first, com::DispId dispid, const Variant& value) {
        auto r = control_.Invoke(dispid, com::InvokeKind::Put, std::span<const Variant>(&value, 1));
        if (r.ok()) return true;
        std::string message = Cp932ToUtf8(r.description);
        if (message.empty()) message = "このプロパティは設定できません。";
        refused.push_back({first, std::move(message)});
        return false;
    };

    // The font's fields are one Font value, set when any of them changed.
    std::vector<std::size_t> fontFields;
    bool fontChanged = false;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].field->fontPart >= 0 && fields_[i].dispid) {
            fontFields.push_back(i);
            fontChanged |= fields_[i].changed;
        }
    if (fontChanged && fontFields.size() == kFontParts) {
        std::array<std::string, kFontParts> parts;
        for (std::size_t i : fontFields) {
            const FieldState& f = fields_[i];
            std::string& part = parts[static_cast<std::size_t>(f.field->fontPart)];
            if (f.field->kind == FieldKind::Check) part = f.checked ? "1" : "0";
            else if (f.field->kind == FieldKind::Real) {
                char size[32];
                std::snprintf(size, sizeof size, "%.7g", static_cast<double>(values[i].real()));
                part = size;
            } else part = values[i].text();
        }
        std::string text = parts[0];
        for (int p = 1; p < kFontParts; ++p) text += ";" + parts[static_cast<std::size_t>(p)];
        if (put(fontFields.front(), *fields_[fontFields.front()].dispid, Variant::String(text)))
            for (std::size_t i : fontFields) fields_[i].changed = false;
    }

    for (std::size_t i = 0; i < fields_.size(); ++i) {
        FieldState& f = fields_[i];
        if (!f.changed || !f.dispid || f.field->fontPart >= 0) continue;
        if (f.field->kind == FieldKind::Combo && f.index < 0) {
            f.changed = false;  // nothing chosen: nothing to set
            continue;
        }
        if (put(i, *f.dispid, values[i])) f.changed = false;
    }
    return refused;
}

std::optional<Refusal> PropertyPageSet::SaveDefaults()
{
    std::vector<Variant> values(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (auto refusal = Convert(i, &values[i])) return refusal;

    std::vector<std::pair<std::string, std::string>> keys;
    for (const char* key : kSavedKeys) {
        const std::size_t i = Find(key);
        const Variant& v = values[i];
        std::string text;
        switch (fields_[i].field->kind) {
        case FieldKind::Number:
        case FieldKind::Combo: text = std::to_string(v.integer()); break;
        case FieldKind::Check: text = v.integer() ? "1" : "0"; break;
        case FieldKind::Text: text = v.text(); break;
        case FieldKind::Real: {
            char real[32];
            std::snprintf(real, sizeof real, "%.7g", static_cast<double>(v.real()));
            text = real;
            break;
        }
        }
        keys.emplace_back(key, std::move(text));
    }
    if (!profile::ControlProfile(profile_).WriteTexts(keys))
        return Refusal{kNoField, "プロファイル " + profile_.string() + " に書き込めません。"};
    return std::nullopt;
}

bool PropertyPageSet::ResetDefaults()
{
    profile::ControlProfile profile(profile_);
    // A profile that has no such section has nothing to remove.
    if (!profile.Clear() && profile::IniFile::Load(profile_).HasSection(profile::ControlProfile::kSection))
        return false;
    for (auto& f : fields_) {
        SetFromText(f, f.field->reset);
        f.changed = f.dispid.has_value();
    }
    return true;
}

}  // namespace tolvex::control
