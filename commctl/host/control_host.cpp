#include "control_host.h"

#include "common/cp932.h"
#include "control/ini_file.h"
#include "control/registry_file.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace tolvex::host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBagSection = "TolvexcommLib.TolvexComm";

template <class T>
Result<T> Failed(const com::InvokeResult& r)
{
    Result<T> out;
    out.status = r.status == com::kOk ? com::kFail : r.status;
    out.description = r.description;
    return out;
}

Result<bool> PutResult(const com::InvokeResult& r)
{
    Result<bool> out;
    out.value = r.ok();
    out.status = r.status;
    out.description = r.description;
    return out;
}

}  // namespace

template <class T>
std::string Result<T>::DescriptionUtf8() const
{
    return Cp932ToUtf8(description);
}

template struct Result<std::int16_t>;
template struct Result<std::int32_t>;
template struct Result<float>;
template struct Result<bool>;
template struct Result<std::string>;

// ---------------------------------------------------------------------------
// Library

fs::path ProgramFolder()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : self.parent_path();
}

std::shared_ptr<ControlLibrary> ControlLibrary::Open(const LoadOptions& options, std::string& error)
{
    const fs::path registryFile = options.registryFile.value_or(registry::RegistryPath());
    std::vector<std::string> candidates;
    if (auto registered = registry::FindLibrary(registryFile, options.progId))
        candidates.push_back(*registered);
    candidates.push_back((options.besideFolder.value_or(ProgramFolder()) / com::kLibraryFile).string());

    std::shared_ptr<ControlLibrary> lib(new ControlLibrary);
    error.clear();
    for (const auto& path : candidates) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            error += (error.empty() ? "" : "; ") + path + ": " + (why ? why : "cannot be loaded");
            continue;
        }
        lib->handle_ = handle;
        lib->path_ = path;
        lib->getClassObject_ =
            reinterpret_cast<com::DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
        lib->canUnloadNow_ = reinterpret_cast<com::DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
        lib->register_ = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
        lib->unregister_ =
            reinterpret_cast<com::DllUnregisterServerFn>(::dlsym(handle, "DllUnregisterServer"));
        if (lib->getClassObject_ && lib->canUnloadNow_ && lib->register_ && lib->unregister_) {
            error.clear();
            return lib;
        }
        error += (error.empty() ? "" : "; ") + path + ": not the control library";
        ::dlclose(handle);
        lib->handle_ = nullptr;
    }
    return nullptr;
}

ControlLibrary::~ControlLibrary()
{
    // A library with live objects stays loaded.
    if (handle_ && CanUnloadNow()) ::dlclose(handle_);
}

Status ControlLibrary::CreateInstance(com::IControl** control)
{
    if (!control) return com::kPointer;
    *control = nullptr;
    void* object = nullptr;
    Status s = getClassObject_(com::kControlClsid, com::kClassFactoryIid, &object);
    if (s != com::kOk) return s;
    auto* factory = static_cast<com::IClassFactory*>(object);
    s = factory->CreateInstance(control);
    factory->Release();
    return s;
}

Status ControlLibrary::CreatePropertyPage(const char* pageClsid, com::IControl* control, com::IPropertyPage** page)
{
    if (!page) return com::kPointer;
    *page = nullptr;
    void* object = nullptr;
    Status s = getClassObject_(pageClsid, com::kPropertyPageFactoryIid, &object);
    if (s != com::kOk) return s;
    auto* factory = static_cast<com::IPropertyPageFactory*>(object);
    s = factory->CreatePage(control, page);
    factory->Release();
    return s;
}

bool ControlLibrary::CanUnloadNow() const { return canUnloadNow_ && canUnloadNow_() == com::kOk; }
Status ControlLibrary::Register() { return register_(); }
Status ControlLibrary::Unregister() { return unregister_(); }

// ---------------------------------------------------------------------------
// Property bag

bool PropertyBag::Read(std::string_view name, Variant& value) const
{
    for (const auto& [key, v] : values_) {
        if (profile::EqualsNoCase(key, name)) {
            value = v;
            return true;
        }
    }
    return false;
}

void PropertyBag::Write(std::string_view name, const Variant& value)
{
    for (auto& [key, v] : values_) {
        if (profile::EqualsNoCase(key, name)) {
            v = value;
            return;
        }
    }
    values_.emplace_back(std::string(name), value);
}

bool PropertyBag::Remove(std::string_view name)
{
    for (auto it = values_.begin(); it != values_.end(); ++it) {
        if (profile::EqualsNoCase(it->first, name)) {
            values_.erase(it);
            return true;
        }
    }
    return false;
}

std::string PropertyBag::Escape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool edge = i == 0 || i + 1 == text.size();
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        // Spaces and quotes at either end would be dropped by the reader.
        else if (c < 0x20 || c == 0x7F || (edge && (c == ' ' || c == '"'))) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string PropertyBag::Unescape(std::string_view text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[i + 1];
        if (e == '\\') out += '\\', ++i;
        else if (e == 'r') out += '\r', ++i;
        else if (e == 'n') out += '\n', ++i;
        else if (e == 't') out += '\t', ++i;
        else if (e == 'x' && i + 3 < text.size() && hex(text[i + 2]) >= 0 && hex(text[i + 3]) >= 0) {
            out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
            i += 3;
        } else {
            out += '\\';  // not an escape: kept as written
        }
    }
    return out;
}

bool PropertyBag::SaveFile(const fs::path& file) const
{
    profile::IniFile ini;
    for (const auto& [name, v] : values_) {
        std::string text;
        switch (v.type()) {
        case com::VarType::Empty: break;
        case com::VarType::I2:
        case com::VarType::I4:
        case com::VarType::Bool: text = std::to_string(v.integer()); break;
        case com::VarType::R4: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v.real()));
            text = buf;
            break;
        }
        case com::VarType::String:
        case com::VarType::Bytes: text = Escape(v.text()); break;
        }
        ini.Set(kBagSection, name, text);
    }
    return ini.Save(file);
}

bool PropertyBag::LoadFile(const fs::path& file, std::string& error)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = file.string() + ": no such file";
        return false;
    }
    std::ifstream probe(file, std::ios::binary);
    if (!probe) {
        error = file.string() + ": cannot be read";
        return false;
    }
    const auto ini = profile::IniFile::Load(file);
    values_.clear();
    Variant seen;
    for (const auto& key : ini.Keys(kBagSection))
        if (!Read(key, seen))  // the first of two equal names wins
            values_.emplace_back(key, Variant::String(Unescape(ini.Get(kBagSection, key).value_or(""))));
    return true;
}

// ---------------------------------------------------------------------------
// Instance

ControlInstance::ControlInstance(std::shared_ptr<ControlLibrary> library, bool userMode)
    : library_(std::move(library)), userMode_(userMode)
{
}

ControlInstance::~ControlInstance()
{
    if (control_) {
        control_->Advise(nullptr);
        control_->SetSite(nullptr);
        control_->Release();
    }
}

Status ControlInstance::Create(const com::IPropertyBag* bag)
{
    if (!library_) return com::kFail;
    if (control_) return com::kOk;
    Status s = library_->CreateInstance(&control_);
    if (s != com::kOk) return s;
    control_->SetSite(this);
    control_->Advise(this);
    return bag ? control_->Load(*bag) : control_->InitNew();
}

Status ControlInstance::Load(const com::IPropertyBag& bag)
{
    return control_ ? control_->Load(bag) : com::kFail;
}

Status ControlInstance::Save(com::IPropertyBag& bag, bool clearDirty)
{
    return control_ ? control_->Save(bag, clearDirty) : com::kFail;
}

void ControlInstance::SetUserMode(bool userMode)
{
    userMode_ = userMode;
    if (control_) control_->AmbientChanged();
}

com::InvokeResult ControlInstance::Get(DispId dispid)
{
    if (!control_) return {com::kFail, {}, {}};
    return control_->Invoke(dispid, com::InvokeKind::Get, {});
}

com::InvokeResult ControlInstance::Put(DispId dispid, const Variant& value)
{
    if (!control_) return {com::kFail, {}, {}};
    return control_->Invoke(dispid, com::InvokeKind::Put, std::span<const Variant>(&value, 1));
}

com::InvokeResult ControlInstance::Call(DispId dispid)
{
    if (!control_) return {com::kFail, {}, {}};
    return control_->Invoke(dispid, com::InvokeKind::Method, {});
}

Result<std::int16_t> ControlInstance::GetI2(DispId dispid)
{
    auto r = Get(dispid);
    if (!r.ok()) return Failed<std::int16_t>(r);
    return {static_cast<std::int16_t>(r.value.integer()), com::kOk, {}};
}

Result<std::int32_t> ControlInstance::GetI4(DispId dispid)
{
    auto r = Get(dispid);
    if (!r.ok()) return Failed<std::int32_t>(r);
    return {r.value.integer(), com::kOk, {}};
}

Result<float> ControlInstance::GetR4(DispId dispid)
{
    auto r = Get(dispid);
    if (!r.ok()) return Failed<float>(r);
    const float v = r.value.type() == com::VarType::R4 ? r.value.real() : static_cast<float>(r.value.integer());
    return {v, com::kOk, {}};
}

Result<bool> ControlInstance::GetBool(DispId dispid)
{
    auto r = Get(dispid);
    if (!r.ok()) return Failed<bool>(r);
    return {r.value.integer() != 0, com::kOk, {}};
}

Result<std::string> ControlInstance::GetString(DispId dispid)
{
    auto r = Get(dispid);
    if (!r.ok()) return Failed<std::string>(r);
    return {r.value.text(), com::kOk, {}};
}

Result<std::string> ControlInstance::GetUtf8(DispId dispid)
{
    auto r = GetString(dispid);
    if (r.ok()) r.value = Cp932ToUtf8(r.value);
    return r;
}

Result<bool> ControlInstance::PutI2(DispId dispid, std::int16_t value) { return PutResult(Put(dispid, Variant::I2(value))); }
Result<bool> ControlInstance::PutI4(DispId dispid, std::int32_t value) { return PutResult(Put(dispid, Variant::I4(value))); }
Result<bool> ControlInstance::PutR4(DispId dispid, float value) { return PutResult(Put(dispid, Variant::R4(value))); }
Result<bool> ControlInstance::PutBool(DispId dispid, bool value) { return PutResult(Put(dispid, Variant::Bool(value))); }

Result<bool> ControlInstance::PutString(DispId dispid, std::string_view cp932)
{
    return PutResult(Put(dispid, Variant::String(std::string(cp932))));
}

Result<bool> ControlInstance::PutUtf8(DispId dispid, std::string_view utf8)
{
    return PutString(dispid, Utf8ToCp932(utf8));
}

void ControlInstance::OnPropertyChanged(DispId dispid)
{
    if (onPropertyChanged) onPropertyChanged(dispid);
}

void ControlInstance::SetControlVisible(bool visible)
{
    if (onVisibleChanged) onVisibleChanged(visible);
}

void ControlInstance::OnEvent(DispId dispid, std::span<Variant> args)
{
    if (onEvent) onEvent(dispid, args);
}

}  // namespace tolvex::host
