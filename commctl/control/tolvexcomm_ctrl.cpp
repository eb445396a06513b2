#include "tolvexcomm_ctrl.h"

#include "settings_text.h"

#include "cp932.h"
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

[[noreturn]] void Fail(int number) { throw ControlError(number); }

// The engine behind the port side, for the terminal and transfer factories.
EngineLink LinkTo(PortSide& port)
{
    EngineLink link;
    if (auto* engine_port = dynamic_cast<EnginePort*>(&port)) link.engine = &engine_port->Engine();
    return link;
}

// Puts whose effect is an action rather than a new value: they run even when
// the value written equals the value read, and announce no change.
bool IsActionPut(DispId dispid)
{
    switch (dispid) {
    case id::kPortOpen:
    case id::kCaptureFilename:
    case id::kInBufferCount:
    case id::kOutBufferCount:
    case id::kXferStatus:
    case id::kText:
        return true;
    default:
        return false;
    }
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
    events.toTerminal = [this](std::string_view bytes) {
        if (terminal_) terminal_->Disp(bytes);
    };
    events.keepAlive = [this] { return Hold(); };
    port_->Connect(std::move(events));
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
    CloseCapture();
    terminal_.reset();
    if (transfer_) {
        transfer_->Stop();
        transfer_.reset();
    }
    if (port_ && port_->PortOpen()) {
        try {
            port_->SetPortOpen(false);
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
        terminal_.reset();
    } else {
        ShowAtRunTime();
        if (!terminal_ && emulation_ != 0) {
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
            r.value = GetValue(row->info.dispid);
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

std::optional<Variant> CTolvexcommCtrl::PeekValue(DispId dispid)
{
    try {
        return GetValue(dispid);
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
        before = PeekValue(dispid);
        CheckedNumber(row, value);  // a refused value is refused even when it reads like the current one
        if (!IsActionPut(dispid) && before) {
            auto after = Canonical(row, value);
            if (after && *after == *before) return;
        }
    }
    Store(row, value);
    if (observable && dispid != id::kInBufferCount && dispid != id::kOutBufferCount &&
        dispid != id::kXferStatus && dispid != id::kText) {
        auto after = PeekValue(dispid);
        if (after != before) Changed(dispid);
    }
}

com::Variant CTolvexcommCtrl::GetValue(DispId dispid)
{
    PortSide& p = *port_;
    switch (dispid) {
    case id::kCDHolding: return Variant::Bool(p.CDHolding());
    case id::kCommEvent: return Variant::I2(p.CommEvent());
    case id::kCommPort: return Variant::I2(p.CommPort());
    case id::kCTSHolding: return Variant::Bool(p.CTSHolding());
    case id::kDSRHolding: return Variant::Bool(p.DSRHolding());
    case id::kDTREnable: return Variant::Bool(p.DTREnable() != 0);
    case id::kHandshaking: return Variant::I2(p.Handshaking());
    case id::kInBufferSize: return Variant::I2(p.InBufferSize());
    case id::kInBufferCount: return Variant::I2(p.InBufferCount());
    case id::kInput: return Variant::String(p.Input());
    case id::kInputLen: return Variant::I2(p.InputLen());
    case id::kInterval: return Variant::I4(p.Interval());
    case id::kInTimeout: return Variant::I4(p.InTimeout());
    case id::kLineInput: return Variant::String(p.LineInput());
    case id::kNullDiscard: return Variant::Bool(p.NullDiscard());
    case id::kOutBufferSize: return Variant::I2(p.OutBufferSize());
    case id::kOutBufferCount: return Variant::I2(p.OutBufferCount());
    case id::kParityReplace: return Variant::String(p.ParityReplace());
    case id::kPortOpen: return Variant::Bool(p.PortOpen());
    case id::kRThreshold: return Variant::I2(p.RThreshold());
    case id::kRTSEnable: return Variant::Bool(p.RTSEnable() != 0);
    case id::kSettings: return Variant::String(p.Settings());
    case id::kSThreshold: return Variant::I2(p.SThreshold());
    case id::kColumns: return Variant::I2(columns_);
    case id::kRows: return Variant::I2(rows_);
    case id::kFontName: return Variant::String(font_.name);
    case id::kFontSize: return Variant::R4(static_cast<float>(static_cast<double>(font_.sizeCy) / 10000.0));
    case id::kCursorRow: return Variant::I2(terminal_ ? terminal_->CursorRow() : cursorRow_);
    case id::kCursorColumn: return Variant::I2(terminal_ ? terminal_->CursorColumn() : cursorColumn_);
    case id::kForeColor: return Variant::I2(foreColor_);
    case id::kBackColor: return Variant::I2(backColor_);
    case id::kText: return Variant::String(terminal_ ? terminal_->Text() : std::string());
    case id::kEmulation: return Variant::I2(emulation_);
    case id::kAutoProcess: return Variant::I2(p.AutoProcessMode());
    case id::kAutoSize: return Variant::Bool(autoSize_);
    case id::kAutoScroll: return Variant::I2(autoScroll_);
    case id::kFontBold: return Variant::Bool(font_.bold);
    case id::kFontUnderline: return Variant::Bool(font_.underline);
    case id::kCaptureFilename: return Variant::String(captureName_);
    case id::kScrollRows: return Variant::I2(scrollRows_);
    case id::kScrollText: return Variant::String(terminal_ ? terminal_->ScrollText() : std::string());
    case id::kFontItalic: return Variant::Bool(font_.italic);
    case id::kColorFilter: return Variant::I2(colorFilter_);
    case id::kXferStatus: return Variant::I2(xferStatus_);
    case id::kXferSourceFilename: return Variant::String(xferSourceFilename_);
    // 2000000000 stands for an unknown size and reads as 0.
    case id::kXferTransferred: return Variant::I4(xferTransferred_ == 2000000000 ? 0 : xferTransferred_);
    case id::kXferFileSize: return Variant::I4(xferFileSize_ == 2000000000 ? 0 : xferFileSize_);
    case id::kXferProtocol: return Variant::I2(xferProtocol_);
    case id::kXferStatusDialog: return Variant::I2(xferStatusDialog_);
    case id::kSelLength:
        if (!terminal_) Fail(kErrGetNotSupported);
        return Variant::I4(terminal_->SelLength());
    case id::kSelStart:
        if (!terminal_) Fail(kErrGetNotSupported);
        return Variant::I4(terminal_->SelStart());
    case id::kSelText:
        if (!terminal_) Fail(kErrGetNotSupported);
        return Variant::String(terminal_->SelText());
    case id::kXferMessage: return Variant::String(xferMessage_);
    case id::kXferDestFilename: return Variant::String(xferDestFilename_);
    case id::kXferCarrierAbort: return Variant::Bool(xferCarrierAbort_);
    case id::kSmoothScroll: return Variant::Bool(smoothScroll_);
    case id::kCursorType: return Variant::I2(cursorType_);
    case id::kKeyTranslation: return Variant::I2(keyTranslation_);
    case id::kXferFileDate: return Variant::String(xferFileDate_);
    case id::kXferFileTime: return Variant::String(xferFileTime_);
    case id::kAutoZModem: return Variant::Bool(p.AutoZModem());
    case id::kCommID: return Variant::I4(p.CommID());
    case id::kBackspace: return Variant::I2(backspace_);
    case id::kEcho: return Variant::Bool(p.Echo());
    case id::kCaptureMode: return Variant::I2(captureMode_);
    case id::kAnswerBack: return Variant::String(p.AnswerBack());
    case id::kAppearance: return Variant::I2(appearance_);
    case id::kInputB: return Variant::Bytes(p.InputB());
    case id::kHWnd: {
        WindowSide* w = EnsureWindow();
        return Variant::I4(w ? w->Handle() : 0);
    }
    case id::kFont: return Variant::String(font_.ToText());
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
    const DispId dispid = row.info.dispid;
    PortSide& p = *port_;

    const std::int32_t number = CheckedNumber(row, value);
    std::string text;
    if (row.info.type == TypeKind::String || row.info.type == TypeKind::Font) text = ToText(value);
    const auto i2 = static_cast<std::int16_t>(number);

    switch (dispid) {
    case id::kBreak: p.SetBreak(number != 0); return;
    case id::kCommPort: p.SetCommPort(i2); return;
    case id::kDTREnable: p.SetDTREnable(number); return;
    case id::kHandshaking: p.SetHandshaking(i2); return;
    case id::kInBufferSize: p.SetInBufferSize(i2); return;
    case id::kInBufferCount: p.SetInBufferCount(i2); return;
    case id::kInputLen: p.SetInputLen(i2); return;
    case id::kInterval: p.SetInterval(number); return;
    case id::kInTimeout: p.SetInTimeout(number); return;
    case id::kNullDiscard: p.SetNullDiscard(number); return;
    case id::kOutBufferSize: p.SetOutBufferSize(i2); return;
    case id::kOutBufferCount: p.SetOutBufferCount(i2); return;
    case id::kOutput:
        // Only a string is sent; other values are ignored.
        if (value.type() == VarType::String) p.Output(value.text());
        else if (!p.PortOpen()) Fail(kErrPortMustBeOpen);
        return;
    case id::kOutputB:
        if (value.type() == VarType::String || value.type() == VarType::Bytes) p.OutputB(value.text());
        else if (!p.PortOpen()) Fail(kErrPortMustBeOpen);
        return;
    case id::kParityReplace: p.SetParityReplace(text); return;
    case id::kPortOpen: p.SetPortOpen(number != 0); return;
    case id::kRThreshold: p.SetRThreshold(i2); return;
    case id::kRTSEnable: p.SetRTSEnable(number); return;
    case id::kSettings: p.SetSettings(text); return;
    case id::kSThreshold: p.SetSThreshold(i2); return;
    case id::kColumns:
    case id::kRows: SetRowsColumns(dispid, i2); return;
    case id::kFontName:
        if (text.empty() || text.size() > 255) Fail(kErrInvalidPropertyValue);
        font_.name = text;
        LayoutTerminal();
        return;
    case id::kFontSize: {
        auto r = ToReal(value);
        if (!r || *r <= 0.0f || *r > 1638.0f) Fail(kErrInvalidPropertyValue);
        font_.sizeCy = std::llround(static_cast<double>(*r) * 10000.0);
        LayoutTerminal();
        return;
    }
    case id::kFontBold: font_.bold = number != 0; LayoutTerminal(); return;
    case id::kFontUnderline: font_.underline = number != 0; return;
    case id::kFontItalic: font_.italic = number != 0; return;
    case id::kFont: {
        auto f = StockFont::FromText(text);
        if (!f) Fail(kErrInvalidPropertyValue);
        font_ = *f;
        LayoutTerminal();
        return;
    }
    case id::kCursorRow:
    case id::kCursorColumn: {
        const std::int16_t limit = dispid == id::kCursorRow ? rows_ : columns_;
        if (i2 < 1 || i2 > limit) Fail(kErrInvalidPropertyValue);
        if (terminal_) {
            cursorRow_ = terminal_->CursorRow();
            cursorColumn_ = terminal_->CursorColumn();
        }
        (dispid == id::kCursorRow ? cursorRow_ : cursorColumn_) = i2;
        if (terminal_) terminal_->SetCursor(cursorRow_, cursorColumn_);
        return;
    }
    case id::kForeColor:
    case id::kBackColor:
        (dispid == id::kForeColor ? foreColor_ : backColor_) = i2;
        if (terminal_) terminal_->SetColours(foreColor_, backColor_);
        return;
    case id::kDisp:
        // With a binary capture the text goes to the capture file unchanged.
        if (capture_ && captureMode_ == 1) {
            std::fwrite(text.data(), 1, text.size(), capture_);
            std::fflush(capture_);
        }
        if (terminal_) terminal_->Disp(text);
        return;
    case id::kText:
        if (terminal_) terminal_->SetText(text);
        return;
    case id::kEmulation: SetEmulation(i2); return;
    case id::kAutoProcess: p.SetAutoProcess(i2); return;
    case id::kAutoSize: autoSize_ = number != 0; LayoutTerminal(); return;
    case id::kAutoScroll: autoScroll_ = i2; return;
    case id::kCaptureFilename: SetCaptureFilename(text); return;
    case id::kScrollRows:
        scrollRows_ = i2;
        if (terminal_) terminal_->SetScrollRows(i2);
        LayoutTerminal();
        return;
    case id::kColorFilter: colorFilter_ = i2; return;
    case id::kDownload:
    case id::kUpload:
        if (!p.PortOpen()) Fail(kErrPortMustBeOpen);
        if (!transfer_ && parts_.makeTransfer) transfer_ = parts_.makeTransfer(LinkTo(p));
        if (!transfer_) Fail(kErrFunctionInvalid);
        if (dispid == id::kUpload) transfer_->Upload(text);
        else transfer_->Download(text);
        return;
    case id::kXferStatus:
        // Requests to a running transfer; without one the write is ignored.
        if (transfer_ && transfer_->Running()) {
            if (i2 != 5 && i2 != 6 && i2 != 10) Fail(kErrSetNotSupported);
            transfer_->Request(i2);
        }
        return;
    case id::kXferSourceFilename: xferSourceFilename_ = text; return;
    case id::kXferTransferred: xferTransferred_ = number; return;
    case id::kXferProtocol: xferProtocol_ = i2; return;
    case id::kXferStatusDialog: xferStatusDialog_ = i2; return;
    case id::kSelLength:
    case id::kSelStart:
        if (terminal_) {
            if (dispid == id::kSelStart) terminal_->SetSelStart(number);
            else terminal_->SetSelLength(number);
        } else if (number != 0) {
            Fail(kErrInvalidPropertyValue);  // the screen text is empty
        }
        return;
    case id::kSelText:
        if (terminal_) terminal_->SetSelText(text);
        return;
    case id::kXferDestFilename:
        // Taken only while a download asks for the name of its file.
        if (xferDestWritable_) xferDestFilename_ = text;
        return;
    case id::kXferCarrierAbort: xferCarrierAbort_ = number != 0; return;
    case id::kSmoothScroll: smoothScroll_ = number != 0; return;
    case id::kCursorType: cursorType_ = i2; return;
    case id::kKeyTranslation: keyTranslation_ = i2; return;
    case id::kAutoZModem: p.SetAutoZModem(number != 0); return;
    case id::kBackspace: backspace_ = i2; return;
    case id::kEcho: p.SetEcho(number != 0); return;
    case id::kCaptureMode: captureMode_ = i2; return;
    case id::kAnswerBack: p.SetAnswerBack(text); return;
    case id::kAppearance: appearance_ = i2; return;
    default: Fail(kErrSetNotSupported);
    }
}

// ---------------------------------------------------------------------------
// Terminal, size and capture

void CTolvexcommCtrl::SetRowsColumns(DispId dispid, std::int16_t value)
{
    std::int16_t rows = dispid == id::kRows ? value : rows_;
    std::int16_t columns = dispid == id::kColumns ? value : columns_;
    if (rows == rows_ && columns == columns_) return;
    if (terminal_) {
        FireResize(rows, columns);
        terminal_->Resize(rows, columns);
    }
    rows_ = rows;
    columns_ = columns;
    // The cursor stays on the screen; a size not set yet (0 while values
    // are loaded one after the other) leaves it where it is.
    if (rows_ > 0 && cursorRow_ > rows_) cursorRow_ = rows_;
    if (columns_ > 0 && cursorColumn_ > columns_) cursorColumn_ = columns_;
    LayoutTerminal();
}

void CTolvexcommCtrl::SetEmulation(std::int16_t value)
{
    if (value == emulation_) return;
    std::string screen;
    std::int16_t row = 1, column = 1;
    if (terminal_) {
        screen = terminal_->Text();
        row = terminal_->CursorRow();
        column = terminal_->CursorColumn();
    }
    terminal_.reset();
    emulation_ = value;
    port_->SetTerminalActive(value != 0);
    if (value == 0) {
        scrollRows_ = 0;
        if (UserMode()) ShowAtRunTime();
        else SetOwnSize(32, 32);
        return;
    }
    if (UserMode()) {
        ShowAtRunTime();
        CreateTerminal();
        if (terminal_) {
            terminal_->SetText(screen);
            terminal_->SetCursor(row, column);
        }
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
    terminal_.reset();
    if (loading_ || !UserMode() || emulation_ == 0 || !parts_.makeTerminal) return;
    TerminalSetup setup{emulation_, rows_, columns_, foreColor_, backColor_, scrollRows_};
    terminal_ = parts_.makeTerminal(setup, LinkTo(*port_));
}

void CTolvexcommCtrl::LayoutTerminal()
{
    if (terminal_) terminal_->Layout();
    if (window_) window_->Invalidate();
}

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

void CTolvexcommCtrl::SetCaptureFilename(const std::string& name)
{
    if (name.empty()) {
        if (!capture_) Fail(kErrInvalidPropertyValue);
        CloseCapture();
        return;
    }
    if (capture_) Fail(kErrInvalidPropertyValue);
    // Appended to, created when missing.
    std::FILE* f = std::fopen(name.c_str(), "ab");
    if (!f) Fail(kErrInvalidPropertyValue);
    capture_ = f;
    captureName_ = name;
}

void CTolvexcommCtrl::CloseCapture()
{
    if (!capture_) return;
    // A visible capture ends with the lines still on the screen.
    if (captureMode_ == 2 && terminal_) {
        for (const auto& line : terminal_->ScreenLines()) {
            std::fwrite(line.data(), 1, line.size(), capture_);
            std::fwrite("\r\n", 1, 2, capture_);
        }
    }
    std::fclose(capture_);
    capture_ = nullptr;
    captureName_.clear();
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
    CloseCapture();
    terminal_.reset();
    if (transfer_) {
        transfer_->Stop();
        transfer_.reset();
    }
    if (port_->PortOpen()) port_->SetPortOpen(false);
    port_->ClearCommEvent();
    // The screen starts anew with the cursor at the top left.
    cursorRow_ = 1;
    cursorColumn_ = 1;
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
    port_->SetSavedInputValues(port_->InputLen(), port_->RThreshold());
    referenceFore_ = foreColor_;
    referenceBack_ = backColor_;
    port_->SetTerminalActive(emulation_ != 0);
    ShowAtRunTime();
    if (emulation_ == 0) {
        terminal_.reset();
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
            Variant current = GetValue(saved.dispid);
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
    // Keys of section "Default Values" and the built-in default of each.
    struct ProfileDefault {
        const char* key;
        DispId dispid;
    };
    static constexpr ProfileDefault kFromProfile[] = {
        {"AutoProcess", id::kAutoProcess},     {"AutoScroll", id::kAutoScroll},
        {"AutoSize", id::kAutoSize},           {"AutoZModem", id::kAutoZModem},
        {"BackColor", id::kBackColor},         {"Backspace", id::kBackspace},
        {"CaptureMode", id::kCaptureMode},     {"ColorFilter", id::kColorFilter},
        {"Columns", id::kColumns},             {"CursorType", id::kCursorType},
        {"Emulation", id::kEmulation},         {"HandShaking", id::kHandshaking},
        {"InBufferSize", id::kInBufferSize},   {"Interval", id::kInterval},
        {"KeyTranslation", id::kKeyTranslation}, {"OutBufferSize", id::kOutBufferSize},
        {"Rows", id::kRows},                   {"ScrollRows", id::kScrollRows},
        {"Settings", id::kSettings},           {"XferCarrierAbort", id::kXferCarrierAbort},
        {"XferProtocol", id::kXferProtocol},   {"XferStatusDialog", id::kXferStatusDialog},
    };
    const auto ini = profile::IniFile::Load(*parts_.profile);
    for (const auto& entry : kFromProfile) {
        const PropertyRow& row = *FindProperty(entry.dispid);
        const Variant builtIn = row.info.type == TypeKind::String
                                    ? Variant::String(row.info.defaultText)
                                    : Variant::I4(row.defaultNumber);
        std::optional<Variant> fromProfile;
        if (auto text = ini.Get(kDefaultsSection, entry.key)) {
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
        PortSide& p = *port_;
        p.SetDTREnable(-1);
        p.SetCommPort(1);
        p.SetInputLen(0);
        p.SetInTimeout(0);
        p.SetNullDiscard(0);
        p.SetParityReplace("");
        p.SetRThreshold(0);
        p.SetSavedInputValues(0, 0);
        p.SetSThreshold(0);
        p.SetRTSEnable(-1);
        p.SetEcho(false);
        xferStatus_ = 0;
        xferTransferred_ = 0;
        xferFileSize_ = 0;
        xferMessage_.clear();
        appearance_ = 0;
        fastScroll_ = false;
        smoothScroll_ = false;
        referenceFore_ = foreColor_;
        referenceBack_ = backColor_;
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
