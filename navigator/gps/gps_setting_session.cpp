#include "gps/gps_setting_session.h"

#include <control/ini_file.h>

#include <grp.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <type_traits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "geodesy/plane_coords.h"
#include "settings/settings.h"
#include "shell/values.h"

namespace tessaro::gps {

namespace fs = std::filesystem;

const std::array<ZoneRowTexts, kZoneRows>& ZoneRows()
{
    static const std::array<ZoneRowTexts, kZoneRows> rows{{
        {"測地系", "都道府県名", "緯度", "経度"},
        {"1", "長崎 ", "33-00", "129-30"},
        {"2", "福岡:佐賀:熊本:大分:宮崎:鹿児島", "33-00", "131-00"},
        {"3", "山口:島根:広島", "36-00", "132-10"},
        {"4", "香川:愛媛:徳島:高知", "33-00", "133-30"},
        {"5", "兵庫:鳥取:岡山", "36-00", "134-20"},
        {"6", "京都:大阪:福井:滋賀:三重:奈良:和歌山", "36-00", "136-00"},
        {"7", "石川:富山:岐阜:愛知", "36-00", "137-10"},
        {"8", "新潟:長野:山梨:静岡", "36-00", "138-30"},
        {"9", "東京:福島:栃木:茨城:埼玉:千葉:群馬:神奈川", "36-00", "139-50"},
        {"10", "青森:秋田:山形:岩手:宮城", "40-00", "140-50"},
        {"11", "北海道西部", "44-00", "140-15"},
        {"12", "北海道中部", "44-00", "142-15"},
        {"13", "北海道東部", "44-00", "144-15"},
        {"14", "東京都ーII", "26-00", "142-00"},
        {"15", "沖縄ーI", "26-00", "127-30"},
        {"16", "沖縄ーII", "26-00", "124-00"},
        {"17", "沖縄ーIII", "26-00", "131-00"},
        {"18", "東京都－III", "20-00", "136-00"},
        {"19", "東京都ーIV", "26-00", "154-00"},
    }};
    return rows;
}

const std::array<const char*, kSpeedCount>& SpeedTexts()
{
    static const std::array<const char*, kSpeedCount> speeds{"2400,n,8,1",  "4800,n,8,1",  "9600,n,8,1",
                                                             "19200,n,8,1", "38400,n,8,1", "57600,n,8,1",
                                                             "115200,n,8,1"};
    return speeds;
}

// --- serial devices ---

namespace {

// The number at the end of a device name ("ttyUSB12" -> 12), for ordering.
long TrailingNumber(const std::string& name)
{
    std::size_t i = name.size();
    while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
    if (i == name.size()) return -1;
    return std::strtol(name.c_str() + i, nullptr, 10);
}

std::vector<fs::path> Entries(const fs::path& folder, const std::string& prefix)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (prefix.empty() || (name.rfind(prefix, 0) == 0 && TrailingNumber(name) >= 0 &&
                               name.size() > prefix.size() &&
                               name.find_first_not_of("0123456789", prefix.size()) == std::string::npos))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        const std::string an = a.filename().string(), bn = b.filename().string();
        const long ai = TrailingNumber(an), bi = TrailingNumber(bn);
        if (ai >= 0 && bi >= 0 && ai != bi && an.substr(0, an.size() - std::to_string(ai).size()) ==
                                                  bn.substr(0, bn.size() - std::to_string(bi).size()))
            return ai < bi;
        return an < bn;
    });
    return found;
}

std::string GroupName(gid_t gid)
{
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

std::string ProblemText(const SerialDevice& d, const std::string& user)
{
    std::string text = "デバイス" + d.path + "を読み書きする権限がありません。";
    if (!d.group.empty() && d.group != "root") {
        const std::string who = user.empty() ? "ユーザー名" : user;
        text += "ユーザー" + who + "をグループ「" + d.group + "」に加え（例: sudo adduser " + who + " " + d.group +
                "）、ログインし直してください。";
    } else {
        text += "デバイスの権限を確かめてください。";
    }
    return text;
}

// A ttyS node stands for a port the kernel found only when sysfs gives it a
// port type other than 0 (no UART there).
bool SerialPortPresent(const fs::path& sysTty, const std::string& name)
{
    std::ifstream in(sysTty / name / "type");
    long type = 0;
    return in >> type && type != 0;
}

}  // namespace

namespace {

// Whether host:port accepts a TCP connection within the timeout.
bool Answers(const std::string& host, int port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int soerr = 0;
            socklen_t len = sizeof soerr;
            ok = ::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) == 0 &&
                 soerr == 0;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return ok;
}

}  // namespace

std::optional<SerialDevice> LocalGpsd(const DeviceRoots& roots, int timeoutMs)
{
    if (roots.gpsdPort <= 0 || !Answers(roots.gpsdHost, roots.gpsdPort, timeoutMs)) return std::nullopt;
    SerialDevice d;
    const std::string where = roots.gpsdHost + ":" + std::to_string(roots.gpsdPort);
    d.path = "gpsd:" + where;
    d.node = d.path;
    d.accessible = true;
    d.label = "gpsd (" + where + ")";
    return d;
}

std::vector<SerialDevice> ListSerialDevices(const DeviceRoots& roots, const std::string& user)
{
    std::vector<SerialDevice> devices;
    std::vector<std::string> nodes;  // listed already
    auto add = [&](const fs::path& path) {
        std::error_code ec;
        const fs::path node = fs::canonical(path, ec);
        if (ec) return;  // a dangling link: nothing is there
        struct stat st {};
        if (::stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return;
        if (std::find(nodes.begin(), nodes.end(), node.string()) != nodes.end()) return;
        nodes.push_back(node.string());
        SerialDevice d;
        d.path = path.string();
        d.node = node.string();
        d.accessible = ::access(node.c_str(), R_OK | W_OK) == 0;
        d.group = GroupName(st.st_gid);
        if (!d.accessible) d.problem = ProblemText(d, user);
        devices.push_back(std::move(d));
    };
    for (const fs::path& link : Entries(roots.byId, {})) add(link);
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const fs::path& node : Entries(roots.dev, prefix)) add(node);
    for (const fs::path& node : Entries(roots.dev, "ttyS"))
        if (SerialPortPresent(roots.sysTty, node.filename().string())) add(node);
    return devices;
}

std::string MappedDevice(int port, const fs::path& profile)
{
    const std::string key = "COM" + std::to_string(port);
    if (auto v = tolvex::profile::IniFile::Load(profile).Get("Ports", key); v && !v->empty()) return *v;
    if (const char* v = std::getenv(("TOLVEXCOMM_" + key).c_str()); v && *v) return v;
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::string PortEntryText(int port, const fs::path& profile)
{
    return "Com" + std::to_string(port) + "  " + MappedDevice(port, profile);
}

bool MapPortInProfile(const fs::path& profile, int port, const std::string& device, std::string* error)
{
    tolvex::profile::IniFile ini = tolvex::profile::IniFile::Load(profile);
    ini.Set("Ports", "COM" + std::to_string(port), device);
    if (ini.Save(profile)) return true;
    if (error) *error = std::strerror(errno);
    return false;
}

// --- the dialog's choice ---

void CarryViewToZone(NavState& s, const geodesy::CurrentZone& oldZone)
{
    if (oldZone.ZoneNo < 1) return;
    geodesy::InitEllipsoid();
    auto carry = [&](double& easting, float& northing) {
        if (easting == 0.0 || northing == 0.0f) return;
        const geodesy::LatLon ll =
            geodesy::PlaneToLatLon(easting, northing, oldZone.ZoneOriginLat, oldZone.ZoneOriginLon);
        const geodesy::PlanePoint p = geodesy::LatLonToPlane(ll.lat, ll.lon, s.Zone.ZoneOriginLat, s.Zone.ZoneOriginLon);
        easting = p.easting;
        northing = static_cast<float>(p.northing);
    };
    carry(s.ViewCentreEasting, s.ViewCentreNorthing);
    carry(s.PosEasting, s.PosNorthing);
    // What is drawn over the photographs goes with them: a loaded GGA log,
    // its marks, a reviewed record file and the trail of recent fixes.
    auto carryList = [&](auto& eastings, auto& northings, int count) {
        const int n = std::min<int>(count, static_cast<int>(std::min(eastings.size(), northings.size())));
        for (int i = 0; i < n; ++i) {
            const auto u = static_cast<std::size_t>(i);
            double e = eastings[u];
            float nn = northings[u];
            carry(e, nn);
            eastings[u] = static_cast<std::decay_t<decltype(eastings[u])>>(e);
            northings[u] = nn;
        }
    };
    carryList(s.GGAPointEasting, s.GGAPointNorthing, s.GGAPointCount);
    carryList(s.MKPointEasting, s.MKPointNorthing, s.MKPointCount);
    carryList(s.RecordPointEasting, s.RecordPointNorthing, s.RecordPointCount);
    carryList(s.Track.TrackEasting, s.Track.TrackNorthing, s.Track.TrackCount);
}

GPSSettingSession::GPSSettingSession(NavState& state, fs::path profile)
    : state_(state), profile_(std::move(profile))
{
}

void GPSSettingSession::RowLabels(int row, std::string& mapNum, std::string& lat, std::string& lon)
{
    if (row < 0 || row >= kZoneRows) return;
    const ZoneRowTexts& r = ZoneRows()[static_cast<std::size_t>(row)];
    mapNum = r.number;
    lat = r.lat;
    lon = r.lon;
}

GPSSettingView GPSSettingSession::Initial() const
{
    const NavState& s = state_;
    GPSSettingView v;
    const int zone = s.Zone.ZoneNo;
    if (zone >= 1 && zone < kZoneRows) v.zoneRow = zone;
    v.mapNum = std::to_string(zone);
    // Without a zone the origin labels show the headings of row 0.
    std::string ignored;
    RowLabels(v.zoneRow >= 1 ? zone : 0, ignored, v.lat, v.lon);
    if (s.GPSPortNo >= 1 && s.GPSPortNo <= kPortCount) v.portIndex = s.GPSPortNo - 1;
    if (s.GPSSpeedIndex >= 1 && s.GPSSpeedIndex <= static_cast<int>(SpeedTexts().size()))
        v.speedIndex = s.GPSSpeedIndex - 1;
    v.checksumTest = s.GGAChecksumTest;
    v.checksumDropped = s.GGAChecksumDropped;
    return v;
}

std::string ChecksumDroppedText(int dropped)
{
    return "不一致で捨てた文：" + std::to_string(dropped) + "件（前回のGPS開始から）";
}

std::filesystem::path NavigatorProfilePath(const std::string& programFolder)
{
    return std::filesystem::path(programFolder) / "data0" / "Tessaro.ini";
}

void ReadNavigatorProfile(NavState& state)
{
    const auto ini = tolvex::profile::IniFile::Load(NavigatorProfilePath(state.ProgramFolder));
    if (const auto v = ini.Get("GPS", "VerifyChecksum"); v && !v->empty())
        state.GGAChecksumTest = NumericValue(*v) != 0.0;
}

bool WriteNavigatorProfile(const NavState& state, std::string* error)
{
    const auto path = NavigatorProfilePath(state.ProgramFolder);
    tolvex::profile::IniFile ini = tolvex::profile::IniFile::Load(path);
    ini.Set("GPS", "VerifyChecksum", state.GGAChecksumTest ? "1" : "0");
    errno = 0;
    if (ini.Save(path)) return true;
    if (error) *error = errno != 0 ? std::strerror(errno) : "書き込めません";
    return false;
}

namespace {

double OriginDegrees(std::string_view text)
{
    ItemDataArray items;
    SplitItems(TrimSpaces(text), "-", items);
    return NumericValue(items[0]) + NumericValue(items[1]) / 60.0 + NumericValue(items[2]) / 3600.0;
}

}  // namespace

GPSSettingOutcome GPSSettingSession::Confirm(const GPSSettingChoice& c)
{
    NavState& s = state_;
    GPSSettingOutcome out;
    // The dialog does not block the main window: tracking or a recording may
    // have started since it opened.
    if (s.RecordingOn) {
        out.messages.push_back("データの記録を終了してください。");
        return out;
    }
    if (s.GPSRunning) {
        out.messages.push_back("GPSを停止して下さい。またデモも停止してください。");
        return out;
    }
    const double zone = RoundHalfEven(NumericValue(c.mapNum));
    if (!(zone >= 1 && zone <= geodesy::kZoneCount)) {
        out.messages.push_back("日本測地系の表から、使う系（1～19）の行を選んでください。");
        return out;
    }
    if (c.device && !c.device->accessible) {
        out.messages.push_back(c.device->problem + "\n設定は保存していません。");
        return out;
    }
    const int portIndex = std::clamp(c.portIndex, 0, kPortCount - 1);
    const int speedIndex = std::clamp(c.speedIndex, 0, static_cast<int>(SpeedTexts().size()) - 1);

    out.oldZone = s.Zone;
    s.Zone.ZoneNo = static_cast<std::int16_t>(zone);
    s.Zone.ZoneOriginLat = OriginDegrees(c.lat);
    s.Zone.ZoneOriginLon = OriginDegrees(c.lon);
    out.zoneChanged = s.Zone.ZoneNo != out.oldZone.ZoneNo || s.Zone.ZoneOriginLat != out.oldZone.ZoneOriginLat ||
                      s.Zone.ZoneOriginLon != out.oldZone.ZoneOriginLon;
    s.GPSPortNo = static_cast<std::int16_t>(portIndex + 1);
    s.GPSSpeedIndex = static_cast<std::int16_t>(speedIndex + 1);
    s.GPSPortSettings = SpeedTexts()[static_cast<std::size_t>(speedIndex)];
    const bool checksumChanged = s.GGAChecksumTest != c.checksumTest ||
                                 !std::filesystem::exists(NavigatorProfilePath(s.ProgramFolder));
    s.GGAChecksumTest = c.checksumTest;

    if (!WriteGPSSetting(s, TrimSpaces(c.lat), TrimSpaces(c.lon)))
        out.messages.push_back("設定をファイル " + GPSSettingPath(s.ProgramFolder) +
                               " に保存できませんでした。選んだ設定はこのまま使いますが、"
                               "次に起動したときには元の設定に戻ります。");
    if (checksumChanged) {
        std::string why;
        if (!WriteNavigatorProfile(s, &why))
            out.messages.push_back("チェックサム検査の設定をファイル " + NavigatorProfilePath(s.ProgramFolder).string() +
                                   " に保存できませんでした（" + why + "）。");
    }
    if (c.device) {
        std::string why;
        if (!MapPortInProfile(profile_, s.GPSPortNo, c.device->path, &why))
            out.messages.push_back("ポートCOM" + std::to_string(s.GPSPortNo) + "の割り当てをファイル " +
                                   profile_.string() + " に保存できませんでした（" + why + "）。");
    }
    out.close = true;
    return out;
}

}  // namespace tessaro::gps
