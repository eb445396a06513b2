#include "tolvexcomm_ctrl.h"

#include "common/cp932.h"
#include "ini_file.h"
#include "variant_convert.h"

#include <cmath>
#include <cstring>

namespace tolvex::control {

namespace id = com::dispid;
namespace ev = com::eventid;
using com::GetAccess;
using com::InvokeKind;
using com::InvokeResult;
using com::PutAccess;
using com::Status;
using com::Variant;
using com::VarType;

namespace {

std::atomic<int> g_liveInstances{0};

constexpr const char* kDefaultsSection = "Default Values";
constexpr std::size_t kProfileSettingsMax = 32;  // characters of Settings read from the profile

// The engine behind the port side, for the terminal and transfer factories.
EngineLink LinkTo(PortSide& port)
{
    EngineLink link;
    if (auto* engine_port = dynamic_cast<EnginePort*>(&port)) link.engine = &engine_port->Engine();
    return link;
}

// ASCII upper case, as the Settings property stores its text.
std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::int16_t I2Of(const Variant& v) { return static_cast<std::int16_t>(v.integer()); }

InvokeResult ErrorResult(int number, std::string_view utf8Text)
{
    InvokeResult r;
    r.status = com::ErrorStatus(number);
    r.description = Utf8ToCp932(utf8Text);
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Stock font

std::string StockFont::ToText() const
{
    char size[32];
    std::snprintf(size, sizeof size, "%.4g", static_cast<double>(sizeCy) / 10000.0);
    return name + ";" + size + ";" + (bold ? "1" : "0") + ";" + (italic ? "1" : "0") + ";" +
           (underline ? "1" : "0") + ";" + (strikethrough ? "1" : "0");
}

std::optional<StockFont> StockFont::FromText(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (true) {
        std::size_t semi = text.find(';');
        parts.push_back(text.substr(0, semi));
        if (semi == std::string_view::npos) break;
        text.remove_prefix(semi + 1);
    }
    if (parts.size() != 6 || parts[0].empty() || parts[0].size() > 255) return std::nullopt;
    StockFont font;
    font.name = std::string(parts[0]);
    auto size = ToReal(Variant::String(std::string(parts[1])));
    if (!size || *size <= 0.0f || *size > 1638.0f) return std::nullopt;
    font.sizeCy = std::llround(static_cast<double>(*size) * 10000.0);
    bool* flags[] = {&font.bold, &font.italic, &font.underline, &font.strikethrough};
    for (int i = 0; i < 4; ++i) {
        if (parts[2 + i] != "0" && parts[2 + i] != "1") return std::nullopt;
        *flags[i] = parts[2 + i] == "1";
    }
    return font;
}

// ---------------------------------------------------------------------------
// Construction and destruction

CTolvexcommCtrl::CTolvexcommCtrl(ControlParts parts) : parts_(std::move(parts))
{
    ++g_liveInstances;
    port_ = parts_.makePort ? parts_.makePort() : nullptr;
    if (!port_) port_ = std::make_unique<StoredPort>();
    PortEvents events;
    events.fireOnComm = [this] { FireOnComm(); };
    // Received data while AutoProcess sends it to the terminal, and echo.
    events.toTerminal = [this](std::string_view bytes) { terminal_->Disp(bytes); };
    events.keepAlive = [this] { return Hold(); };
    port_->Connect(std::move(events));

    TerminalHost host;
    host.fireResize = [this](std::int16_t rows, std::int16_t columns) { FireResize(rows, columns); };
    host.invalidate = [this] {
        if (window_) window_->Invalidate();
    };
    terminal_ = parts_.makeTerminalPart ? parts_.makeTerminalPart(std::move(host))
                                        : std::make_unique<StoredTerminal>(parts_.makeTerminal, std::move(host), LinkTo(*port_));
    if (parts_.makeTransferPart) {
        transfer_ = parts_.makeTransferPart(*port_);
    } else {
        const PortSide* port = port_.get();
        transfer_ = std::make_unique<StoredTransfer>(parts_.makeTransfer, [port] { return port->IsOpen(); },
                                                     LinkTo(*port_));
    }
    if (!parts_.profile) parts_.profile = profile::ProfilePath();

    // A size saved in the profile becomes the initial size.
    const auto ini = profile::IniFile::Load(*parts_.profile);
    auto width = profile::ProfileNumber(ini.Get(kDefaultsSection, "Width").value_or(""));
    auto height = profile::ProfileNumber(ini.Get(kDefaultsSection, "Height").value_or(""));
    if (width && height && *width > 0 && *height > 0 && *width <= 32767 && *height <= 32767) {
        width_ = static_cast<int>(*width);
        height_ = static_cast<int>(*height);
    }
}

CTolvexcommCtrl::~CTolvexcommCtrl()
{
    // Release in this order: capture file, terminal, transfer, port.
    terminal_.reset();
    transfer_.reset();
    if (port_ && port_->IsOpen()) {
        try {
            port_->Close();
        } catch (const std::exception&) {
            // The port closes with the port side below in any case.
        }
    }
    port_.reset();
    window_.reset();
    --g_liveInstances;
}

int CTolvexcommCtrl::LiveInstances() { return g_liveInstances.load(); }

std::shared_ptr<void> CTolvexcommCtrl::Hold()
{
    AddRef();
    return std::shared_ptr<void>(static_cast<void*>(this),
                                 [](void* self) { static_cast<CTolvexcommCtrl*>(self)->Release(); });
}

void CTolvexcommCtrl::AddRef() { ++refs_; }

void CTolvexcommCtrl::Release()
{
    if (--refs_ == 0) delete this;
}

void CTolvexcommCtrl::SetSite(com::IControlSite* site) { site_ = site; }

bool CTolvexcommCtrl::UserMode() const { return site_ ? site_->UserMode() : true; }

void CTolvexcommCtrl::AmbientChanged()
{
    // The terminal exists only at run time.
    if (!UserMode()) {
        terminal_->CloseScreen();
    } else {
        ShowAtRunTime();
        if (!terminal_->HasScreen() && emulation_ != 0) {
            CreateTerminal();
            LayoutTerminal();
        }
    }
    if (window_) window_->Invalidate();
}

// ---------------------------------------------------------------------------
// Events

void CTolvexcommCtrl::FireOnComm()
{
    if (sink_) sink_->OnEvent(ev::kOnComm, {});
}

void CTolvexcommCtrl::FireResize(std::int16_t newRows, std::int16_t newColumns)
{
    Variant args[] = {Variant::I2(newRows), Variant::I2(newColumns)};
    if (sink_) sink_->OnEvent(ev::kResize, args);
}

void CTolvexcommCtrl::FireKeyPress(std::int16_t& keyAscii)
{
    Variant args[] = {Variant::I2(keyAscii)};
    if (sink_) sink_->OnEvent(ev::kKeyPress, args);
    if (auto v = ToInt16(args[0])) keyAscii = *v;
}

void CTolvexcommCtrl::FireKeyDown(std::int16_t& keyCode, std::int16_t shift)
{
    Variant args[] = {Variant::I2(keyCode), Variant::I2(shift)};
    if (sink_) sink_->OnEvent(ev::kKeyDown, args);
    if (auto v = ToInt16(args[0])) keyCode = *v;
}

void CTolvexcommCtrl::FireKeyUp(std::int16_t& keyCode, std::int16_t shift)
{
    Variant args[] = {Variant::I2(keyCode), Variant::I2(shift)};
    if (sink_) sink_->OnEvent(ev::kKeyUp, args);
    if (auto v = ToInt16(args[0])) keyCode = *v;
}

void CTolvexcommCtrl::FireClick()
{
    if (sink_) sink_->OnEvent(ev::kClick, {});
}

void CTolvexcommCtrl::FireDblClick()
{
    if (sink_) sink_->OnEvent(ev::kDblClick, {});
}

void CTolvexcommCtrl::FireMouse(DispId event, std::int16_t button, std::int16_t shift,
                                std::int32_t x, std::int32_t y)
{
    Variant args[] = {Variant::I2(button), Variant::I2(shift), Variant::I4(x), Variant::I4(y)};
    if (sink_) sink_->OnEvent(event, args);
}

// ---------------------------------------------------------------------------
// Dispatch

InvokeResult CTolvexcommCtrl::Invoke(DispId dispid, InvokeKind kind, std::span<const Variant> args)
{
    // A read may raise OnComm (1005, line errors), whose handler may release
    // the control; it goes only after this call has returned its result.
    const std::shared_ptr<void> hold = Hold();
    const PropertyRow* row = FindProperty(dispid);
    if (!row) return {com::kMemberNotFound, {}, {}};
    try {
        if (row->info.type == TypeKind::Method) {
            if (kind != InvokeKind::Method) return {com::kMemberNotFound, {}, {}};
            if (!args.empty()) return {com::kBadParamCount, {}, {}};
            AboutBox();
            return {};
        }
        if (kind == InvokeKind::Get || kind == InvokeKind::Method) {
            if (!args.empty()) return {com::kBadParamCount, {}, {}};
            CheckGet(*row);
            InvokeResult r;
            r.value = GetValue(*row);
            return r;
        }
        if (args.size() != 1) return {com::kBadParamCount, {}, {}};
        CheckPut(*row);
        Put(*row, args[0]);
        return {};
    } catch (const ControlError& e) {
        return ErrorResult(e.number(), e.what());
    } catch (const std::exception& e) {
        return {com::kFail, Utf8ToCp932(e.what()), {}};
    }
}

void CTolvexcommCtrl::CheckGet(const PropertyRow& row) const
{
    switch (row.info.get) {
    case GetAccess::Any: return;
    case GetAccess::None: Fail(kErrGetNotSupported);
    case GetAccess::RunOnly:
        if (!UserMode()) Fail(kErrGetNotSupported);
        return;
    }
}

void CTolvexcommCtrl::CheckPut(const PropertyRow& row) const
{
    switch (row.info.put) {
    case PutAccess::Any: return;
    case PutAccess::None: Fail(kErrSetNotSupported);
    case PutAccess::RunOnly:
        if (!UserMode()) Fail(kErrSetNotSupported);
        return;
    case PutAccess::DesignOnly:
        if (UserMode()) Fail(kErrSetNotSupported);
        return;
    }
}

void CTolvexcommCtrl::Changed(DispId dispid)
{
    dirty_ = true;
    if (site_) {
        site_->OnPropertyChanged(dispid);
        site_->OnModified();
    }
    if (window_) window_->Invalidate();
}

std::optional<Variant> CTolvexcommCtrl::PeekValue(const PropertyRow& row)
{
    try {
        return GetValue(row);
    } catch (const ControlError&) {
        return std::nullopt;
    }
}

static std::int32_t CheckedNumber(const PropertyRow& row, const Variant& value);

// The value a put would leave, in the form the getter returns, to tell a
// real change from writing the current value again.
static std::optional<Variant> Canonical(const PropertyRow& row, const Variant& v)
{
    switch (row.info.type) {
    case TypeKind::Bool:
        if (auto i = ToInteger(v)) return Variant::Bool(*i != 0);
        return std::nullopt;
    case TypeKind::I2:
    case TypeKind::Enum:
        if (auto i = ToInt16(v)) return Variant::I2(*i);
        return std::nullopt;
    case TypeKind::I4:
        if (auto i = ToInteger(v)) return Variant::I4(*i);
        return std::nullopt;
    case TypeKind::R4:
        if (auto r = ToReal(v)) return Variant::R4(*r);
        return std::nullopt;
    case TypeKind::String:
        if (row.info.dispid == id::kSettings) return Variant::String(UpperAscii(ToText(v)));
        return Variant::String(ToText(v));
    case TypeKind::Font:
        if (auto f = StockFont::FromText(ToText(v))) return Variant::String(f->ToText());
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void CTolvexcommCtrl::Put(const PropertyRow& row, const Variant& value)
{
    const DispId dispid = row.info.dispid;
    const bool observable = row.info.get != GetAccess::None;
    std::optional<Variant> before;
    if (observable) {
        before = PeekValue(row);
        CheckedNumber(row, value);  // a refused value is refused even when it reads like the current one
        if (row.putKind == PutKind::Value && before) {
            auto after = Canonical(row, value);
            if (after && *after == *before) return;
        }
    }
    Store(row, value);
    if (observable && row.putKind != PutKind::Silent) {
        auto after = PeekValue(row);
        if (after != before) Changed(dispid);
    }
}

com::Variant CTolvexcommCtrl::GetValue(const PropertyRow& row)
{
    switch (row.part) {
    case Part::Port: return port_->Get(row);
    case Part::Terminal: return terminal_->Get(row);
    case Part::Transfer: return transfer_->Get(row);
    case Part::Control:
    case Part::Window: return GetOwn(row);
    }
    Fail(kErrGetNotSupported);
}

com::Variant CTolvexcommCtrl::GetOwn(const PropertyRow& row)
{
    switch (row.info.dispid) {
    case id::kFontName: return Variant::String(font_.name);
    case id::kFontSize: return Variant::R4(static_cast<float>(static_cast<double>(font_.sizeCy) / 10000.0));
    case id::kFontBold: return Variant::Bool(font_.bold);
    case id::kFontUnderline: return Variant::Bool(font_.underline);
    case id::kFontItalic: return Variant::Bool(font_.italic);
    case id::kFont: return Variant::String(font_.ToText());
    case id::kEmulation: return Variant::I2(emulation_);
    case id::kAutoSize: return Variant::Bool(autoSize_);
    case id::kAppearance: return Variant::I2(appearance_);
    case id::kHWnd: {
        WindowSide* w = EnsureWindow();
        return Variant::I4(w ? w->Handle() : 0);
    }
    default: Fail(kErrGetNotSupported);
    }
}

// Converts a value to the property's number (numeric and boolean types) and
// applies the table's check; throws 380 for what does not convert or pass.
static std::int32_t CheckedNumber(const PropertyRow& row, const Variant& value)
{
    std::int32_t number = 0;
    switch (row.info.type) {
    case TypeKind::Bool:
    case TypeKind::I4: {
        auto i = ToInteger(value);
        if (!i) Fail(kErrInvalidPropertyValue);
        number = *i;
        break;
    }
    case TypeKind::I2:
    case TypeKind::Enum: {
        auto i = ToInt16(value);
        if (!i) Fail(kErrInvalidPropertyValue);
        number = *i;
        break;
    }
    default:
        break;
    }
    if (!PassesCheck(row, number)) Fail(kErrInvalidPropertyValue);
    return number;
}

void CTolvexcommCtrl::Store(const PropertyRow& row, const Variant& value)
{
    PutValue v{value, 0, {}};
    v.number = CheckedNumber(row, value);
    if (row.info.type == TypeKind::String || row.info.type == TypeKind::Font) v.text = ToText(value);
    PutToPart(row, v);
}

void CTolvexcommCtrl::PutToPart(const PropertyRow& row, const PutValue& v)
{
    switch (row.part) {
    case Part::Port: port_->Put(row, v); return;
    case Part::Terminal: terminal_->Put(row, v); return;
    case Part::Transfer: transfer_->Put(row, v); return;
    case Part::Control:
    case Part::Window: StoreOwn(row, v); return;
    }
}

void CTolvexcommCtrl::StoreOwn(const PropertyRow& row, const PutValue& value)
{
    const std::string& text = value.text;
    switch (row.info.dispid) {
    case id::kFontName:
        if (text.empty() || text.size() > 255) Fail(kErrInvalidPropertyValue);
        font_.name = text;
        LayoutTerminal();
        return;
    case id::kFontSize: {
        auto r = ToReal(value.given);
        if (!r || *r <= 0.0f || *r > 1638.0f) Fail(kErrInvalidPropertyValue);
        font_.sizeCy = std::llround(static_cast<double>(*r) * 10000.0);
        LayoutTerminal();
        return;
    }
    case id::kFontBold: font_.bold = value.flag(); LayoutTerminal(); return;
    case id::kFontUnderline: font_.underline = value.flag(); return;
    case id::kFontItalic: font_.italic = value.flag(); return;
    case id::kFont: {
        auto f = StockFont::FromText(text);
        if (!f) Fail(kErrInvalidPropertyValue);
        font_ = *f;
        LayoutTerminal();
        return;
    }
    case id::kEmulation: SetEmulation(value.i2()); return;
    case id::kAutoSize: autoSize_ = value.flag(); LayoutTerminal(); return;
    case id::kAppearance: appearance_ = value.i2(); return;
    default: Fail(kErrSetNotSupported);
    }
}

// ---------------------------------------------------------------------------
// Terminal, size and capture

void CTolvexcommCtrl::SetEmulation(std::int16_t value)
{
    if (value == emulation_) return;
    // The screen's text and cursor carry over to the new emulation.
    const ScreenContents screen = terminal_->CloseScreen();
    emulation_ = value;
    port_->SetTerminalActive(value != 0);
    if (value == 0) {
        terminal_->EmulationOff();
        if (UserMode()) ShowAtRunTime();
        else SetOwnSize(32, 32);
        return;
    }
    if (UserMode()) {
        ShowAtRunTime();
        CreateTerminal();
        terminal_->RestoreScreen(screen);
    }
    LayoutTerminal();
}

void CTolvexcommCtrl::ShowAtRunTime()
{
    // Without a terminal there is nothing to show at run time: the control
    // hides itself in its container.
    if (loading_ || !UserMode()) return;
    const bool visible = emulation_ != 0;
    if (site_) site_->SetControlVisible(visible);
    if (window_) window_->SetVisible(visible);
}

void CTolvexcommCtrl::CreateTerminal()
{
    terminal_->CloseScreen();
    if (loading_ || !UserMode() || emulation_ == 0) return;
    terminal_->OpenScreen(emulation_);
}

void CTolvexcommCtrl::LayoutTerminal() { terminal_->Layout(); }

void CTolvexcommCtrl::SetOwnSize(int width, int height)
{
    const bool old = suppressResize_;
    suppressResize_ = true;
    SetExtent(width, height);
    suppressResize_ = old;
}

bool CTolvexcommCtrl::SetExtent(int width, int height)
{
    if (width < 0 || height < 0) return false;
    // The container may not resize the control while it sizes itself.
    if (!suppressResize_ && (autoSize_ || emulation_ == 0)) return false;
    width_ = width;
    height_ = height;
    if (window_) window_->Resize(width, height);
    if (!suppressResize_) LayoutTerminal();
    return true;
}

void CTolvexcommCtrl::GetExtent(int& width, int& height) const
{
    width = width_;
    height = height_;
}

WindowSide* CTolvexcommCtrl::EnsureWindow()
{
    if (!window_ && parts_.makeWindow) {
        window_ = parts_.makeWindow(*this, site_ ? site_->ParentWindow() : nullptr);
        if (window_) window_->Resize(width_, height_);
    }
    return window_.get();
}

QWidget* CTolvexcommCtrl::Window()
{
    WindowSide* w = EnsureWindow();
    return w ? w->Widget() : nullptr;
}

void CTolvexcommCtrl::AboutBox()
{
    WindowSide* w = EnsureWindow();
    if (!w) throw std::runtime_error("no window system for the About box");
    w->ShowAbout();
}

// ---------------------------------------------------------------------------
// Persistence

void CTolvexcommCtrl::ApplySaved(const SavedValue& saved, const Variant* value)
{
    const Variant fallback = SavedDefault(saved);
    auto apply = [&](const Variant& v) {
        switch (saved.only) {
        case SavedOnly::FastScroll: {
            auto i = ToInteger(v);
            if (!i) Fail(kErrInvalidPropertyValue);
            fastScroll_ = *i != 0;
            return;
        }
        case SavedOnly::Width:
        case SavedOnly::Height: {
            auto i = ToInteger(v);
            if (!i || *i < 0 || *i > 32767) Fail(kErrInvalidPropertyValue);
            (saved.only == SavedOnly::Width ? width_ : height_) = *i;
            return;
        }
        case SavedOnly::None:
            break;
        }
        // Saved numbers must be numbers, saved texts texts.
        const bool wantText = saved.type == VarType::String;
        const bool isText = v.type() == VarType::String || v.type() == VarType::Bytes;
        if (wantText != isText && !(isText && ToInteger(v))) Fail(kErrInvalidPropertyValue);
        Store(*FindProperty(saved.dispid), v);
    };
    try {
        if (value) {
            apply(*value);
            return;
        }
    } catch (const ControlError&) {
        // fall back to the default below
    }
    if (!fallback.empty()) apply(fallback);
}

void CTolvexcommCtrl::StartOver()
{
    // The port values cannot change while the port is open (InBufferSize,
    // OutBufferSize, CommPort): stop what uses the port and close it first,
    // as destruction does.
    terminal_->StartOver();
    transfer_->Stop();
    port_->Close();
    port_->ClearCommEvent();
}

Status CTolvexcommCtrl::Load(const com::IPropertyBag& bag)
{
    try {
        StartOver();
        suppressResize_ = true;
        loading_ = true;
        Variant v;
        std::optional<StockFont> font;
        if (bag.Read("Font", v)) font = StockFont::FromText(ToText(v));
        font_ = font.value_or(StockFont{});
        for (const auto& saved : SavedValues()) {
            Variant value;
            const bool present = bag.Read(saved.name, value);
            ApplySaved(saved, present ? &value : nullptr);
        }
        suppressResize_ = false;
        loading_ = false;
        AfterLoad();
        dirty_ = false;
        return com::kOk;
    } catch (const std::exception&) {
        suppressResize_ = false;
        loading_ = false;
        return com::kFail;
    }
}

void CTolvexcommCtrl::AfterLoad()
{
    // The receive values as loaded are the ones AutoProcess restores; the
    // loaded colours are the terminal's reference colours.
    port_->SetSavedInputValues(I2Of(port_->Get(*FindProperty(id::kInputLen))),
                               I2Of(port_->Get(*FindProperty(id::kRThreshold))));
    terminal_->KeepReferenceColours();
    port_->SetTerminalActive(emulation_ != 0);
    ShowAtRunTime();
    if (emulation_ == 0) {
        terminal_->CloseScreen();
        SetOwnSize(32, 32);
        return;
    }
    CreateTerminal();
    LayoutTerminal();
}

Status CTolvexcommCtrl::Save(com::IPropertyBag& bag, bool clearDirty)
{
    bag.Write("_Version", Variant::I4(kSaveVersion));
    bag.Write("Font", Variant::String(font_.ToText()));
    for (const auto& saved : SavedValues()) {
        Variant v;
        switch (saved.only) {
        case SavedOnly::FastScroll: v = Variant::Bool(fastScroll_); break;
        case SavedOnly::Width: v = Variant::I4(width_); break;
        case SavedOnly::Height: v = Variant::I4(height_); break;
        case SavedOnly::None: {
            Variant current = GetValue(*FindProperty(saved.dispid));
            v = saved.type == VarType::Bool ? Variant::Bool(current.integer() != 0)
                : saved.type == VarType::I4 ? Variant::I4(current.integer())
                : saved.type == VarType::I2 ? Variant::I2(I2Of(current))
                                            : current;
            break;
        }
        }
        bag.Write(saved.name, v);
    }
    if (clearDirty) dirty_ = false;
    return com::kOk;
}

void CTolvexcommCtrl::ResetFromProfile()
{
    const auto ini = profile::IniFile::Load(*parts_.profile);
    // Each property with a profile key takes its value from section
    // "Default Values", else its built-in default.
    for (const PropertyRow* entry : ProfileRows()) {
        const PropertyRow& row = *entry;
        const Variant builtIn = row.info.type == TypeKind::String
                                    ? Variant::String(row.info.defaultText)
                                    : Variant::I4(row.defaultNumber);
        std::optional<Variant> fromProfile;
        if (auto text = ini.Get(kDefaultsSection, row.profileKey)) {
            if (row.info.type == TypeKind::String) {
                fromProfile = Variant::String(text->substr(0, kProfileSettingsMax));
            } else if (auto n = profile::ProfileNumber(*text)) {
                fromProfile = Variant::I4(static_cast<std::int32_t>(*n));
            }
        }
        // A profile value the property refuses gives the built-in default.
        try {
            Store(row, fromProfile.value_or(builtIn));
        } catch (const ControlError&) {
            Store(row, builtIn);
        }
    }
}

Status CTolvexcommCtrl::InitNew()
{
    try {
        StartOver();
        loading_ = true;
        // The exchange resets every saved value to its default, then the
        // profile and the fixed values of a new instance follow.
        font_ = StockFont{};
        for (const auto& saved : SavedValues()) ApplySaved(saved, nullptr);
        ResetFromProfile();
        // Values every new instance starts with, whatever the profile says.
        struct Fixed {
            DispId dispid;
            std::int32_t number;
        };
        static constexpr Fixed kNewInstance[] = {
            {id::kDTREnable, -1}, {id::kCommPort, 1},   {id::kInputLen, 0},   {id::kInTimeout, 0},
            {id::kNullDiscard, 0}, {id::kParityReplace, 0}, {id::kRThreshold, 0}, {id::kSThreshold, 0},
            {id::kRTSEnable, -1}, {id::kEcho, 0},       {id::kAppearance, 0}, {id::kSmoothScroll, 0},
        };
        const Variant none;
        for (const Fixed& fixed : kNewInstance) PutToPart(*FindProperty(fixed.dispid), PutValue{none, fixed.number, {}});
        port_->SetSavedInputValues(0, 0);
        transfer_->ClearStatus();
        fastScroll_ = false;
        terminal_->KeepReferenceColours();
        loading_ = false;
        port_->SetTerminalActive(emulation_ != 0);
        ShowAtRunTime();
        CreateTerminal();
        LayoutTerminal();
        dirty_ = false;
        return com::kOk;
    } catch (const std::exception&) {
        loading_ = false;
        return com::kFail;
    }
}

}  // namespace tolvex::control
