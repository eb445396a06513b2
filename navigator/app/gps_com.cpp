#include "app/gps_com.h"

#include <host/control_host.h>
#include <tolvexcomm/dispids.h>

#include <cstdio>
#include <filesystem>

namespace tessaro::app {

namespace {

namespace id = tolvex::com::dispid;

class HostedGpsCom final : public GpsComPort {
public:
    explicit HostedGpsCom(std::shared_ptr<tolvex::host::ControlLibrary> library) : instance_(std::move(library))
    {
        instance_.onEvent = [this](tolvex::host::DispId event, std::span<tolvex::host::Variant>) {
            if (event == tolvex::com::eventid::kOnComm && onComm) onComm();
        };
    }

    tolvex::host::ControlInstance& instance() { return instance_; }

    bool SetCommPort(int port) override { return instance_.PutI2(id::kCommPort, static_cast<std::int16_t>(port)).ok(); }
    bool SetSettings(const std::string& settings) override { return instance_.PutUtf8(id::kSettings, settings).ok(); }
    bool SetInBufferCount(int count) override
    {
        return instance_.PutI2(id::kInBufferCount, static_cast<std::int16_t>(count)).ok();
    }
    bool SetInTimeout(int ms) override { return instance_.PutI4(id::kInTimeout, ms).ok(); }
    bool SetRThreshold(int bytes) override
    {
        return instance_.PutI2(id::kRThreshold, static_cast<std::int16_t>(bytes)).ok();
    }
    bool SetInputLen(int len) override { return instance_.PutI2(id::kInputLen, static_cast<std::int16_t>(len)).ok(); }
    bool SetPortOpen(bool open) override { return instance_.PutBool(id::kPortOpen, open).ok(); }
    bool PortOpen() override
    {
        const auto r = instance_.GetBool(id::kPortOpen);
        return r.ok() && r.value;
    }
    int CommEvent() override
    {
        const auto r = instance_.GetI2(id::kCommEvent);
        return r.ok() ? r.value : 0;
    }
    int InBufferCount() override
    {
        const auto r = instance_.GetI2(id::kInBufferCount);
        return r.ok() ? r.value : 0;
    }
    std::string Input() override
    {
        auto r = instance_.GetUtf8(id::kInput);
        return r.ok() ? std::move(r.value) : std::string();
    }

private:
    tolvex::host::ControlInstance instance_;
};

}  // namespace

std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error)
{
    auto library = tolvex::host::ControlLibrary::Open({}, error);
    if (!library) return nullptr;
    auto port = std::make_unique<HostedGpsCom>(library);
    port->instance().SetParentWindow(parent);

    tolvex::host::PropertyBag bag;
    bool haveBag = false;
    std::error_code ec;
    if (!bagFile.empty() && std::filesystem::exists(bagFile, ec)) {
        std::string bagError;
        haveBag = bag.LoadFile(bagFile, bagError);
        if (!haveBag) std::fprintf(stderr, "tessaro: GPSCom properties not read: %s\n", bagError.c_str());
    }
    const tolvex::host::Status status = port->instance().Create(haveBag ? &bag : nullptr);
    if (status != tolvex::com::kOk) {
        error = "the communications control could not be created (status " + std::to_string(status) + ")";
        return nullptr;
    }
    if (!haveBag) {
        // Without its file the instance still gets the values the navigator
        // was designed with, whatever the user's defaults for new instances.
        auto& c = port->instance();
        c.PutI2(id::kHandshaking, 0);
        c.PutBool(id::kDTREnable, true);
        c.PutBool(id::kRTSEnable, true);
        c.PutI2(id::kInputLen, 0);
        c.PutBool(id::kNullDiscard, false);
        c.PutI2(id::kInBufferSize, 2048);
        c.PutI2(id::kOutBufferSize, 2048);
        c.PutI2(id::kEmulation, 0);
        c.PutI2(id::kAutoProcess, 0);
    }
    return port;
}

}  // namespace tessaro::app
