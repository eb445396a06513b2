// The control's screen: the widget-free Terminal behind the control's
// TerminalSide. Answers of the terminal (VT52 ESC Z) go to the line through
// the port engine's Output while the port is open, or to the sink the
// factory is given instead.
#pragma once

#include "control/terminal_side.h"

#include <functional>
#include <string_view>

namespace tolvex::terminal {

using AnswerSink = std::function<void(std::string_view bytes)>;

// The factory of ControlParts::makeTerminal.
control::TerminalFactory ScreenFactory(AnswerSink answers = {});

}  // namespace tolvex::terminal
