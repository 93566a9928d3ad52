// The shipped name tables, built from the person names of the mecab-ipadic dictionary
// (Noun.name.csv, EUC-JP: surface, left id, right id, cost, 名詞, 固有名詞, 人名, 姓|名, *, *,
// base form, reading in katakana, pronunciation).
//
// Kept: names written in kanji only (々 included, but not first), readings that turn into pure
// hiragana (ヴ, ー and the like do not), surnames of 1-4 characters, readings of 1-7 characters
// (14 bytes, the surname reading field's width; the same cap is used for given names), every
// text in code page 932, each (kanji, reading) pair once.
//
// The generator steps both tables one record per name, and each table's last record is used twice
// per pass, so the pair period is lcm(S + 1, G + 1). The counts are chosen so that
// gcd(S + 1, G + 1) = 1 and (S + 1)(G + 1) >= kLongestRun: the longest run never repeats a pair.
// Candidates are dropped only as far as the gcd condition needs it. Records are put in a fixed
// pseudo-random order (splitmix64 and Fisher-Yates, seeded with constants), so the files rebuild
// byte for byte.
#pragma once

#include "cds.h"

#include <cstdint>
#include <string_view>

namespace hg::tools {

inline constexpr std::uint64_t kLongestRun = 59124873;

struct IpadicTables {
    cds::Table sei; // 姓 (string 8), 姓よみ (string 14), SEED1..SEED3 (int32)
    cds::Table mei; // 名, 名よみ (strings; width 8 and 14, or the longest value if wider)
    std::size_t surnameCandidates = 0;
    std::size_t givenCandidates = 0;
};

// Throws std::runtime_error for input that does not look like Noun.name.csv or holds too few names.
IpadicTables BuildIpadicTables(std::string_view nounNameCsv);

} // namespace hg::tools
