// The control's profile (tolvexcomm.ini): the INI reader on its own, then a
// control made with that profile, which reads its saved defaults from it.
#include "control/ini_file.h"
#include "control/tolvexcomm_ctrl.h"
#include "fuzz_support.h"

using namespace tolvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = tessaro::fuzz::AsText(data, size);
    const profile::IniFile ini = profile::IniFile::Parse(bytes);
    for (const char* section : {"Default Values", "Ports"})
        for (const std::string& key : ini.Keys(section))
            if (auto value = ini.Get(section, key)) profile::ProfileNumber(*value);
    profile::IniFile::Parse(ini.Serialize());

    control::ControlParts parts;
    parts.profile = tessaro::fuzz::WriteScratchFile("tolvexcomm.ini", bytes);
    auto* c = new control::CTolvexcommCtrl(std::move(parts));
    c->InitNew();
    c->Release();
    return 0;
}
