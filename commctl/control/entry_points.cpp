// The exports of libtolvexcom32.so: the class factories of the control and
// of its property pages, and self-registration.
#include "control_window.h"
#include "property_sheet.h"
#include "xfer_status_dialog.h"
#include "registry_file.h"
#include "tolvexcomm_ctrl.h"

#include "terminal/control_screen.h"

#include <dlfcn.h>

#include <atomic>
#include <iterator>
#include <cstring>
#include <strings.h>

#define TOLVEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace tolvex;

std::atomic<int> g_factoryRefs{0};

class ControlFactory final : public com::IClassFactory {
public:
    void AddRef() override { ++g_factoryRefs; }
    void Release() override { --g_factoryRefs; }
    com::Status CreateInstance(com::IControl** control) override
    {
        if (!control) return com::kPointer;
        control::ControlParts parts;
        parts.makeWindow = control::QtWindowFactory();
        parts.makeStatusWindow = control::XferStatusDialogFactory();
        // The port side drives the system's serial devices.
        parts.makePort = [] { return std::make_unique<control::EnginePort>(); };
        // The terminal shown while Emulation is not NONE.
        parts.makeTerminal = terminal::ScreenFactory();
        *control = new control::CTolvexcommCtrl(std::move(parts));
        return com::kOk;
    }
};

ControlFactory g_factory;

// The factory of one page class.
class PageFactory final : public com::IPropertyPageFactory {
public:
    explicit PageFactory(const char* clsid) : clsid_(clsid) {}
    void AddRef() override { ++g_factoryRefs; }
    void Release() override { --g_factoryRefs; }
    com::Status CreatePage(com::IControl* control, com::IPropertyPage** page) override
    {
        return control::MakePropertyPage(clsid_, control, page);
    }

private:
    const char* clsid_;
};

PageFactory g_pageFactories[] = {
    PageFactory(com::kPageClasses[0].clsid),
    PageFactory(com::kPageClasses[1].clsid),
    PageFactory(com::kPageClasses[2].clsid),
    PageFactory(com::kPageClasses[3].clsid),
};
static_assert(std::size(g_pageFactories) == std::size(com::kPageClasses));

// The path of this library, as the registry records it.
std::string LibraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) && info.dli_fname)
        return std::filesystem::absolute(info.dli_fname).string();
    return com::kLibraryFile;
}

}  // namespace

TOLVEX_EXPORT com::Status DllGetClassObject(const char* clsid, const char* iid, void** object)
{
    if (!object) return com::kPointer;
    *object = nullptr;
    if (!clsid) return com::kClassNotAvailable;
    for (std::size_t i = 0; i < std::size(com::kPageClasses); ++i) {
        if (strcasecmp(clsid, com::kPageClasses[i].clsid) != 0) continue;
        if (!iid || strcasecmp(iid, com::kPropertyPageFactoryIid) != 0) return com::kNoInterface;
        g_pageFactories[i].AddRef();
        *object = static_cast<com::IPropertyPageFactory*>(&g_pageFactories[i]);
        return com::kOk;
    }
    if (strcasecmp(clsid, com::kControlClsid) != 0) return com::kClassNotAvailable;
    if (!iid || strcasecmp(iid, com::kClassFactoryIid) != 0) return com::kNoInterface;
    g_factory.AddRef();
    *object = static_cast<com::IClassFactory*>(&g_factory);
    return com::kOk;
}

TOLVEX_EXPORT com::Status DllCanUnloadNow()
{
    return (control::CTolvexcommCtrl::LiveInstances() == 0 && g_factoryRefs.load() == 0) ? com::kOk
                                                                                        : com::kFalse;
}

TOLVEX_EXPORT com::Status DllRegisterServer()
{
    return registry::Register(registry::RegistryPath(), LibraryPath());
}

TOLVEX_EXPORT com::Status DllUnregisterServer() { return registry::Unregister(registry::RegistryPath()); }
