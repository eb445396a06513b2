// Helpers for the control's tests: a recording site and event sink, a
// control made with a profile file in a temporary folder, and a property bag.
#pragma once

#include "control/tolvexcomm_ctrl.h"
#include "control/variant_convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tolvex::com {
inline void PrintTo(const Variant& v, std::ostream* os)
{
    static const char* const kTypes[] = {"Empty", "I2", "I4", "R4", "Bool", "String", "Bytes"};
    *os << kTypes[static_cast<int>(v.type())] << "(" << control::ToText(v).substr(0, 80) << ")";
}
}  // namespace tolvex::com

namespace tolvex::control::testing {

using com::Variant;

class RecordingSite : public com::IControlSite, public com::IEventSink {
public:
    bool userMode = true;
    std::vector<DispId> changed;
    int modified = 0;
    std::vector<bool> visible;
    struct Event {
        DispId dispid;
        std::vector<Variant> args;
    };
    std::vector<Event> events;
    std::function<void(DispId, std::span<Variant>)> onEvent;

    bool UserMode() const override { return userMode; }
    void OnPropertyChanged(DispId dispid) override { changed.push_back(dispid); }
    void OnModified() override { ++modified; }
    void SetControlVisible(bool v) override { visible.push_back(v); }
    void OnEvent(DispId dispid, std::span<Variant> args) override
    {
        events.push_back({dispid, {args.begin(), args.end()}});
        if (onEvent) onEvent(dispid, args);
    }
};

class MemoryBag : public com::IPropertyBag {
public:
    std::vector<std::pair<std::string, Variant>> values;

    bool Read(std::string_view name, Variant& value) const override
    {
        for (const auto& [k, v] : values)
            if (k == name) {
                value = v;
                return true;
            }
        return false;
    }
    void Write(std::string_view name, const Variant& value) override
    {
        for (auto& [k, v] : values)
            if (k == name) {
                v = value;
                return;
            }
        values.emplace_back(std::string(name), value);
    }
    const Variant* Find(std::string_view name) const
    {
        for (const auto& [k, v] : values)
            if (k == name) return &v;
        return nullptr;
    }
};

struct ControlDeleter {
    void operator()(CTolvexcommCtrl* c) const { c->Release(); }
};
using ControlPtr = std::unique_ptr<CTolvexcommCtrl, ControlDeleter>;

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("tolvexcomm-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path Write(const std::string& name, std::string_view bytes) const
    {
        auto file = path_ / name;
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path path_;
};

// A control in the given mode with the profile `profile` (missing by default),
// reset to its defaults.
// Short makers of the values the tests pass.
inline Variant B(bool v) { return Variant::Bool(v); }
inline Variant I2(int v) { return Variant::I2(static_cast<std::int16_t>(v)); }
inline Variant I4(int v) { return Variant::I4(v); }
inline Variant S(std::string v) { return Variant::String(std::move(v)); }

inline ControlPtr MakeControl(RecordingSite& site, const std::filesystem::path& profile,
                              ControlParts parts = {})
{
    parts.profile = profile;
    ControlPtr c(new CTolvexcommCtrl(std::move(parts)));
    c->SetSite(&site);
    c->Advise(&site);
    EXPECT_EQ(c->InitNew(), com::kOk);
    site.changed.clear();
    site.modified = 0;
    return c;
}

inline com::InvokeResult Get(com::IControl& c, DispId id)
{
    return c.Invoke(id, com::InvokeKind::Get, {});
}

inline com::InvokeResult Put(com::IControl& c, DispId id, const Variant& v)
{
    return c.Invoke(id, com::InvokeKind::Put, std::span<const Variant>(&v, 1));
}

}  // namespace tolvex::control::testing
