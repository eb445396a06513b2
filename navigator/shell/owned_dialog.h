// Every secondary window of the navigator is a dialog of the window that
// opens it: the window manager keeps it above its owner (a click on the map
// never buries it), it has no task-bar entry of its own, it closes with its
// owner, and the keyboard answers it the usual way: Enter presses OK, Escape
// presses Cancel. MakeOwnedDialog gives a QDialog all of that in one call;
// see docs/DEVELOPING.md for what a new window does.
#pragma once

class QDialog;
class QPushButton;
class QWidget;

namespace tessaro {

// Makes `dialog` a modeless dialog window owned by `owner`'s window (the
// owner relation the window manager sees: transient-for) that is deleted
// when it closes. `ok` becomes the default button (Enter); `cancel`, when
// given, calls the dialog's reject(), which Escape and the frame's close box
// call too. Call it once, in the dialog's constructor, before it is shown.
void MakeOwnedDialog(QDialog* dialog, QWidget* owner, QPushButton* ok, QPushButton* cancel);

// Puts a window's frame (title bar included) at the top left corner of the
// available screen: the frame, not the contents, so that the title bar is on
// the screen under a window manager. Call it once the window is shown.
void PlaceFrameAtScreenCorner(QWidget* window);

}  // namespace tessaro
