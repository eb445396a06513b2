// The control's property sheet on Qt: one tab per page in the order the
// control lists them, each field a thin widget over the PropertyPageSet
// (property_pages.h) that holds the values and does the work.
//
//   PropertySheet sheet(*control, profile::ProfilePath());
//   sheet.exec();   // OK applies the changed fields, 適用 too, キャンセル nothing
#pragma once

#include "property_pages.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

class QAbstractButton;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tolvex::control {

class PropertySheet : public QDialog {
public:
    // Loads the pages from the control.
    PropertySheet(com::IControl& control, std::filesystem::path profile, QWidget* parent = nullptr);

    PropertyPageSet& pages() { return pages_; }
    QTabWidget* tabs() const { return tabs_; }
    // The widget of a field (QLineEdit, QComboBox or QCheckBox); null for
    // hidden fields.
    QWidget* FieldWidget(std::string_view name) const;
    // The emulation page's buttons "保存", "ﾘｾｯﾄ", "About" and the sheet's
    // "適用".
    QPushButton* SaveButton() const { return save_; }
    QPushButton* ResetButton() const { return reset_; }
    QPushButton* AboutButton() const { return about_; }
    QPushButton* ApplyButton() const { return apply_; }

    // Sets the changed fields on the control; false when a field does not
    // convert or the control refuses a value (told, the field shown).
    bool Apply();
    // The widgets read the fields again.
    void Refresh();

    // How refusals reach the user; default: a modal message box with OK.
    std::function<void(const QString& text)> tell;

    void accept() override;

private:
    struct Bound {
        std::size_t field;
        QWidget* widget;
        int tab;
    };

    QWidget* MakePage(PageId page);
    QWidget* MakeField(std::size_t field);
    void Refused(const Refusal& refusal);
    void Edited();
    void UpdatePortDevice();

    PropertyPageSet pages_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* about_ = nullptr;
    QPushButton* apply_ = nullptr;
    QLabel* portDevice_ = nullptr;
    QLabel* fontSample_ = nullptr;
    std::vector<Bound> bound_;
};

// Saves a picture of every page of the sheet into `folder` as
// property-page-emulation.png, -font, -general, -advanced and -transfer;
// the files written.
std::vector<std::filesystem::path> SavePagePictures(PropertySheet& sheet, const std::filesystem::path& folder);

}  // namespace tolvex::control
