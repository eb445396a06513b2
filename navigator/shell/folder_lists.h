// The place, folder and file lists of the windows that pick files from the
// disk: a thin form over shell/folder_browser.h. The place list moves the
// folder list to the place; a double click on a folder (or "..") opens it;
// the file list shows the folder's files that match the pattern.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shell/folder_browser.h"

class QComboBox;
class QListWidget;
class QWidget;

namespace tessaro {

class FolderLists {
public:
    FolderLists(QWidget* parent, const std::string& home, const std::string& programFolder,
                const std::string& startFolder, const std::string& pattern);

    QComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QListWidget* File1 = nullptr;

    const std::string& Folder() const { return folder_; }
    // Shows `folder` (and selects its place); false, and nothing changed,
    // when it cannot be read.
    bool SetFolder(const std::string& folder);
    void SetPattern(const std::string& pattern);

    // The folder shown changed.
    std::function<void()> onFolderChanged;
    // A file of the file list was clicked: its full path.
    std::function<void(const std::string&)> onFileClicked;
    // A place that cannot be read was chosen.
    std::function<void()> onNotReady;

private:
    void Refresh();

    std::vector<Place> places_;
    std::string folder_;
    std::string pattern_;
    bool filling_ = false;
};

}  // namespace tessaro
