// The control's property pages on Qt: each page a thin widget over the
// PropertyPageSet (property_pages.h) that holds the values of all pages and
// does the work, and the property sheet that shows the five pages in the
// order the control lists them.
//
//   PropertySheet sheet(*control, profile::ProfilePath());
//   sheet.exec();   // OK applies the changed fields, 適用 too, キャンセル nothing
//
// The pages a host's designer makes one by one through the library's page
// classes (MakePropertyPage) share one set per control while any of them
// lives, as the pages of one sheet do.
#pragma once

#include "property_pages.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;

namespace tolvex::control {

class PageWidget;

// The values of one sheet and the page widgets that show them.
struct SharedPages {
    SharedPages(com::IControl& control, std::filesystem::path profile);

    PropertyPageSet set;
    std::vector<QPointer<PageWidget>> widgets;
    // How refusals reach the user; default: a modal message box with OK.
    std::function<void(const QString& text)> tell;

    // Every page widget reads the fields again.
    void Refresh();
    // Applies the changed fields; a refusal is told and its field shown.
    bool Apply();
    void Refused(const Refusal& refusal);
};

// One page: its fields as widgets, and on the emulation page the buttons
// "保存", "ﾘｾｯﾄ" and "About".
class PageWidget : public QWidget {
public:
    PageWidget(std::shared_ptr<SharedPages> shared, PageId page, QWidget* parent = nullptr);

    PageId page() const { return page_; }
    QWidget* FieldWidget(std::size_t field) const;
    bool Shows(std::size_t field) const { return FieldWidget(field) != nullptr; }
    // A field of this page changed; on the emulation page, any field (its
    // hidden copies are the other pages' values).
    bool IsPageDirty() const;
    void Refresh();

    QPushButton* SaveButton() const { return save_; }
    QPushButton* ResetButton() const { return reset_; }
    QPushButton* AboutButton() const { return about_; }

    // Called after every edit (the sheet enables 適用).
    std::function<void()> onEdited;

private:
    struct Bound {
        std::size_t field;
        QWidget* widget;
    };
    QWidget* MakeField(std::size_t field);
    void Edited();
    void UpdateExtras();

    std::shared_ptr<SharedPages> shared_;
    PageId page_;
    std::vector<Bound> bound_;
    QPushButton* save_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* about_ = nullptr;
    QLabel* portDevice_ = nullptr;
    QLabel* fontSample_ = nullptr;
};

class PropertySheet : public QDialog {
public:
    // Loads the pages from the control.
    PropertySheet(com::IControl& control, std::filesystem::path profile, QWidget* parent = nullptr);

    PropertyPageSet& pages() { return shared_->set; }
    QTabWidget* tabs() const { return tabs_; }
    PageWidget* Page(PageId page) const;
    // The widget of a field (QLineEdit, QComboBox or QCheckBox); null for
    // hidden fields.
    QWidget* FieldWidget(std::string_view name) const;
    // The emulation page's buttons "保存", "ﾘｾｯﾄ", "About" and the sheet's
    // "適用".
    QPushButton* SaveButton() const;
    QPushButton* ResetButton() const;
    QPushButton* AboutButton() const;
    QPushButton* ApplyButton() const { return apply_; }

    // Sets the changed fields on the control; false when a field does not
    // convert or the control refuses a value (told, the field shown).
    bool Apply();
    void Refresh() { shared_->Refresh(); }

    // How refusals reach the user; default: a modal message box with OK.
    std::function<void(const QString& text)>& tell() { return shared_->tell; }

    void accept() override;

private:
    std::shared_ptr<SharedPages> shared_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
    std::vector<PageWidget*> pages_;
};

// The pages of the control's own page classes (com::kPageClasses), for the
// library's class factories: made for `control`, sharing the values of the
// other pages alive for it. kClassNotAvailable for any other class.
com::Status MakePropertyPage(const char* clsid, com::IControl* control, com::IPropertyPage** page);

// Saves a picture of every page of the sheet into `folder` as
// property-page-emulation.png, -font, -general, -advanced and -transfer;
// the files written.
std::vector<std::filesystem::path> SavePagePictures(PropertySheet& sheet, const std::filesystem::path& folder);

}  // namespace tolvex::control
