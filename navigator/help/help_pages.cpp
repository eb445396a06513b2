#include "help/help_pages.h"

#include <algorithm>

namespace tessaro::help {

namespace {

// Pages leave room for a picture of 400 x 250 pixels and a few lines of text.
constexpr int kHelp1PageTwips = 8000;
constexpr int kHelp2PageTwips = 7200;

HelpLayout MakeHelp1()
{
    HelpLayout l;
    l.title = "設定手順";
    l.header = "プログラム説明";
    l.leftTwips = 3000;
    l.topTwips = 0;
    l.widthTwips = 6705;
    l.heightTwips = 5300;
    const char* captions[] = {"①Tessaroソフトの概要", "②メニューの説明", "③GPS関係設定",
                              "④画面左の機能ボタン１", "⑤画面左の機能ボタン２", "⑥外部GPSとの接続",
                              "⑦記録データの表示", "⑧記録データ時間と距離計測"};
    for (const char* c : captions) l.steps.push_back({c, c, kHelp1PageTwips});
    // The menus take a longer text.
    l.steps[1].pageHeightTwips = kHelp1PageTwips + 800;
    l.steps.push_back({"⑨終了", "", 0});
    return l;
}

HelpLayout MakeHelp2()
{
    HelpLayout l;
    l.title = "設定手順";
    l.header = "画像記録手順";
    l.leftTwips = 3000;
    l.topTwips = 0;
    l.widthTwips = 6600;
    l.heightTwips = 4230;
    const char* captions[] = {"①GoogleEarthを起動します。", "②GoogleEarthの表示調整", "③GoogleEarth画像の保存",
                              "④GoogleEarthファイルの設定", "⑤変換ミスデータの修正", "⑥サンプルデータの処理"};
    for (const char* c : captions) l.steps.push_back({c, c, kHelp2PageTwips});
    // The first page is headed by the program's name rather than a sentence.
    l.steps[0].pageHeader = "①GoogleEarthの起動と設定";
    l.steps.push_back({"⑦終了", "", 0});
    return l;
}

}  // namespace

const HelpLayout& Help1Layout()
{
    static const HelpLayout layout = MakeHelp1();
    return layout;
}

const HelpLayout& Help2Layout()
{
    static const HelpLayout layout = MakeHelp2();
    return layout;
}

void HelpPages::Open()
{
    stack_.clear();
    heightTwips_ = layout_.heightTwips;
}

bool HelpPages::IsVisible(int index) const
{
    return std::find(stack_.begin(), stack_.end(), index) != stack_.end();
}

StepResult HelpPages::StepButton(int index)
{
    if (index < 0 || index >= static_cast<int>(layout_.steps.size())) return StepResult::Ignored;
    if (layout_.steps[static_cast<std::size_t>(index)].pageHeightTwips == 0) return StepResult::CloseWindow;
    stack_.erase(std::remove(stack_.begin(), stack_.end(), index), stack_.end());
    stack_.push_back(index);
    FitToTop();
    return StepResult::ShowPage;
}

void HelpPages::ClosePage(int index)
{
    stack_.erase(std::remove(stack_.begin(), stack_.end(), index), stack_.end());
    FitToTop();
}

void HelpPages::FitToTop()
{
    heightTwips_ = stack_.empty()
                       ? layout_.heightTwips
                       : layout_.steps[static_cast<std::size_t>(stack_.back())].pageHeightTwips + kPageMarginTwips;
}

}  // namespace tessaro::help
