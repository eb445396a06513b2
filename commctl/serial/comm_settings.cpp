// Settings grammar, device-settings mapping and the port-to-device mapping.

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/comm_engine.h"

namespace tolvex::serial {
namespace {

template <typename T>
struct Entry {
    std::string_view text;
    T value;
};

// Matching takes the first entry, in table order, whose text is a prefix of
// the remaining input; so "1.5" stays ahead of "1" and "230400" ahead of the
// shorter rates.
constexpr Entry<std::int32_t> kBaudTable[] = {
    {"230400", 256000}, {"115200", 115200}, {"57600", 57600}, {"56000", 56000},
    {"38400", 38400},   {"28800", 28800},   {"19200", 19200}, {"14400", 14400},
    {"9600", 9600},     {"4800", 4800},     {"2400", 2400},   {"1200", 1200},
    {"600", 600},       {"300", 300},       {"110", 110},
};
constexpr Entry<std::int32_t> kParityTable[] = {
    {"n", 0}, {"o", 1}, {"e", 2}, {"m", 3}, {"s", 4},
};
constexpr Entry<std::int32_t> kDataTable[] = {
    {"8", 8}, {"7", 7}, {"6", 6}, {"5", 5}, {"4", 4},
};
constexpr Entry<std::int32_t> kStopTable[] = {
    {"1.5", 1}, {"1", 0}, {"2", 2},
};

class Scanner {
public:
    explicit Scanner(std::string text) : text_(std::move(text)) {}

    void SkipBlanks()
    {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
    }

    void SkipSeparator()
    {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',')
            ++pos_;
        SkipBlanks();
    }

    bool AtEnd() const { return pos_ >= text_.size(); }

    // One field: absent (nullopt in `out`, true), matched (true) or invalid.
    template <std::size_t N>
    bool Field(const Entry<std::int32_t> (&table)[N], std::optional<std::int32_t>& out)
    {
        out.reset();
        if (AtEnd() || text_[pos_] == ',')
            return true;
        std::string_view rest = std::string_view(text_).substr(pos_);
        for (const auto& e : table) {
            if (rest.substr(0, e.text.size()) == e.text) {
                out = e.value;
                pos_ += e.text.size();
                return true;
            }
        }
        return false;
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

}  // namespace

bool ParseSettingsText(std::string_view text, LineSettings& values)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');

    Scanner s(std::move(lower));
    std::optional<std::int32_t> baud, parity, data, stop;
    s.SkipBlanks();
    if (!s.Field(kBaudTable, baud))
        return false;
    s.SkipSeparator();
    if (!s.Field(kParityTable, parity))
        return false;
    s.SkipSeparator();
    if (!s.Field(kDataTable, data))
        return false;
    s.SkipSeparator();
    if (!s.Field(kStopTable, stop))
        return false;
    s.SkipBlanks();
    if (!s.AtEnd())
        return false;

    if (baud) values.baud = *baud;
    if (parity) values.parity = *parity;
    if (data) values.data_bits = *data;
    if (stop) values.stop_bits = *stop;
    return true;
}

DeviceSettings BuildDeviceSettings(const PortConfig& c, DeviceSettings d)
{
    const bool xon = (c.handshaking & kHandshakeXon) != 0;
    const bool rtscts = (c.handshaking & kHandshakeRts) != 0;
    const bool replace = !c.parity_replace.empty();

    // The text "230400" stands for the rate value 256000; the line is driven
    // at 230400, the rate the peer at the other end expects.
    d.baud = c.line.baud == 256000 ? 230400u : static_cast<std::uint32_t>(c.line.baud);
    d.binary = true;
    d.parity_check = !replace;
    d.out_cts_flow = rtscts;
    d.out_dsr_flow = false;
    d.dtr = c.dtr_enable != 0 ? DtrControl::kEnable : DtrControl::kDisable;
    d.dsr_sensitivity = false;
    d.out_x = xon;
    d.in_x = xon;
    d.error_char_enabled = replace;
    d.error_char = replace ? static_cast<std::uint8_t>(c.parity_replace[0]) : 0;
    d.null_discard = c.null_discard;
    d.rts = rtscts ? RtsControl::kHandshake
                   : (c.rts_enable != 0 ? RtsControl::kEnable : RtsControl::kDisable);
    const int lim = c.in_buffer_size / 4;
    d.xon_lim = static_cast<std::uint16_t>(lim < 0 ? 0 : lim);
    d.xoff_lim = d.xon_lim;
    d.byte_size = static_cast<std::uint8_t>(c.line.data_bits);
    d.parity = static_cast<std::uint8_t>(c.line.parity);
    d.stop_bits = static_cast<std::uint8_t>(c.line.stop_bits);
    d.xon_char = 0x11;
    d.xoff_char = 0x13;
    d.eof_char = 0x1A;
    d.evt_char = 0x1A;
    return d;
}

std::string PortDeviceName(int port)
{
    return "\\\\.\\COM" + std::to_string(port);
}

std::string MapPortToDevice(int port, const ProfileLookup& ports)
{
    const std::string key = "COM" + std::to_string(port);
    if (ports) {
        if (std::optional<std::string> v = ports(key); v && !v->empty())
            return *v;
    }
    const std::string env = "TOLVEXCOMM_" + key;
    if (const char* v = std::getenv(env.c_str()); v && *v)
        return v;
    return "/dev/ttyS" + std::to_string(port - 1);
}

namespace {

// The name of the group that may read and write the device, if its mode
// lets the group do both (membership then is the remedy); empty otherwise.
std::string GroupThatMayOpen(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buf(static_cast<std::size_t>(size > 0 ? size : 16384));
    struct group g {};
    struct group* found = nullptr;
    while (::getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) == ERANGE)
        buf.resize(buf.size() * 2);
    return found && found->gr_name ? std::string(found->gr_name) : std::to_string(st.st_gid);
}

}  // namespace

ControlError OpenFailure(int err, const std::string& device)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return ControlError(kErrInvalidPort);
    case EBUSY:
        return ControlError(kErrPortAlreadyOpen);
    case EACCES:
    case EPERM: {
        // Still 8005 for callers that test the number, but the text says
        // what is wrong: "already open" would send the user the wrong way.
        std::string text = "ポート " + device + " を開く権限がありません";
        const std::string group = GroupThatMayOpen(device);
        if (!group.empty())
            text += "（" + group + " グループへの所属が必要です）";
        return ControlError(kErrPortAlreadyOpen, text);
    }
    default:
        return ControlError(kErrPortNotOpen);
    }
}

}  // namespace tolvex::serial
