// The two settings files below the program folder.
//
// data0/CurrentSetting.dat, four lines:
//   1  map library folder, as text
//   2  scale level, print form of an integer (" 16 ")
//   3  view centre easting,northing, each "#######0.0"
//   4  position easting,northing, each "#######0.0"
// data0/GPSSetting.dat, six lines:
//   1  zone number             4  serial port number
//   2  origin latitude "36-00" 5  speed index in the dialog's list
//   3  origin longitude        6  port settings text ("4800,n,8,1")
//
// Files are CP932 with CR LF line ends and are replaced atomically. Readers
// never report anything: a missing file or line leaves the values it would
// have set as they were.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

struct NavState;

// ProgramFolder + "/data0/CurrentSetting.dat" and "/data0/GPSSetting.dat".
std::string CurrentSettingPath(const std::string& programFolder);
std::string GPSSettingPath(const std::string& programFolder);

// Reads CurrentSetting.dat of state.ProgramFolder into MapPicFolder,
// ScaleLevel, ViewCentreEasting/Northing and PosEasting/Northing, line by
// line; it stops at the first line that is missing or cannot be taken (a
// number beyond the variable's range), keeping what was read before.
void ReadCurrentSetting(NavState& state);

// Writes CurrentSetting.dat from the same six values; while the sample
// library stands in for a stored one (SampleStandsInFor), the stored folder,
// scale level and view centre are written in place of the sample's. A folder
// text that CP932 cannot hold is not turned into "?": the file is then
// written as UTF-8 with a byte-order mark, which the readers accept. Returns false when
// the file could not be written (the old file stays).
bool WriteCurrentSetting(const NavState& state);

// Reads GPSSetting.dat into the current zone (ZoneNo, ZoneOriginLat,
// ZoneOriginLon), GPSPortNo, GPSSpeedIndex and GPSPortSettings. Every line
// is taken on its own: a line that cannot be taken is skipped and the next
// one is still read.
void ReadGPSSetting(NavState& state);

// Writes GPSSetting.dat: state's ZoneNo, the two origin texts as the settings
// dialog shows them (trimmed of spaces here), GPSPortNo, GPSSpeedIndex and
// GPSPortSettings. Returns false when the file could not be written.
bool WriteGPSSetting(const NavState& state, std::string_view originLatText,
                     std::string_view originLonText);

// The lines the writers put into the files, for callers that show or compare
// them.
std::vector<std::string> CurrentSettingLines(const NavState& state);
std::vector<std::string> GPSSettingLines(const NavState& state, std::string_view originLatText,
                                         std::string_view originLonText);

}  // namespace tessaro
