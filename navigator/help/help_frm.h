// The two help windows: a column of step buttons and one page per step.
#pragma once

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

#include "help/help_pages.h"

class QFrame;
class QLabel;
class QPushButton;

namespace tessaro::help {

class HelpFrm : public QWidget {
    Q_OBJECT
public:
    // A modeless window owned by `owner`; pictures are read from
    // `pictureFolder` (a missing picture leaves its place empty).
    HelpFrm(const HelpLayout& layout, std::string pictureFolder, QWidget* owner);

    // Step button `index` as if clicked: shows its page or closes the window.
    void DispManualCmd_Click(int index);
    // Close button of page `index`.
    void CloseCmd_Click(int index);

    const HelpPages& Pages() const { return pages_; }
    QLabel* HeaderLbl = nullptr;
    std::vector<QPushButton*> DispManualCmd;
    std::vector<QFrame*> ManuPic;
    std::vector<QPushButton*> CloseCmd;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ApplyPages();
    void ApplySize();

    HelpPages pages_;
};

// The navigator's help ("プログラム説明").
class Help1Frm : public HelpFrm {
    Q_OBJECT
public:
    Help1Frm(std::string pictureFolder, QWidget* owner) : HelpFrm(Help1Layout(), std::move(pictureFolder), owner) {}
};

// The map library builder's help ("画像記録手順").
class Help2Frm : public HelpFrm {
    Q_OBJECT
public:
    Help2Frm(std::string pictureFolder, QWidget* owner) : HelpFrm(Help2Layout(), std::move(pictureFolder), owner) {}
};

// Opens the window kept in `slot`, or brings it to the front when it is open
// already. The window deletes itself when closed.
template <typename Frm>
Frm* OpenHelp(QPointer<Frm>& slot, const std::string& pictureFolder, QWidget* owner)
{
    if (!slot) {
        slot = new Frm(pictureFolder, owner);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

}  // namespace tessaro::help
