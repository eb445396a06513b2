// tessaro-tool measure: the measuring tool of the main window on picture
// positions, at a scale level.
#include <cstdlib>
#include <ostream>

#include "commands.h"
#include "mapview/map_view.h"
#include "overlays/picture_area.h"
#include "pointer/pointer_tools.h"

namespace {

// Keeps what the tool shows; nothing else of a window is needed.
struct Shown : tessaro::pointer::PointerWindow {
    std::string total = "0";
    std::vector<std::string> messages;
    void SetMeasureText(const std::string& t) override { total = t; }
    void SetCoordinateBoxes(const std::string&, const std::string&) override {}
    void SetDegreeBoxes(const tessaro::pointer::DmsTexts&, const tessaro::pointer::DmsTexts&) override {}
    void SetPositionButtonsEnabled(bool) override {}
    void UseMeasuringPointer(bool) override {}
    void RedrawAll() override {}
    void RedrawRecordOverlays() override {}
    void CentreViewOn(double, double) override {}
    void Message(const std::string& t) override { messages.push_back(t); }
};

int MeasureCommand(const tessaro::tool::Args& args, std::istream&, std::ostream& out, std::ostream& err)
{
    if (args.size() < 2) {
        err << "usage: tessaro-tool measure LEVEL X,Y [X,Y ...]\n";
        return 2;
    }
    tessaro::NavState state;
    state.ScaleLevel = std::atoi(args[0].c_str());
    tessaro::mapview::ApplyScaleLevel(state);
    tessaro::overlays::PictureArea picture;
    Shown shown;
    tessaro::pointer::PointerTools tools(state, picture, shown);
    tools.MeasuringPressed(true);
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::size_t comma = args[i].find(',');
        if (comma == std::string::npos) {
            err << "not a picture position X,Y: " << args[i] << "\n";
            return 2;
        }
        tools.LeftPressed({std::atof(args[i].substr(0, comma).c_str()), std::atof(args[i].c_str() + comma + 1)});
    }
    for (const auto& m : shown.messages) err << m << "\n";
    out << shown.total << "\n";
    return state.ViewScale > 0.0f ? 0 : 1;
}

}  // namespace

TESSARO_TOOL_COMMAND("measure", "LEVEL X,Y [X,Y ...]  the measured length [m] of a polyline in picture units",
                     MeasureCommand);
