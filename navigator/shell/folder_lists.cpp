#include "shell/folder_lists.h"

#include <QComboBox>
#include <QListWidget>

namespace tessaro {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

FolderLists::FolderLists(QWidget* parent, const std::string& home, const std::string& programFolder,
                         const std::string& startFolder, const std::string& pattern)
    : places_(ListPlaces(home, programFolder)), pattern_(pattern)
{
    Drive1 = new QComboBox(parent);
    Dir1 = new QListWidget(parent);
    File1 = new QListWidget(parent);
    for (const Place& p : places_) Drive1->addItem(Q(p.label));
    QObject::connect(Drive1, &QComboBox::activated, Drive1, [this](int index) {
        if (filling_ || index < 0 || index >= static_cast<int>(places_.size())) return;
        if (!SetFolder(places_[static_cast<std::size_t>(index)].path)) {
            // Back to the place of the folder still shown.
            filling_ = true;
            Drive1->setCurrentIndex(PlaceOf(places_, folder_));
            filling_ = false;
            if (onNotReady) onNotReady();
        }
    });
    QObject::connect(Dir1, &QListWidget::itemDoubleClicked, Dir1, [this](QListWidgetItem* item) {
        const std::string name = item->text().toStdString();
        SetFolder(name == ".." ? ParentFolder(folder_) : JoinPath(folder_, name));
    });
    QObject::connect(File1, &QListWidget::itemClicked, File1, [this](QListWidgetItem* item) {
        if (onFileClicked) onFileClicked(JoinPath(folder_, item->text().toStdString()));
    });
    if (!SetFolder(startFolder)) SetFolder(home.empty() ? "/" : home);
}

bool FolderLists::SetFolder(const std::string& folder)
{
    if (!FolderIsReady(folder)) return false;
    folder_ = folder;
    Refresh();
    if (onFolderChanged) onFolderChanged();
    return true;
}

void FolderLists::SetPattern(const std::string& pattern)
{
    pattern_ = pattern;
    Refresh();
}

void FolderLists::Refresh()
{
    filling_ = true;
    Drive1->setCurrentIndex(PlaceOf(places_, folder_));
    Dir1->clear();
    if (folder_ != "/") Dir1->addItem(QStringLiteral(".."));
    for (const std::string& name : Subfolders(folder_)) Dir1->addItem(Q(name));
    File1->clear();
    for (const std::string& name : MatchingFiles(folder_, pattern_)) File1->addItem(Q(name));
    filling_ = false;
}

}  // namespace tessaro
