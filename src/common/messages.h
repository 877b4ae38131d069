#pragma once
// The player's own texts, as Shift-JIS bytes.

#include <string_view>

namespace vrk::messages {

inline constexpr std::string_view kUnusedSlot =
    "\x96\xA2\x8Eg\x97p\x83t\x83@\x83"
    "C\x83\x8B\x82\xC5\x82\xB7\x81"
    "B";  // 未使用ファイルです。
inline constexpr std::string_view kSlotInUse =
    "\x8Eg\x97p\x92\x86\x82\xC5\x82\xB7\x81"
    "B";  // 使用中です。
inline constexpr std::string_view kUserDataUnwritable =
    "\x83\x86\x81[\x83U\x81[\x83"
    "f\x81[\x83^\x8F\x91\x8D\x9E\x82\xDD\x95s\x94\\";  // ユーザーデータ書込み不能
inline constexpr std::string_view kEnterName =
    "\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2";  // を入力して下さい
inline constexpr std::string_view kEraseConfirm =
    "\x8F\x89\x8A\xFA\x89\xBB("
    "OK\x82\xC8\x82\xE7\x82\xE0\x82\xA4\x88\xEA\x93x\x8F\xC1\x8B\x8E\x82\xF0\x89\x9F\x82\xB7)";  // 初期化(OKならもう一度消去を押す)
inline constexpr std::string_view kFullWidthSpace = "\x81@";       // 　
inline constexpr std::string_view kOpenCaption = "\x8AJ\x82\xAD";  // 開く
inline constexpr std::string_view kApplicationTitle =
    "VRK\x83u\x83\x89\x83"
    "E\x83U v3";  // VRKブラウザ v3

}  // namespace vrk::messages
