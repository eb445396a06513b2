#include "app/gps_com.h"

#include <control/ini_file.h>
#include <host/control_host.h>
#include <tolvexcomm/dispids.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

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
    bool SetPortOpen(bool open) override
    {
        const auto r = instance_.PutBool(id::kPortOpen, open);
        openError_ = r.ok() ? ComError{} : ComError{r.error(), r.DescriptionUtf8()};
        return r.ok();
    }
    ComError PortOpenError() override { return openError_; }
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
    ComError openError_;
};

}  // namespace

std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error)
{
    return LoadGpsCom(bagFile, parent, error, tolvex::host::LoadOptions{});
}

std::unique_ptr<GpsComPort> LoadGpsCom(const std::string& bagFile, QWidget* parent, std::string& error,
                                       const tolvex::host::LoadOptions& where)
{
    auto library = tolvex::host::ControlLibrary::Open(where, error);
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
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
        error = library->path() + ": 通信コントロールを作成できません (" + code + ")";
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

std::string PortDevicePath(int port)
{
    const std::string key = "COM" + std::to_string(port);
    if (auto v = tolvex::profile::ReadProfileString("Ports", key); v && !v->empty()) return *v;
    if (const char* v = std::getenv(("TOLVEXCOMM_" + key).c_str()); v && *v) return v;
    return "/dev/ttyS" + std::to_string(port - 1);
}

DeviceCheck CheckDevice(const std::string& path)
{
    DeviceCheck check;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return check;
    check.exists = true;
    check.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        check.group = found->gr_name;
    else
        check.group = std::to_string(st.st_gid);
    return check;
}

std::string PortOpenFailureMessage(int port, const std::string& device, const ComError& error,
                                   const DeviceCheck& check, const std::string& user)
{
    std::string text = "GPSのポートCOM" + std::to_string(port) + "（" + device + "）を開けません。\n";
    // A network source is no device node: say what to check on the far side.
    const bool gpsd = device.rfind("gpsd:", 0) == 0;
    if (gpsd || device.rfind("tcp:", 0) == 0) {
        text += gpsd ? "gpsdに接続できません。gpsdが動いているか、" : "NMEAの送信元に接続できません。送信元が動いているか、";
        text += "ホスト名とポート番号が正しいかを確かめてください。";
        if (error.number != 0) text += "（" + error.description + "）";
        return text;
    }
    // The device itself says more than the error number: the control reports
    // a missing permission and a port held by another program alike.
    if (!check.exists) {
        text += "デバイスがありません。GPS受信機がつながっているか、"
                "「GPS設定」のポート番号が正しいかを確かめてください。";
    } else if (!check.accessible) {
        text += "このデバイスを読み書きする権限がありません。";
        if (!check.group.empty() && check.group != "root") {
            const std::string who = user.empty() ? "ユーザー名" : user;
            text += "ユーザー" + who + "をグループ「" + check.group + "」に加え（例: sudo adduser " + who + " " +
                    check.group + "）、ログインし直してください。";
        } else {
            text += "デバイスの権限を確かめてください。";
        }
    } else if (error.number == kErrPortAlreadyOpen) {
        text += "ほかのプログラムがこのポートを使用中です。そのプログラムを終了してから、"
                "もう一度「スタートGPS」を押してください。";
    } else if (error.number != 0) {
        text += error.description + "（エラー " + std::to_string(error.number) + "）";
    } else {
        text += "通信コントロールがポートを開きませんでした。";
    }
    return text;
}

std::string ControlLoadFailureMessage(const std::string& error)
{
    return "通信コントロール（libtolvexcom32.so）を読み込めないため、GPSは使えません。\n" +
           (error.empty() ? std::string("原因は分かりません。") : error);
}

std::string CurrentUserName()
{
    std::vector<char> buffer(4096);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    if (const char* name = std::getenv("USER"); name && *name) return name;
    return {};
}

}  // namespace tessaro::app
