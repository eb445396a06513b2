// The control's window on Qt: design-time drawing, mouse events, the About
// box, and the handle the hWnd property returns.
#pragma once

#include "tolvexcomm_ctrl.h"

#include <memory>

class QDialog;
class QWidget;

namespace tolvex::control {

// The modal About box (not yet shown). It closes by itself right after it is
// shown when the environment variable TOLVEXCOMM_ABOUT_AUTOCLOSE is set, so
// scripted runs of AboutBox do not wait for a person.
std::unique_ptr<QDialog> MakeAboutBox(QWidget* parent);

// The window factory of the control; makes no window while no QApplication
// runs.
WindowFactory QtWindowFactory();

// The text the control draws at design time while Emulation is not NONE.
std::string DesignCaption();

}  // namespace tolvex::control
