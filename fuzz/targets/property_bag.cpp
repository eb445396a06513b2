// A property bag file loaded into a control, as a form designer's saved
// instance is.
#include "control/tolvexcomm_ctrl.h"
#include "fuzz_support.h"
#include "host/control_host.h"

using namespace tolvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string noProfile = (tessaro::fuzz::ScratchDir() / "no-profile.ini").string();
    host::PropertyBag bag;
    std::string error;
    if (!bag.LoadFile(tessaro::fuzz::WriteScratchFile("instance.bag", tessaro::fuzz::AsText(data, size)), error))
        return 0;
    control::ControlParts parts;
    parts.profile = noProfile;
    auto* c = new control::CTolvexcommCtrl(std::move(parts));
    c->Load(bag);
    host::PropertyBag saved;
    c->Save(saved, true);
    c->Release();
    return 0;
}
