#pragma once
#include <utility>

// Typical contents of the fourteen fields (UTF-8): with the labels they make
// about 250 bytes of QR text in Shift-JIS. The pixel tests and the benchmarks
// use the same card.
inline constexpr std::pair<const char *, const char *> kRealisticTexts[] = {
    {"eName", "山田 太郎"},
    {"eFuri", "やまだ たろう"},
    {"eCorp", "株式会社プラクロ商事"},
    {"eBusho", "第二営業部"},
    {"eYaku", "課長"},
    {"ePostNo", "150-0002"},
    {"eAddress", "東京都渋谷区渋谷2-21-1"},
    {"eTel", "03-1234-5678"},
    {"eMobile", "090-1234-5678"},
    {"eFax", "03-1234-5679"},
    {"eURL", "www.plakuro.example.jp"},
    {"eMail", "yamada@plakuro.example.jp"},
    {"eMemo1", "営業時間 9:00-18:00 (土日祝休)"},
    {"eMemo2", "Sales Manager, Plakuro Trading"},
};
