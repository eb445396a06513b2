#include "gps/gga_replay.h"

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>

#include "geodesy/plane_coords.h"
#include "gps/gga_decoder.h"
#include "gps/line_assembler.h"
#include "gps/nmea_checksum.h"
#include "shell/textfile.h"

namespace tessaro::gps {

namespace {

// Keeps what the main window's labels would show.
class LabelWindow : public GpsWindow {
public:
    void SetLabel(FixLabel label, const std::string& text) override
    {
        labels[static_cast<int>(label)] = text;
    }
    std::string labels[5];
};

void AppendG17(std::string& out, double value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    out.append(buf);
}

}  // namespace

long ReplayGgaLog(std::istream& in, std::ostream& out, int zoneNo, bool verifyChecksum, long* dropped)
{
    if (dropped) *dropped = 0;
    NavState state;
    geodesy::InitEllipsoid();
    geodesy::SetCurrentZone(zoneNo, state.Zone);
    LabelWindow window;
    MapSelection maps;
    OverlayDrawing drawing;
    RecordLineSink record;
    GgaDecoder decoder(state, window, maps, drawing, record);

    long count = 0;
    std::string row;
    auto handleLine = [&](const std::string& bytes) {
        if (!IsGgaSentence(bytes)) return;  // the test is on ASCII, before conversion
        // the checksum is over the bytes as received
        if (!PassesChecksum(bytes, verifyChecksum)) {
            if (dropped) ++*dropped;
            return;
        }
        PositionFix fix;
        decoder.Feed(Cp932ToUtf8(bytes), &fix);
        ++count;
        row.clear();
        for (FixLabel label : {FixLabel::GPSTimeLbl, FixLabel::DispPublicXlbl, FixLabel::DispPublicYlbl,
                               FixLabel::GPSSaetNumLbl, FixLabel::GPSStatusLbl})
            row.append(window.labels[static_cast<int>(label)]).append(",");
        row.append(std::to_string(state.Zone.ZoneNo)).append(",");
        row.append(fix.stored ? "1" : "0").append(",");
        if (fix.stored) AppendG17(row, fix.northing);
        row.append(",");
        if (fix.stored) AppendG17(row, fix.easting);
        row.append("\n");
        out << row;
    };

    LineAssembler lines;
    char chunk[1 << 14];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        lines.Feed(std::string_view(chunk, static_cast<std::size_t>(in.gcount())), handleLine);
    lines.Finish(handleLine);
    return count;
}

}  // namespace tessaro::gps
