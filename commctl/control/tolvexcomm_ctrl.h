// CTolvexcommCtrl: the communications control as its host sees it.
//
// Dispatch follows the property table of object_model.h: the access column
// decides 383/394, the type column how a value is converted, the check column
// what is refused with 380. A setter that changes a value notifies the site
// (bound-property notification with the DISPID) and marks the control dirty;
// setting the current value again does nothing.
//
// The port properties go to a PortSide, the screen properties to a
// TerminalSide (present at run time while Emulation is not NONE), Upload and
// Download to a TransferSide, and hWnd and AboutBox to a WindowSide. The
// parts are made by the factories in ControlParts.
#pragma once

#include "object_model.h"
#include "port_side.h"
#include "terminal_side.h"

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

struct ControlParts {
    PortFactory makePort;              // default: StoredPort (no device)
    TerminalFactory makeTerminal;      // default: no terminal
    TransferFactory makeTransfer;      // default: no transfers
    WindowFactory makeWindow;          // default: no window
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
    std::int16_t ForeColor() const { return foreColor_; }
    std::int16_t BackColor() const { return backColor_; }
    std::int16_t Appearance() const { return appearance_; }
    const StockFont& Font() const { return font_; }
    bool FastScroll() const { return fastScroll_; }
    bool HasTerminal() const { return terminal_ != nullptr; }
    PortSide& Port() { return *port_; }

private:
    ~CTolvexcommCtrl() override;

    com::Variant GetValue(DispId dispid);
    std::optional<com::Variant> PeekValue(DispId dispid);
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
    void SetRowsColumns(DispId dispid, std::int16_t value);
    void SetCaptureFilename(const std::string& name);
    void CloseCapture();
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
    std::unique_ptr<TerminalSide> terminal_;
    std::unique_ptr<TransferSide> transfer_;
    std::unique_ptr<WindowSide> window_;

    // Terminal and display values.
    std::int16_t rows_ = 0;
    std::int16_t columns_ = 0;
    std::int16_t cursorRow_ = 1;
    std::int16_t cursorColumn_ = 1;
    std::int16_t foreColor_ = 0;
    std::int16_t backColor_ = 0;
    std::int16_t referenceFore_ = 0;
    std::int16_t referenceBack_ = 0;
    std::int16_t emulation_ = 0;
    bool autoSize_ = false;
    std::int16_t autoScroll_ = 0;
    std::int16_t scrollRows_ = 0;
    std::int16_t colorFilter_ = 0;
    bool smoothScroll_ = false;
    std::int16_t cursorType_ = 0;
    std::int16_t keyTranslation_ = 0;
    std::int16_t backspace_ = 0;
    std::int16_t captureMode_ = 0;
    std::int16_t appearance_ = 0;
    bool fastScroll_ = false;
    StockFont font_;
    int width_ = 32;
    int height_ = 32;

    // Capture file.
    std::string captureName_;
    std::FILE* capture_ = nullptr;

    // Transfer values.
    std::int16_t xferStatus_ = 0;
    std::string xferSourceFilename_;
    std::int32_t xferTransferred_ = 0;
    std::int32_t xferFileSize_ = 0;
    std::int16_t xferProtocol_ = 0;
    std::int16_t xferStatusDialog_ = 0;
    std::string xferMessage_;
    std::string xferDestFilename_;
    bool xferDestWritable_ = false;
    bool xferCarrierAbort_ = false;
    std::string xferFileDate_;
    std::string xferFileTime_;
};

}  // namespace tolvex::control
