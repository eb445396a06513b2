// The pictures of the help pages, made by the program itself: its own
// windows on the sample data (main window, menus, settings dialog, tracking
// and recording, the record list, measuring, the builder and its viewer),
// and small diagrams of the screenshot source's menus and options.
//
// Every picture is kPictureWidth x kPictureHeight pixels, the room a help
// page leaves for it, and is saved under the name the help pages load
// (help_pages.cpp). The windows work on a scratch copy of the delivered
// program folder with fixed settings, a fixed clock, a private port profile
// and a replayed receiver, so the same build draws the same pictures.
#pragma once

#include <QImage>
#include <QString>

#include <string>
#include <vector>

namespace tessaro::app {

inline constexpr int kPictureWidth = 400;
inline constexpr int kPictureHeight = 250;

struct MadePicture {
    std::string name;  // file name (PNG)
    QImage image;
};

// Builds the windows on a scratch copy of `dataFolder` (the delivered
// program folder: data/ or an installed share/tessaro) and makes the
// pictures of both help windows, in page order. False with `error` set when
// a window or a picture could not be made.
bool MakeHelpPictures(const std::string& dataFolder, std::vector<MadePicture>& pictures, std::string& error);

// The two help windows with one page open, their pictures read from
// `pictureFolder`: "help-program.png" (page 1 of the program's help) and
// "help-builder.png" (page 4 of the builder's help).
std::vector<MadePicture> MakeHelpWindowShots(const std::string& pictureFolder);

// Saves each picture as PNG in `folder` (made when missing).
bool SavePictures(const std::vector<MadePicture>& pictures, const QString& folder, std::string& error);

}  // namespace tessaro::app
