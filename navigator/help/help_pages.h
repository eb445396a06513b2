// The layout and page stacking of the two help windows, free of widgets.
//
// Each window has a column of step buttons; button i shows page i at the top
// left corner of the window and sizes the window to that page. Pages shown
// before stay open underneath until their close button is pressed. The last
// button closes the window. Sizes and positions are in twips (15 to a pixel)
// and are those of the outer frame.
#pragma once

#include <string>
#include <vector>

namespace tessaro::help {

constexpr int TwipsToPixels(int twips) { return twips / 15; }

// The window's height is the page's height plus this margin.
constexpr int kPageMarginTwips = 200;

struct HelpStep {
    std::string caption;     // step button
    std::string pageHeader;  // header label of its page
    int pageHeightTwips = 0; // 0: the button closes the window
    std::string text;        // instruction text of the page (UTF-8)
    std::string picture;     // picture file in the help folder, or empty
};

struct HelpLayout {
    std::string title;   // window title
    std::string header;  // header label above the buttons
    int leftTwips = 0, topTwips = 0, widthTwips = 0, heightTwips = 0;
    std::vector<HelpStep> steps;
};

// "プログラム説明": the navigator, opened from the main window's menu.
const HelpLayout& Help1Layout();
// "画像記録手順": preparing the screenshots, opened from the builder.
const HelpLayout& Help2Layout();

enum class StepResult { ShowPage, CloseWindow, Ignored };

class HelpPages {
public:
    explicit HelpPages(const HelpLayout& layout) : layout_(layout) { Open(); }

    // All pages hidden, the window at its opening size.
    void Open();
    // Step button `index`: the page comes to the top (also when it was open
    // already) and the window takes its height; the last button asks to close.
    StepResult StepButton(int index);
    // Close button of page `index`: the page goes, the window takes the height
    // of the page now on top, or its opening height when none is left.
    void ClosePage(int index);

    // Open pages from bottom to top.
    const std::vector<int>& Stack() const { return stack_; }
    int TopPage() const { return stack_.empty() ? -1 : stack_.back(); }
    bool IsVisible(int index) const;
    int WidthTwips() const { return layout_.widthTwips; }
    int HeightTwips() const { return heightTwips_; }
    const HelpLayout& Layout() const { return layout_; }

private:
    void FitToTop();

    const HelpLayout& layout_;
    std::vector<int> stack_;
    int heightTwips_ = 0;
};

}  // namespace tessaro::help
