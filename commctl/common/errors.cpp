#include "errors.h"

namespace tolvex {

namespace {
struct ErrorEntry {
    int number;
    const char* text;
};

constexpr ErrorEntry kErrors[] = {
    {kErrInvalidPropertyValue, "設定されたプロパティ値は無効です"},
    {kErrPropertyArrayIndex, "プロパティ配列のインデックスが無効です"},
    {kErrSetNotSupported, "このプロパティは設定できません"},
    {kErrGetNotSupported, "このプロパティは取得できません"},
    {kErrPortAlreadyOpenOp, "既にオープンされているポートに対してこの操作はできません"},
    {kErrTimeoutValue, "Timeout値は 0 より大きい数字でなければいけません"},
    {kErrInvalidPort, "無効なポート番号です"},
    {kErrRunTimeOnly, "実行時専用プロパティです"},
    {kErrPortAlreadyOpen, "既にポートはオープンされています"},
    {kErrDeviceId, "デバイスＩＤは無効かサポートされていません"},
    {kErrBaudRate, "デバイスのボーレートをサポートしません"},
    {kErrByteSize, "指定されたバイトサイズは無効です"},
    {kErrParameter, "パラメータ値は不正です"},
    {kErrHardware, "ハードウェアの使用はできません"},
    {kErrQueue, "キューを確保することができません"},
    {kErrPortNotOpen, "デバイスはオープンされていません"},
    {kErrDeviceInUse, "既にデバイスは使用されています"},
    {kErrCommNotification, "Comm notification は無効です"},
    {kErrSetCommState, "Commステータスを設定することができません。パラメータ値が無効かもしれません"},
    {kErrEventMask, "Comm event mask を設定することができません"},
    {kErrPortMustBeOpen, "当操作はポートがオープンされている時のみ有効です"},
    {kErrDeviceBusy, "デバイスが現在使用中です"},
    {kErrRead, "Commデバイスの読み取り時にエラーが発生しました"},
    {kErrFunctionInvalid, "当機能は無効です"},
};
}  // namespace

std::string_view ErrorText(int number)
{
    for (const auto& e : kErrors)
        if (e.number == number) return e.text;
    return {};
}

ControlError::ControlError(int number) : ControlError(number, std::string(ErrorText(number))) {}

ControlError::ControlError(int number, const std::string& description)
    : std::runtime_error(description), number_(number)
{
}

}  // namespace tolvex
