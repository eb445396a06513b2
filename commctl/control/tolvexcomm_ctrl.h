// CTolvexcommCtrl: the communications control as its host sees it.
//
// Dispatch follows the property table of object_model.h: the access column
// decides 383/394, the type column how a value is converted, the check column
// what is refused with 380. A setter that changes a value notifies the site
// (bound-property notification with the DISPID) and marks the control dirty;
// setting the current value again does nothing.
//
// After those checks a property goes to the part its row names (Part in
// object_model.h): the port properties to a PortSide, the screen and display
// values to a TerminalPart (which drives the TerminalSide screen present at
// run time while Emulation is not NONE), Upload, Download and the Xfer
// values to a TransferPart, and hWnd and AboutBox to a WindowSide. The font,
// Emulation, AutoSize and Appearance belong to the control itself. The parts
// are made by the factories in ControlParts.
#pragma once

#include "object_model.h"
#include "port_side.h"
#include "terminal_part.h"
#include "terminal_side.h"
#include "transfer_part.h"

#include <tolvexcomm/component.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tolvex::control {

class CTolvexcommCtrl;

using WindowFactory = std::function<std::unique_ptr<WindowSide>(CTolvexcommCtrl&, QWidget* parent)>;
using TerminalPartFactory = std::function<std::unique_ptr<TerminalPart>(TerminalHost host)>;
using TransferPartFactory = std::function<std::unique_ptr<TransferPart>(const PortSide& port)>;

struct ControlParts {
    PortFactory makePort;              // default: StoredPort (no device)
    TerminalFactory makeTerminal;      // the screen of the stored terminal; default: no screen
    TransferFactory makeTransfer;      // the transfers of the stored transfer part; default: none
    StatusWindowFactory makeStatusWindow;  // the transfer status window; default: none
    WindowFactory makeWindow;          // default: no window
    // The terminal and transfer parts; default: StoredTerminal on makeTerminal,
    // StoredTransfer on makeTransfer.
    TerminalPartFactory makeTerminalPart;
    TransferPartFactory makeTransferPart;
    std::optional<std::filesystem::path> profile;  // default: profile::ProfilePath()
};

// The stock font.
struct StockFont {
    std::string name = "MS Sans Serif";  // CP932
    std::int64_t sizeCy = 80000;         // points in currency units (1/10000)
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;

    bool operator==(const StockFont&) const = default;
    // "name;size;bold;italic;underline;strikethrough" as saved and as the Font
    // property reads, e.g. "MS Sans Serif;8;0;0;0;0".
    std::string ToText() const;
    static std::optional<StockFont> FromText(std::string_view text);
};

class CTolvexcommCtrl final : public com::IControl {
public:
    explicit CTolvexcommCtrl(ControlParts parts = {});

    // Number of control instances alive in this module.
    static int LiveInstances();

    // IControl
    void AddRef() override;
    void Release() override;
    void SetSite(com::IControlSite* site) override;
    void Advise(com::IEventSink* sink) override { sink_ = sink; }
    void AmbientChanged() override;
    com::Status InitNew() override;
    com::Status Load(const com::IPropertyBag& bag) override;
    com::Status Save(com::IPropertyBag& bag, bool clearDirty) override;
    bool IsDirty() const override { return dirty_; }
    com::InvokeResult Invoke(DispId dispid, com::InvokeKind kind,
                             std::span<const com::Variant> args) override;
    const com::TypeLibraryInfo& TypeInfo() const override { return TypeLibrary(); }
    bool SetExtent(int width, int height) override;
    void GetExtent(int& width, int& height) const override;
    QWidget* Window() override;

    // Events, raised by the parts and the window.
    void FireOnComm();
    void FireResize(std::int16_t newRows, std::int16_t newColumns);
    // KeyPress: the handler may change or cancel (0) the key.
    void FireKeyPress(std::int16_t& keyAscii);
    void FireKeyDown(std::int16_t& keyCode, std::int16_t shift);
    void FireKeyUp(std::int16_t& keyCode, std::int16_t shift);
    void FireClick();
    void FireDblClick();
    void FireMouse(DispId event, std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y);

    // State the window draws from.
    bool UserMode() const;
    std::int16_t Emulation() const { return emulation_; }
    std::int16_t ForeColor() const { return terminal_->ForeColor(); }
    std::int16_t BackColor() const { return terminal_->BackColor(); }
    std::int16_t Appearance() const { return appearance_; }
    const StockFont& Font() const { return font_; }
    bool FastScroll() const { return fastScroll_; }
    bool HasTerminal() const { return terminal_->HasScreen(); }
    // The terminal part: the cells to draw and the keys typed into the window.
    TerminalPart& Terminal() { return *terminal_; }

private:
    ~CTolvexcommCtrl() override;

    com::Variant GetValue(const PropertyRow& row);
    std::optional<com::Variant> PeekValue(const PropertyRow& row);
    // The values of the control's own rows (Part::Control, Part::Window).
    com::Variant GetOwn(const PropertyRow& row);
    void StoreOwn(const PropertyRow& row, const PutValue& value);
    // Hands a converted and checked value to the part that owns the row.
    void PutToPart(const PropertyRow& row, const PutValue& value);
    // Converts, checks and stores one value; throws ControlError.
    void Store(const PropertyRow& row, const com::Variant& value);
    void Put(const PropertyRow& row, const com::Variant& value);
    void CheckGet(const PropertyRow& row) const;
    void CheckPut(const PropertyRow& row) const;
    void Changed(DispId dispid);

    // A reference for as long as the token lives.
    std::shared_ptr<void> Hold();
    // Before a reset or a load: capture, terminal and transfer stopped, the
    // port closed, no event pending.
    void StartOver();
    void ApplySaved(const SavedValue& saved, const com::Variant* value);
    void ResetFromProfile();
    void AfterLoad();
    void CreateTerminal();
    void ShowAtRunTime();
    void LayoutTerminal();
    void SetOwnSize(int width, int height);
    void SetEmulation(std::int16_t value);
    void AboutBox();
    WindowSide* EnsureWindow();

    std::atomic<int> refs_{1};
    com::IControlSite* site_ = nullptr;
    com::IEventSink* sink_ = nullptr;
    bool dirty_ = false;
    bool suppressResize_ = false;
    bool loading_ = false;  // no terminal and no Resize events while values are loaded

    ControlParts parts_;
    std::unique_ptr<PortSide> port_;
    std::unique_ptr<WindowSide> window_;

    std::unique_ptr<TerminalPart> terminal_;
    std::unique_ptr<TransferPart> transfer_;

    // The control's own values.
    std::int16_t emulation_ = 0;
    bool autoSize_ = false;
    std::int16_t appearance_ = 0;
    bool fastScroll_ = false;
    StockFont font_;
    int width_ = 32;
    int height_ = 32;
};

}  // namespace tolvex::control
