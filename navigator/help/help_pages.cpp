#include "help/help_pages.h"

#include <algorithm>
#include <iterator>

namespace tessaro::help {

namespace {

// Pages leave room for a picture of 400 x 250 pixels and a few lines of text.
constexpr int kHelp1PageTwips = 8000;
constexpr int kHelp2PageTwips = 7200;

// Step texts of the navigator's help window, in button order.
const char* const kHelp1Texts[] = {
    "GPS受信機をつなぐと、GoogleEarthから保存した画面の画像の上に今いる場所を赤い印で示し、"
    "通った道を記録できます。画像はフォルダーに保存し、「マップ画像の設定」で位置を読み取って"
    "索引ファイル（MapFileData1.dat）を作ります。索引には１フォルダーに最大２０００画像まで"
    "入ります。画面の縮尺は４５段階で、画像のない所では座標の格子だけを描きます。",
    "「ファイル(&F)」の「GPGGAデータ(&G)」で受信機が記録したGGAのログを読み込んで表示し、"
    "「記録データ(&R)」でこのソフトが記録したデータを表示します。どちらも「終了(&E)」で表示を"
    "消します。「GPS設定(&G)」は測地系（平面直角座標の系）と受信機のポートを、"
    "「マップ画像の設定(&M)」は画像フォルダーの読み取りを設定します。記録した経路を右クリック"
    "すると、その点を記録した時刻を表示します。",
    "「GPS設定」で使う場所の系（１～１９系）を選び、受信機のポートNo.とスピードを選びます。"
    "ポートNo.はLinuxの装置に次の順で割り当てます：tolvexcomm.ini の「Ports」節"
    "（例 COM3=/dev/serial/by-id/…）、環境変数 TOLVEXCOMM_COM3、なければ /dev/ttyS2"
    "（Com n は /dev/ttyS(n-1)）。「接続されているシリアルデバイス」から選ぶと、その装置を"
    "ポートに割り当てます。/dev/serial/by-id/ の名前は差し直しても変わりません。",
    "「拡大」「縮小」で縮尺を１段ずつ変え、「上へシフト」「下へシフト」「左へシフト」"
    "「右へシフト」で表示を動かします。「表示画像」は画像どうしの位置関係を示し、"
    "「MKポイントデータ」は読み込んだログの印の点の一覧と点間距離・積算距離を示します。",
    "緯度・経度（度・分・秒）またはX・Yの値を入れて「入力緯度経度位置の表示」"
    "「入力座標位置の表示」を押すと、その場所に星印を付けます。「マウス位置の座標表示」を"
    "押すと、マウスの下の座標を表示します。「距離測定」を押して地図を順にクリックすると、"
    "点の間の距離を足していきます。",
    "受信機のデータはGGA文です（チェックサムの合わない文は捨てます）。「スタートGPS」で受信を"
    "始め、「記録開始」で位置の記録を始めます。記録間隔（秒）を決め、記録ファイル名は"
    "日付とその日の番号で「yyyymmdd_番号.dat」となります。受信機を読むには利用者が"
    "dialout グループに入っている必要があります（sudo adduser $USER dialout の後、"
    "ログインし直す）。「停止GPS」で受信を止めます。",
    "「記録データ(&R)」の「読込み表示(&D)」で記録ファイルの一覧を出します。ファイル名は日付と"
    "番号です。ファイル名をクリックして選び、「表示(&D)」を押すと経路を地図に描きます。"
    "「GPX書き出し(&X)」でGPXファイルにもできます。",
    "表示した記録データの上で右クリックすると、その点を記録した時刻を表示します。"
    "「距離測定」を押して２点以上をクリックすると、点の間の距離を合計して表示します。",
};
const char* const kHelp1Pictures[] = {"help1-overview.png", "help1-menus.png", "help1-gps-settings.png",
                                      "help1-buttons1.png",  "help1-buttons2.png", "help1-live.png",
                                      "help1-records.png",   "help1-measure.png"};

// Step texts of the builder's help window, in button order.
const char* const kHelp2Texts[] = {
    "GoogleEarthを起動し、保存の前に設定します。「ツール」→「オプション」→「ナビゲーション」で"
    "ズーム時の自動傾斜を切り、「地形」レイヤーを切って、表示の高度が地面からの高さになる"
    "ようにします。保存する画面は高度300mから1000mの範囲が適当です。"
    "1つのフォルダーには一定の高度の画像を保存してください。",
    "グリッドとコンパスを表示して、北が画面の真上になるように合わせ、合わせたらグリッドを"
    "消します。高度を決めた値に合わせます。",
    "「ファイル」→「保存」→「画像を保存」で、別々のファイル名で保存します。画面を縦と横に"
    "ずらしながら、地域を何枚かの画像で覆います。１つの地域を１つのフォルダーにし、"
    "１フォルダーには２０００画像まで入ります。",
    "「マップ画像の設定」で保存した画像のフォルダーを選ぶと、画面の下の行から緯度経度と"
    "高度を自動で読み取ります。読み違えた所はピンクで示し、「異状データあり」と知らせます。"
    "「データ位置関係」で画像の並びを見ると、ほかの読み違えも分かります。",
    "読み違えた値を直します。「データ位置関係」で外れた画像を探し、表の欄をダブルクリック"
    "して値を入れ、「Enter」を押します。画像から切り出した文字の絵が並んで出るので、"
    "見比べて入れてください。",
    "添付のサンプル画像を処理します。「サンプル(&S)」でそのフォルダーを選び、「処理(&S)」で"
    "読み取り、「データ位置関係」で並びを表示します。",
};
const char* const kHelp2Pictures[] = {"help2-options.png", "help2-grid.png",       "help2-save.png",
                                      "help2-builder.png", "help2-correction.png", "help2-sample.png"};

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
    for (std::size_t i = 0; i < std::size(captions); ++i)
        l.steps.push_back({captions[i], captions[i], kHelp1PageTwips, kHelp1Texts[i], kHelp1Pictures[i]});
    // The menus and the receiver take a longer text.
    l.steps[1].pageHeightTwips = kHelp1PageTwips + 800;
    l.steps[2].pageHeightTwips = kHelp1PageTwips + 800;
    l.steps[5].pageHeightTwips = kHelp1PageTwips + 800;
    l.steps.push_back({"⑨終了", "", 0, "", ""});
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
    for (std::size_t i = 0; i < std::size(captions); ++i)
        l.steps.push_back({captions[i], captions[i], kHelp2PageTwips, kHelp2Texts[i], kHelp2Pictures[i]});
    l.steps[0].pageHeader = "①GoogleEarthの起動と設定";
    l.steps.push_back({"⑦終了", "", 0, "", ""});
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
