#include "transfer/messages.h"

#include <cstdio>
#include <iterator>

namespace tolvex::transfer {

namespace {

struct Text {
    int number;
    const char* text;
};

const Text kTexts[] = {
    {2000, "ファイルオープンエラー エラーコード%d"},
    {2001, "タイムアウトエラー（リモートからの反応はありません）"},
    {2003, "ファイル転送終了"},
    {2004, "タイムアウトエラー（ACKが受信されません）"},
    {2005, "リモートからエラーが発生しました"},
    {2006, "リモートが送信プロセスを中止しました"},
    {2007, "リモートから不明な通知がありました"},
    {2008, "エラーが過多数発生しました"},
    {2009, "不明な Zmodemエラーが発生しました"},
    {2010, "不正な Zmodemヘッダデータ"},
    {2011, "CRC エラー"},
    {2012, "キャリアが失われました"},
    {2020, "転送失敗"},
    {2021, "転送終了"},
    {2022, "次のファイルの受信待ち"},
    {2023, "ファイルの準備中"},
    {2024, "転送開始"},
    {2025, "ファイル転送中"},
    {2026, "ファイルがスキップされました"},
    {2027, "転送処理が中断されました"},
    {2028, "ファイル転送終了"},
    {2029, "キャリアが失われました"},
    {2030, "タイムアウト"},
    {2031, "シーケンスにデータがありません－転送中止"},
    {2032, "重複ブロックが受信されました"},
};

const char* const kUploadTitles[] = {
    "XModem Checksum Upload", "XModem-CRC Upload", "XModem-1K Upload",
    "YModem Batch Upload",    "YModem-G Batch Upload", "ZModem Upload",
    "Kermit Upload",          "CompuServe B+ Upload",  "Nifty-Serve B+ Upload",
};
const char* const kDownloadTitles[] = {
    "Xmodem Checksum Download", "XModem-CRC Download",     "XModem-1K Download",
    "YModem Batch Download",    "YModem-G Batch Download", "ZModem Download",
    "Kermit Download",          "CompuServe B+ Download",  "Nifty-Serve B+ Download",
};

}  // namespace

std::string MessageText(int number, int cause)
{
    for (const Text& t : kTexts) {
        if (t.number != number)
            continue;
        if (number != 2000)
            return t.text;
        char buf[128];
        std::snprintf(buf, sizeof buf, t.text, cause);
        return buf;
    }
    return {};
}

std::string StatusWindowTitle(int protocol, bool upload)
{
    if (protocol < 0 || protocol >= static_cast<int>(std::size(kUploadTitles)))
        return {};
    return upload ? kUploadTitles[protocol] : kDownloadTitles[protocol];
}

}  // namespace tolvex::transfer
