// The component interface between the communications control
// (libtolvexcom32.so) and the programs that host it.
//
// A host loads the library with dlopen, asks DllGetClassObject for the class
// factory of the control class, creates an instance, gives it a site (ambient
// user mode, parent window, change notifications) and an event sink, then
// either resets it to its defaults (InitNew) or loads a property bag. After
// that it drives the instance only through Invoke, by DISPID.
//
// Strings cross this interface as bytes in the control's code page, CP932
// (Shift-JIS). Every value a call returns belongs to the caller.
//
// Errors cross as a status code: 0 is success, the control's numbered errors
// are 0x800A0000 + number, with a description text (CP932).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace tolvex::com {

// ---------------------------------------------------------------------------
// Status codes

using Status = std::uint32_t;

inline constexpr Status kOk = 0;
inline constexpr Status kFalse = 1;                        // S_FALSE
inline constexpr Status kNotImplemented = 0x80004001u;     // E_NOTIMPL
inline constexpr Status kNoInterface = 0x80004002u;        // E_NOINTERFACE
inline constexpr Status kPointer = 0x80004003u;            // E_POINTER
inline constexpr Status kFail = 0x80004005u;               // E_FAIL
inline constexpr Status kMemberNotFound = 0x80020003u;     // DISP_E_MEMBERNOTFOUND
inline constexpr Status kBadParamCount = 0x8002000Eu;      // DISP_E_BADPARAMCOUNT
inline constexpr Status kClassNotAvailable = 0x80040111u;  // CLASS_E_CLASSNOTAVAILABLE
inline constexpr Status kSelfRegTypeLib = 0x80040200u;     // SELFREG_E_TYPELIB
inline constexpr Status kSelfRegClass = 0x80040201u;       // SELFREG_E_CLASS

// The status of the control's numbered error `number`.
constexpr Status ErrorStatus(int number)
{
    return 0x800A0000u + static_cast<std::uint32_t>(number);
}

// The error number carried by a status, or 0 when it is not a numbered error.
constexpr int ErrorNumber(Status status)
{
    return (status & 0xFFFF0000u) == 0x800A0000u ? static_cast<int>(status & 0xFFFFu) : 0;
}

// ---------------------------------------------------------------------------
// Automation values

enum class VarType : std::uint8_t {
    Empty,
    I2,      // 16-bit signed
    I4,      // 32-bit signed
    R4,      // 32-bit float
    Bool,    // true is -1
    String,  // text in CP932
    Bytes,   // string of bytes, no code-page meaning
};

class Variant {
public:
    Variant() = default;

    static Variant I2(std::int16_t v) { return Variant(VarType::I2, v); }
    static Variant I4(std::int32_t v) { return Variant(VarType::I4, v); }
    static Variant R4(float v)
    {
        Variant r(VarType::R4, 0);
        r.real_ = v;
        return r;
    }
    static Variant Bool(bool v) { return Variant(VarType::Bool, v ? -1 : 0); }
    static Variant String(std::string v)
    {
        Variant r(VarType::String, 0);
        r.text_ = std::move(v);
        return r;
    }
    static Variant Bytes(std::string v)
    {
        Variant r(VarType::Bytes, 0);
        r.text_ = std::move(v);
        return r;
    }

    VarType type() const { return type_; }
    bool empty() const { return type_ == VarType::Empty; }

    // The raw payloads; which one is meaningful depends on type().
    std::int32_t integer() const { return integer_; }   // I2, I4, Bool (-1/0)
    float real() const { return real_; }                  // R4
    const std::string& text() const { return text_; }     // String, Bytes

    bool operator==(const Variant& o) const
    {
        return type_ == o.type_ && integer_ == o.integer_ && real_ == o.real_ && text_ == o.text_;
    }

private:
    Variant(VarType t, std::int32_t i) : type_(t), integer_(i) {}

    VarType type_ = VarType::Empty;
    std::int32_t integer_ = 0;
    float real_ = 0.0f;
    std::string text_;
};

// ---------------------------------------------------------------------------
// Dispatch

using DispId = std::int32_t;

enum class InvokeKind : std::uint8_t { Get, Put, Method };

struct InvokeResult {
    Status status = kOk;
    std::string description;  // CP932; set for numbered errors
    Variant value;            // the property value of a successful Get

    bool ok() const { return status == kOk; }
    int error() const { return ErrorNumber(status); }
};

// ---------------------------------------------------------------------------
// Type information

enum class TypeKind : std::uint8_t {
    I2, I4, R4, Bool, String, Variant, Bytes, Enum, Font, Method,
};

// Who may read a property: nobody (write-only), always, or only at run time.
enum class GetAccess : std::uint8_t { None, Any, RunOnly };
// Who may write a property: nobody (read-only), always, only at run time, or
// only at design time.
enum class PutAccess : std::uint8_t { None, Any, RunOnly, DesignOnly };

struct PropertyInfo {
    DispId dispid;
    const char* name;
    TypeKind type;
    const char* enumType;        // the enumeration of an Enum property (underscore form)
    GetAccess get;
    PutAccess put;
    const char* persistedName;   // nullptr when the value is not saved
    const char* defaultText;     // the saved default as text, nullptr when not saved
};

struct EnumConstant {
    const char* name;  // public form, e.g. TOLVEX_EMULATION_ANSI
    std::int32_t value;
};

// An enumeration of the type library. It is declared in the public form
// (publicName, constants as named) and/or as the type of properties
// (typeName, constants with a leading underscore).
struct EnumInfo {
    const char* publicName;  // nullptr when there is no public form
    const char* typeName;    // nullptr when no property has it as its type
    std::span<const EnumConstant> constants;
};

struct EventParam {
    const char* name;
    TypeKind type;
    bool byReference;
};

struct EventInfo {
    DispId dispid;
    const char* name;
    std::span<const EventParam> params;
};

struct TypeLibraryInfo {
    const char* libraryName;       // TolvexcommLib
    const char* dispatchName;      // _DTolvexcomm
    const char* eventsName;        // _DTolvexcommEvents
    const char* className;         // TolvexComm
    const char* frameworkClass;    // CTolvexcommCtrl
    const char* progId;            // TOLVEXCOMM.TolvexcommCtrl.1
    const char* helpFile;
    int versionMajor;
    int versionMinor;
    std::uint32_t locale;
    std::span<const PropertyInfo> properties;  // custom properties by DISPID, then stock ones
    std::span<const EnumInfo> enums;
    std::span<const EventInfo> events;
};

// ---------------------------------------------------------------------------
// What the host gives the control

// The container side of one control instance.
class IControlSite {
public:
    virtual ~IControlSite() = default;
    // Ambient user mode: true at run time, false in design mode.
    virtual bool UserMode() const = 0;
    // The window the control creates its own windows in (may be null).
    virtual QWidget* ParentWindow() const { return nullptr; }
    // Bound-property notification: the property `dispid` changed.
    virtual void OnPropertyChanged(DispId dispid) { (void)dispid; }
    // The control's saved state no longer matches the container's copy.
    virtual void OnModified() {}
    // The container's Visible property of the control.
    virtual void SetControlVisible(bool visible) { (void)visible; }
};

// Receives the control's events by DISPID. Arguments passed by reference
// (KeyAscii, KeyCode) may be changed by the sink; the control reads them back.
class IEventSink {
public:
    virtual ~IEventSink() = default;
    virtual void OnEvent(DispId dispid, std::span<Variant> args) = 0;
};

// A named property bag: the container's store of a control's saved values.
class IPropertyBag {
public:
    virtual ~IPropertyBag() = default;
    // The value saved under `name`, or false when there is none.
    virtual bool Read(std::string_view name, Variant& value) const = 0;
    virtual void Write(std::string_view name, const Variant& value) = 0;
};

// ---------------------------------------------------------------------------
// The control

class IControl {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;

    // The site must be set before InitNew or Load; null detaches it.
    virtual void SetSite(IControlSite* site) = 0;
    virtual void Advise(IEventSink* sink) = 0;
    // The host's ambient properties changed (user mode).
    virtual void AmbientChanged() = 0;

    // Persistence: reset to the defaults of a new instance, load, save.
    virtual Status InitNew() = 0;
    virtual Status Load(const IPropertyBag& bag) = 0;
    virtual Status Save(IPropertyBag& bag, bool clearDirty) = 0;
    virtual bool IsDirty() const = 0;

    virtual InvokeResult Invoke(DispId dispid, InvokeKind kind, std::span<const Variant> args) = 0;
    virtual const TypeLibraryInfo& TypeInfo() const = 0;

    // Size of the control [pixels]. A request may be refused (false); the
    // control then keeps or sets its own size.
    virtual bool SetExtent(int width, int height) = 0;
    virtual void GetExtent(int& width, int& height) const = 0;
    // The control's window, created in the site's parent window on first use
    // (null when no GUI application runs).
    virtual QWidget* Window() = 0;

protected:
    virtual ~IControl() = default;
};

class IClassFactory {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    virtual Status CreateInstance(IControl** control) = 0;

protected:
    virtual ~IClassFactory() = default;
};

// ---------------------------------------------------------------------------
// Property pages (design time, GUI thread)

// One of the control's property pages, made by its page class's factory for
// one control instance. Pages made for the same instance while one of them
// lives share their values, as the pages of one sheet do.
class IPropertyPage {
public:
    virtual void Release() = 0;
    virtual const char* Caption() const = 0;  // UTF-8
    virtual const char* HelpText() const = 0;
    virtual const char* HelpFile() const = 0;
    virtual int HelpContext() const = 0;
    // The page's widget, made in `parent` on the first call and loaded from
    // the control. It belongs to `parent` and goes with the page when the
    // page is released first.
    virtual QWidget* Activate(QWidget* parent) = 0;
    // A value on the page changed since the last apply.
    virtual bool IsPageDirty() const = 0;
    // Sets the changed values on the control: kOk, or kFalse when a value
    // was refused (the page has told the user and shows the field).
    virtual Status Apply() = 0;

protected:
    virtual ~IPropertyPage() = default;
};

class IPropertyPageFactory {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    // A page bound to `control`, which it holds a reference to.
    virtual Status CreatePage(IControl* control, IPropertyPage** page) = 0;

protected:
    virtual ~IPropertyPageFactory() = default;
};

// ---------------------------------------------------------------------------
// Identity and exports

inline constexpr const char* kControlClsid = "{58A238A5-56D0-43FD-8D81-8121D1C4FEFC}";
inline constexpr const char* kTypeLibId = "{30474C6B-A4F2-422C-9831-BC1BA1C24C31}";
inline constexpr const char* kDispatchIid = "{EEEB982A-7AFF-4E91-9B31-D50633E3057F}";
inline constexpr const char* kEventsIid = "{FD495487-8B3D-467B-AEBC-D203A62430AF}";
inline constexpr const char* kClassFactoryIid = "{00000001-0000-0000-C000-000000000046}";
// The interface DllGetClassObject gives for a page class (kPageClasses).
inline constexpr const char* kPropertyPageFactoryIid = "{F0BE17FE-5142-48E1-8D04-6E9960E933F5}";
inline constexpr const char* kProgId = "TOLVEXCOMM.TolvexcommCtrl.1";
inline constexpr const char* kContainerName = "TolvexcommLib.TolvexComm";
inline constexpr const char* kLibraryFile = "libtolvexcom32.so";

// The control's own property pages, in the order the control lists them;
// the standard font page, which the control lists second, is the host's and
// has no class of the control's.
struct PageClass {
    const char* className;
    const char* progId;
    const char* clsid;
};
inline constexpr PageClass kPageClasses[] = {
    {"CEmulationPropPage", "CEmulationPropPage0.CEmulationPropPage", "{C49E6C80-8874-4228-813E-925D05631BA8}"},
    {"CHardwareGeneralPropPage", "CHardwareGeneralPropPage0.CHardwareGeneralPropPage",
     "{5CD578D9-695E-44D4-AB6C-C852E4EDE79D}"},
    {"CHardwareAdvancedPropPage", "CHardwareAdvancedPropPage0.CHardwareAdvancedPropPage",
     "{7CE012A1-F188-496B-8529-6F90E31DD88C}"},
    {"CFileTransferPropPage", "CFileTransferPropPage0.CFileTransferPropPage", "{42E55F6A-1D90-457C-9C39-A0764E7C876B}"},
};
// The type name every page class is registered with.
inline constexpr const char* kPageTypeName = "Tolvexcomm Property Page";

// Signatures of the library's exports, for dlsym.
using DllGetClassObjectFn = Status (*)(const char* clsid, const char* iid, void** object);
using DllCanUnloadNowFn = Status (*)();
using DllRegisterServerFn = Status (*)();
using DllUnregisterServerFn = Status (*)();

}  // namespace tolvex::com
