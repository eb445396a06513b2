// CurrentSetting.dat and GPSSetting.dat of the program folder: the first
// byte picks the file, the rest is its content.
#include "fuzz_support.h"
#include "geodesy/plane_coords.h"
#include "settings/settings.h"
#include "state/nav_state.h"

#include <memory>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto state = [] {
        geodesy::InitEllipsoid();
        auto s = std::make_unique<NavState>();
        s->ProgramFolder = (fuzz::ScratchDir() / "program").string();
        return s;
    }();
    fuzz::InputReader in(data, size);
    const bool gpsFile = in.Byte() & 1;
    const std::string path = gpsFile ? GPSSettingPath(state->ProgramFolder) : CurrentSettingPath(state->ProgramFolder);
    fuzz::WriteScratchFile(std::filesystem::relative(path, fuzz::ScratchDir()).string(), in.Rest());
    if (gpsFile)
        ReadGPSSetting(*state);
    else
        ReadCurrentSetting(*state);
    return 0;
}
