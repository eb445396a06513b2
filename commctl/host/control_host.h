// Hosting the communications control: find and load libtolvexcom32.so,
// create an instance, give it a site and an event sink, and read and write
// its properties with typed helpers.
//
//   std::string error;
//   auto library = tolvex::host::ControlLibrary::Open({}, error);
//   tolvex::host::ControlInstance gps(library);
//   gps.Create();                       // site, sink, InitNew
//   gps.PutI2(dispid::kCommPort, 3);
//   gps.PutUtf8(dispid::kSettings, "4800,n,8,1");
//   gps.onEvent = [&](DispId id, std::span<Variant> args) { ... };
//
// The library is found by its programmatic name in the registry file, and
// else beside the host program. Strings cross in CP932; the *Utf8 helpers
// convert.
#pragma once

#include <tolvexcomm/component.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvex::host {

using com::DispId;
using com::Status;
using com::Variant;

// ---------------------------------------------------------------------------
// The library

struct LoadOptions {
    std::string progId = com::kProgId;
    // Default: registry::RegistryPath().
    std::optional<std::filesystem::path> registryFile;
    // Where to look when the registry has no entry; default: the folder of
    // the running program.
    std::optional<std::filesystem::path> besideFolder;
};

class ControlLibrary {
public:
    // Null with `error` set when the library cannot be found or loaded.
    static std::shared_ptr<ControlLibrary> Open(const LoadOptions& options, std::string& error);
    ~ControlLibrary();
    ControlLibrary(const ControlLibrary&) = delete;
    ControlLibrary& operator=(const ControlLibrary&) = delete;

    const std::string& path() const { return path_; }
    Status CreateInstance(com::IControl** control);
    // A page of one of the control's page classes (com::kPageClasses) for
    // `control`; a host's designer shows it in its own property sheet.
    Status CreatePropertyPage(const char* pageClsid, com::IControl* control, com::IPropertyPage** page);
    bool CanUnloadNow() const;
    Status Register();
    Status Unregister();

private:
    ControlLibrary() = default;

    std::string path_;
    void* handle_ = nullptr;
    com::DllGetClassObjectFn getClassObject_ = nullptr;
    com::DllCanUnloadNowFn canUnloadNow_ = nullptr;
    com::DllRegisterServerFn register_ = nullptr;
    com::DllUnregisterServerFn unregister_ = nullptr;
};

// The folder of the running program.
std::filesystem::path ProgramFolder();

// ---------------------------------------------------------------------------
// Values

template <class T>
struct Result {
    T value{};
    Status status = com::kOk;
    std::string description;  // CP932

    bool ok() const { return status == com::kOk; }
    int error() const { return com::ErrorNumber(status); }
    std::string DescriptionUtf8() const;
};

// A property bag in memory, keeping the order in which values were written.
class PropertyBag final : public com::IPropertyBag {
public:
    bool Read(std::string_view name, Variant& value) const override;
    void Write(std::string_view name, const Variant& value) override;

    const std::vector<std::pair<std::string, Variant>>& values() const { return values_; }
    void Clear() { values_.clear(); }
    bool Remove(std::string_view name);

    // The bag as a file: section "TolvexcommLib.TolvexComm" of an INI file
    // in CP932 with CR LF, one "Name=value" line per value. Texts escape
    // backslash and control bytes (\\, \r, \n, \t, \xHH); every value reads
    // back as text and the control converts it to the property's type.
    bool SaveFile(const std::filesystem::path& file) const;
    // False with `error` set when the file cannot be read.
    bool LoadFile(const std::filesystem::path& file, std::string& error);

    static std::string Escape(std::string_view text);
    static std::string Unescape(std::string_view text);

private:
    std::vector<std::pair<std::string, Variant>> values_;
};

// ---------------------------------------------------------------------------
// One control instance

class ControlInstance final : public com::IControlSite, public com::IEventSink {
public:
    explicit ControlInstance(std::shared_ptr<ControlLibrary> library, bool userMode = true);
    ~ControlInstance() override;
    ControlInstance(const ControlInstance&) = delete;
    ControlInstance& operator=(const ControlInstance&) = delete;

    // Creates the instance, sets the site and the sink; then InitNew, or
    // Load when a bag is given.
    Status Create(const com::IPropertyBag* bag = nullptr);
    com::IControl* control() const { return control_; }

    Status Load(const com::IPropertyBag& bag);
    Status Save(com::IPropertyBag& bag, bool clearDirty = true);

    void SetUserMode(bool userMode);
    void SetParentWindow(QWidget* parent) { parent_ = parent; }

    com::InvokeResult Get(DispId dispid);
    com::InvokeResult Put(DispId dispid, const Variant& value);
    com::InvokeResult Call(DispId dispid);

    Result<std::int16_t> GetI2(DispId dispid);
    Result<std::int32_t> GetI4(DispId dispid);
    Result<float> GetR4(DispId dispid);
    Result<bool> GetBool(DispId dispid);
    Result<std::string> GetString(DispId dispid);  // CP932
    Result<std::string> GetUtf8(DispId dispid);
    Result<bool> PutI2(DispId dispid, std::int16_t value);
    Result<bool> PutI4(DispId dispid, std::int32_t value);
    Result<bool> PutR4(DispId dispid, float value);
    Result<bool> PutBool(DispId dispid, bool value);
    Result<bool> PutString(DispId dispid, std::string_view cp932);
    Result<bool> PutUtf8(DispId dispid, std::string_view utf8);

    // Events; by-reference arguments may be changed in place.
    std::function<void(DispId, std::span<Variant>)> onEvent;
    // Bound-property notifications.
    std::function<void(DispId)> onPropertyChanged;
    std::function<void(bool)> onVisibleChanged;

    // IControlSite
    bool UserMode() const override { return userMode_; }
    QWidget* ParentWindow() const override { return parent_; }
    void OnPropertyChanged(DispId dispid) override;
    void SetControlVisible(bool visible) override;
    // IEventSink
    void OnEvent(DispId dispid, std::span<Variant> args) override;

private:
    std::shared_ptr<ControlLibrary> library_;
    com::IControl* control_ = nullptr;
    bool userMode_;
    QWidget* parent_ = nullptr;
};

}  // namespace tolvex::host
