// SPDX-License-Identifier: GPL-3.0-or-later
// The welcome text of the main window's memo, twenty lines, shown from every start.
#pragma once

namespace nimbo {

inline constexpr const char* kWelcomeText[] = {
    "デジタルラジオゾンデ信号解析ソフト　ＮＩＭＢＯ　１．０．０　ビルド００３",
    "",
    "周 波 数：下記参照（詳細は無線局検索にて「気象援助局」で検索）",
    "送信電波：１０Ｋ０Ｆ１Ｄ／８０ｍＷ",
    "機器名称：ヴァイサラ　ＲＳ９２－ＳＧＰＪ",
    "観測時間：９時および２１時（放球は３０分前）",
    "",
    "－気象庁　各観測所周波数一覧－",
    "　　　　　　　～2010年 6月現在",
    " 札幌……… 405.2 / 405.5 MHz",
    " 釧路……… 405.4 / 405.7 MHz",
    " 稚内……… 405.3 / 405.6 MHz",
    " 秋田……… 405.3 /*405.6 MHz",
    " つくば……*405.7 / 405.4 MHz",
    " 輪島……… 405.2 /*405.5 MHz",
    " 串本……… 405.3 / 405.6 MHz",
    " 松江……… 405.7 / 405.4 MHz",
    " 福岡………*405.2 / 405.6 MHz",
    " 鹿児島…… 405.7 / 405.5 MHz",
    "          （*印は主要波を示す）",
};

} // namespace nimbo
