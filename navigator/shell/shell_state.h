// The application shell's part of the run state: where the program's files
// are, the start-up flag and the scale table every view computation reads.
#pragma once

#include <string>

#include "shell/values.h"

namespace tessaro {

struct ShellState {
    std::string ProgramFolder;
    bool FirstActivate = true;
    ScaleTable Scales = BuildScaleTable();
};

}  // namespace tessaro
