// The GPS settings dialog without its widgets: the zone table as the dialog
// shows it, the port and speed lists, the serial devices that exist now, the
// port-to-device mapping of the communications control's profile, and what
// OK does.
//
// Port numbers map to devices the way the control looks them up: the
// profile's section "Ports" (COM3=/dev/ttyUSB0), else the environment's
// TOLVEXCOMM_COM<n>, else /dev/ttyS<n-1>. The dialog writes only that
// section, and only on OK.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "state/nav_state.h"

namespace tessaro::gps {

// One row of the zone grid: zone number, prefectures, origin latitude and
// longitude as degrees "-" minutes. Row 0 holds the column headings.
struct ZoneRowTexts {
    const char* number;
    const char* prefectures;
    const char* lat;
    const char* lon;
};
inline constexpr int kZoneRows = 20;
const std::array<ZoneRowTexts, kZoneRows>& ZoneRows();

inline constexpr int kPortCount = 11;  // "Com1" .. "Com11"
inline constexpr int kDefaultSpeedIndex = 2;
// "2400,n,8,1" .. "38400,n,8,1", then "57600,n,8,1" and "115200,n,8,1" for
// modern receivers: the new entries come last, so a GPSSetting.dat speed
// index 1..5 written before keeps its meaning.
inline constexpr int kSpeedCount = 7;
const std::array<const char*, kSpeedCount>& SpeedTexts();

// --- serial devices ---

// Where the devices are looked for (tests point these at a private folder).
struct DeviceRoots {
    std::filesystem::path dev = "/dev";
    std::filesystem::path byId = "/dev/serial/by-id";
    std::filesystem::path sysTty = "/sys/class/tty";
    // Where a local gpsd is looked for (port 0: not looked for).
    std::string gpsdHost = "localhost";
    int gpsdPort = 2947;
};

struct SerialDevice {
    std::string path;    // the name to map a port to: the by-id link, else the node
    std::string node;    // the device node it leads to
    bool accessible = false;
    std::string group;   // the node's group
    // Why the device cannot be used and what to do (Japanese); empty when
    // it can.
    std::string problem;
    // What the list shows instead of the path ("gpsd (localhost:2947)");
    // empty for a device.
    std::string label;
};

// A gpsd that accepts connections at the roots' gpsd host and port (asked
// for at most `timeoutMs`): the entry that maps a port to it
// ("gpsd:localhost:2947", shown as "gpsd (localhost:2947)").
std::optional<SerialDevice> LocalGpsd(const DeviceRoots& roots, int timeoutMs = 300);

// The serial devices that exist now: the links of by-id first (the names that
// stay when the receiver is plugged in elsewhere), then ttyUSB*, ttyACM* and
// the ttyS* whose port the kernel found (sysfs type not 0), in number order;
// a node already reached through a link is not listed again. Only the file
// system and access() are asked; no port is opened. `user` is the login name
// the remedy names.
std::vector<SerialDevice> ListSerialDevices(const DeviceRoots& roots, const std::string& user);

// The device port `port` maps to, given the profile file.
std::string MappedDevice(int port, const std::filesystem::path& profile);
// "Com3  /dev/ttyUSB0": an entry of the port list.
std::string PortEntryText(int port, const std::filesystem::path& profile);

// Maps `port` to `device` in the profile's section "Ports"; every other line
// of the file stays as it is. False (with *error) when it cannot be written.
bool MapPortInProfile(const std::filesystem::path& profile, int port, const std::string& device,
                      std::string* error = nullptr);

// --- the navigator's own profile ---

// ProgramFolder/data0/Tessaro.ini: the navigator's choices that the old
// settings files have no line for (GPSSetting.dat keeps its six lines).
// Section "GPS", key "VerifyChecksum" (1 or 0; missing: 1).
std::filesystem::path NavigatorProfilePath(const std::string& programFolder);
// Reads the profile into the run state (GGAChecksumTest); a missing or
// unreadable file leaves the defaults.
void ReadNavigatorProfile(NavState& state);
// Writes GGAChecksumTest into the profile, keeping every other line. False
// (with *error) when it cannot be written.
bool WriteNavigatorProfile(const NavState& state, std::string* error = nullptr);

// --- the dialog's choice ---

// What the dialog shows when it opens.
struct GPSSettingView {
    int zoneRow = -1;  // the selected row of the grid, -1 for none
    std::string mapNum, lat, lon;  // MapNumLbl, LatLbl, LonLbl
    int portIndex = 0;
    int speedIndex = kDefaultSpeedIndex;
    bool checksumTest = true;   // the check box
    int checksumDropped = 0;    // sentences dropped since tracking last started
};

// The caption of the count of dropped sentences.
std::string ChecksumDroppedText(int dropped);

// What the user chose.
struct GPSSettingChoice {
    std::string mapNum, lat, lon;
    int portIndex = 0;
    int speedIndex = kDefaultSpeedIndex;
    bool checksumTest = true;
    std::optional<SerialDevice> device;  // a device to map the port to
};

struct GPSSettingOutcome {
    bool close = false;                  // false: the dialog stays open
    std::vector<std::string> messages;   // shown to the user in this order
    bool zoneChanged = false;
    geodesy::CurrentZone oldZone;
};

// After a change of zone: the view centre, the last position and the drawn
// lists (a GGA log and its marks, a reviewed record file, the trail), kept
// in metres of `oldZone`, go over to the current zone by their latitude and
// longitude (nothing to carry without an old zone, or for a coordinate of
// exactly 0, which is no position the conversion takes).
void CarryViewToZone(NavState& state, const geodesy::CurrentZone& oldZone);

class GPSSettingSession {
public:
    GPSSettingSession(NavState& state, std::filesystem::path profile);

    GPSSettingView Initial() const;
    // The labels after a click on grid row `row` (0 shows the headings).
    static void RowLabels(int row, std::string& mapNum, std::string& lat, std::string& lon);
    // OK: refuses (the dialog stays) while a recording or live tracking
    // runs, without a zone 1..19, or with a device that cannot be used;
    // otherwise applies the choice, writes GPSSetting.dat and the port
    // mapping and closes, telling the user what could not be written.
    GPSSettingOutcome Confirm(const GPSSettingChoice& choice);

    const std::filesystem::path& Profile() const { return profile_; }

private:
    NavState& state_;
    std::filesystem::path profile_;
};

}  // namespace tessaro::gps
