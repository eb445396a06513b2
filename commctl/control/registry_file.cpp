#include "registry_file.h"

#include "ini_file.h"

namespace tolvex::registry {

namespace {

std::string ProgIdSection(std::string_view progId) { return "ProgID " + std::string(progId); }
std::string ClassSection() { return std::string("CLSID ") + com::kControlClsid; }
std::string TypeLibSection() { return std::string("TypeLib ") + com::kTypeLibId; }

}  // namespace

std::filesystem::path RegistryPath() { return profile::ConfigDir() / "registry.ini"; }

com::Status Register(const std::filesystem::path& file, const std::string& libraryPath)
{
    auto ini = profile::IniFile::Load(file);
    const std::string lib = TypeLibSection();
    ini.RemoveSection(lib);
    ini.Set(lib, "Name", "TolvexcommLib");
    ini.Set(lib, "Version", "3.0");
    ini.Set(lib, "LCID", "0x409");
    ini.Set(lib, "Path", libraryPath);
    ini.Set(lib, "HelpFile", "TOLVEXCOM30.HLP");
    ini.Set(lib, "Dispatch", std::string("_DTolvexcomm ") + com::kDispatchIid);
    ini.Set(lib, "Events", std::string("_DTolvexcommEvents ") + com::kEventsIid);
    if (!ini.Save(file)) return com::kSelfRegTypeLib;

    const std::string cls = ClassSection();
    ini.RemoveSection(cls);
    ini.Set(cls, "ProgID", com::kProgId);
    ini.Set(cls, "Name", "Varnek Tolvexcomm Communications Control");
    ini.Set(cls, "InprocServer32", libraryPath);
    ini.Set(cls, "ToolboxBitmap32", "1");
    ini.Set(cls, "MiscStatus", "0x20191");
    ini.Set(cls, "Insertable", "0");
    ini.Set(cls, "TypeLib", com::kTypeLibId);
    ini.Set(cls, "Version", "3.0");
    for (const char* name : {com::kProgId, com::kContainerName}) {
        ini.RemoveSection(ProgIdSection(name));
        ini.Set(ProgIdSection(name), "CLSID", com::kControlClsid);
    }
    // The property pages, each a class of its own in the same library.
    for (const auto& page : com::kPageClasses) {
        const std::string section = std::string("CLSID ") + page.clsid;
        ini.RemoveSection(section);
        ini.Set(section, "ProgID", page.progId);
        ini.Set(section, "Name", com::kPageTypeName);
        ini.Set(section, "InprocServer32", libraryPath);
        ini.Set(section, "PropertyPage", "1");
        ini.RemoveSection(ProgIdSection(page.progId));
        ini.Set(ProgIdSection(page.progId), "CLSID", page.clsid);
    }
    if (!ini.Save(file)) return com::kSelfRegClass;
    return com::kOk;
}

com::Status Unregister(const std::filesystem::path& file)
{
    auto ini = profile::IniFile::Load(file);
    // A missing type library entry is reported, but the class entries are
    // removed all the same: a half-registered library leaves nothing behind.
    const bool hadTypeLib = ini.RemoveSection(TypeLibSection());
    ini.RemoveSection(ClassSection());
    ini.RemoveSection(ProgIdSection(com::kProgId));
    ini.RemoveSection(ProgIdSection(com::kContainerName));
    for (const auto& page : com::kPageClasses) {
        ini.RemoveSection(std::string("CLSID ") + page.clsid);
        ini.RemoveSection(ProgIdSection(page.progId));
    }
    std::error_code ec;
    const bool existed = std::filesystem::exists(file, ec);
    bool saved = true;
    if (ini.Serialize().empty()) {
        // Nothing of anybody's is left: no file, as before registering.
        if (existed) saved = std::filesystem::remove(file, ec) && !ec;
    } else {
        saved = ini.Save(file);
    }
    if (!hadTypeLib) return com::kSelfRegTypeLib;
    if (!saved) return com::kSelfRegClass;
    return com::kOk;
}

std::optional<std::string> FindLibrary(const std::filesystem::path& file, std::string_view progId)
{
    const auto ini = profile::IniFile::Load(file);
    std::string clsid(progId);
    if (progId.empty() || progId.front() != '{') {
        auto found = ini.Get(ProgIdSection(progId), "CLSID");
        if (!found) return std::nullopt;
        clsid = *found;
    }
    auto path = ini.Get("CLSID " + clsid, "InprocServer32");
    if (!path || path->empty()) return std::nullopt;
    return path;
}

}  // namespace tolvex::registry
