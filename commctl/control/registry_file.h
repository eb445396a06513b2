// The registry file: where a host finds the control by its programmatic
// name. It lives in the control's configuration folder as "registry.ini":
//
//   [ProgID TOLVEXCOMM.TolvexcommCtrl.1]     CLSID=<class id>
//   [ProgID TolvexcommLib.TolvexComm]        CLSID=<class id>
//   [CLSID <class id>]                       ProgID, Name, InprocServer32 (library path),
//                                            ToolboxBitmap32, MiscStatus, Insertable,
//                                            TypeLib, Version
//   [TypeLib <library id>]                   Name, Version, LCID, Path, HelpFile,
//                                            Dispatch, Events
//   [CLSID <page id>], [ProgID <page name>]  each property page (com::kPageClasses):
//                                            ProgID, Name, InprocServer32, PropertyPage
//
// Other sections of the file are kept as they are.
#pragma once

#include <tolvexcomm/component.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tolvex::registry {

// profile::ConfigDir() / "registry.ini".
std::filesystem::path RegistryPath();

// Registers the type library, then the control class with both its names
// and the property page classes.
// Failure of the first step gives kSelfRegTypeLib, of the second kSelfRegClass.
com::Status Register(const std::filesystem::path& file, const std::string& libraryPath);
// Undoes both in the same order; a type library that was never registered
// gives kSelfRegTypeLib, and the class and page entries are removed even
// then. A file left with nothing in it is removed.
com::Status Unregister(const std::filesystem::path& file);

// The library registered for a programmatic name (or the class identifier).
std::optional<std::string> FindLibrary(const std::filesystem::path& file, std::string_view progId);

}  // namespace tolvex::registry
