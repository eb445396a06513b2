#include "help/help_pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaro::help {
namespace {

TEST(HelpLayout, CaptionsAndSizes)
{
    const HelpLayout& one = Help1Layout();
    EXPECT_EQ(one.title, "設定手順");
    EXPECT_EQ(one.header, "プログラム説明");
    EXPECT_EQ(one.steps.size(), 9u);
    EXPECT_EQ(one.steps.front().caption, "①Tessaroソフトの概要");
    EXPECT_EQ(one.steps.back().caption, "⑨終了");
    EXPECT_EQ(TwipsToPixels(one.leftTwips), 200);
    EXPECT_EQ(TwipsToPixels(one.widthTwips), 447);
    EXPECT_EQ(TwipsToPixels(one.heightTwips), 353);

    const HelpLayout& two = Help2Layout();
    EXPECT_EQ(two.header, "画像記録手順");
    EXPECT_EQ(two.steps.size(), 7u);
    EXPECT_EQ(two.steps[5].caption, "⑥サンプルデータの処理");
    EXPECT_EQ(two.steps.back().caption, "⑦終了");
    EXPECT_EQ(two.heightTwips, 4230);

    // Every window, with its tallest page, fits a 1024 x 768 screen.
    for (const HelpLayout* l : {&one, &two})
        for (const HelpStep& s : l->steps) {
            EXPECT_LE(TwipsToPixels(l->leftTwips + l->widthTwips), 1024);
            EXPECT_LE(TwipsToPixels(l->topTwips + s.pageHeightTwips + kPageMarginTwips), 768) << s.caption;
        }
}

// A sequence of presses (step buttons and close buttons)
// with the open pages and the window height after it.
struct Press {
    bool close;
    int index;
};
struct StackCase {
    const char* name;
    std::vector<Press> presses;
    std::vector<int> stack;
    int heightTwips;
};

TEST(HelpPages, StackingAndHeights)
{
    const HelpLayout& l = Help1Layout();
    const int page0 = l.steps[0].pageHeightTwips + kPageMarginTwips;
    const int page1 = l.steps[1].pageHeightTwips + kPageMarginTwips;
    ASSERT_NE(page0, page1);
    const StackCase cases[] = {
        {"opening", {}, {}, 5300},
        {"one page", {{false, 0}}, {0}, page0},
        {"two pages, the last on top", {{false, 0}, {false, 1}}, {0, 1}, page1},
        {"an open page comes back to the top", {{false, 0}, {false, 1}, {false, 0}}, {1, 0}, page0},
        {"closing the top shows the one below", {{false, 0}, {false, 1}, {true, 1}}, {0}, page0},
        {"closing one underneath keeps the top", {{false, 1}, {false, 0}, {true, 1}}, {0}, page0},
        {"closing all returns to the opening size", {{false, 1}, {false, 0}, {true, 0}, {true, 1}}, {}, 5300},
        {"closing a hidden page changes nothing", {{false, 1}, {true, 4}}, {1}, page1},
    };
    for (const StackCase& c : cases) {
        HelpPages pages(l);
        for (const Press& p : c.presses) {
            if (p.close) pages.ClosePage(p.index);
            else EXPECT_EQ(pages.StepButton(p.index), StepResult::ShowPage) << c.name;
        }
        EXPECT_EQ(pages.Stack(), c.stack) << c.name;
        EXPECT_EQ(pages.HeightTwips(), c.heightTwips) << c.name;
        EXPECT_EQ(pages.WidthTwips(), 6705) << c.name;
    }
}

TEST(HelpPages, LastButtonClosesAndOpenResets)
{
    HelpPages pages(Help2Layout());
    EXPECT_EQ(pages.StepButton(2), StepResult::ShowPage);
    EXPECT_EQ(pages.StepButton(6), StepResult::CloseWindow);
    EXPECT_EQ(pages.StepButton(7), StepResult::Ignored);
    EXPECT_EQ(pages.StepButton(-1), StepResult::Ignored);
    EXPECT_EQ(pages.Stack(), std::vector<int>{2});
    pages.Open();
    EXPECT_TRUE(pages.Stack().empty());
    EXPECT_EQ(pages.HeightTwips(), 4230);
}

}  // namespace
}  // namespace tessaro::help
