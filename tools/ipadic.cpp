#include "ipadic.h"

#include "cp932.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hg::tools {

namespace {

// EUC-JP to code page 932. JIS X 0208 characters map arithmetically, half-width katakana
// (8E xx) become xx; JIS X 0212 (8F xx xx) has no code page 932 form.
std::optional<std::string> EucJpToCp932(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        if (i + 1 >= s.size())
            return std::nullopt;
        const unsigned d = static_cast<unsigned char>(s[i + 1]);
        if (c == 0x8E && d >= 0xA1 && d <= 0xDF) {
            out += char(d);
        } else if (c >= 0xA1 && c <= 0xFE && d >= 0xA1 && d <= 0xFE) {
            const unsigned j1 = c - 0x80, j2 = d - 0x80;
            const unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
            const unsigned s2 = j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E);
            out += char(s1);
            out += char(s2);
        } else {
            return std::nullopt;
        }
        ++i;
    }
    return out;
}

std::string Utf8(std::u32string_view cps)
{
    std::string out;
    for (char32_t cp : cps) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

constexpr char32_t kRepeatMark = 0x3005; // 々

bool IsKanji(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF);
}

// Kanji only; 々 repeats the character before it, so it cannot come first.
bool IsKanjiName(std::u32string_view name)
{
    if (name.empty() || name[0] == kRepeatMark)
        return false;
    return std::all_of(name.begin(), name.end(), [](char32_t c) { return IsKanji(c) || c == kRepeatMark; });
}

// Katakana to hiragana (ァ-ン to ぁ-ん). Nothing unless every character ends up in ぁ-ん, the
// hiragana code page 932 has: ヴ ヵ ヶ (ゔ ゕ ゖ), ー, ・ and anything else leave the name out.
std::optional<std::u32string> Hiragana(std::u32string_view katakana)
{
    std::u32string out;
    for (char32_t c : katakana) {
        if (c < 0x30A1 || c > 0x30F3)
            return std::nullopt;
        out += char32_t(c - 0x60);
    }
    return out;
}

struct Name {
    std::string kanji;   // code page 932
    std::string reading; // code page 932
    auto operator<=>(const Name&) const = default;
};

struct Lists {
    std::vector<Name> surnames, givenNames;
};

constexpr std::size_t kSurnameChars = 4;
constexpr std::size_t kReadingChars = 7;

Lists ReadCandidates(std::string_view csv)
{
    const std::string& noun = HG_SJIS("名詞");
    const std::string& proper = HG_SJIS("固有名詞");
    const std::string& person = HG_SJIS("人名");
    const std::string& surname = HG_SJIS("姓");
    const std::string& given = HG_SJIS("名");
    Lists lists;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < csv.size();) {
        std::size_t end = csv.find('\n', start);
        if (end == std::string_view::npos)
            end = csv.size();
        std::string_view line = csv.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        std::vector<std::string_view> cols;
        for (std::size_t p = 0;;) {
            const std::size_t comma = line.find(',', p);
            cols.push_back(line.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p));
            if (comma == std::string_view::npos)
                break;
            p = comma + 1;
        }
        if (cols.size() < 12)
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + std::to_string(cols.size()) +
                                     " columns; Noun.name.csv has 13");
        auto col = [&](std::size_t i) { return EucJpToCp932(cols[i]).value_or(std::string()); };
        if (col(4) != noun || col(5) != proper || col(6) != person)
            continue;
        const std::string kind = col(7);
        const bool isSurname = kind == surname;
        if (!isSurname && kind != given)
            continue;

        const std::optional<std::string> kanji = EucJpToCp932(cols[0]);
        const std::optional<std::string> kanjiUtf8 = kanji ? cp932::TryToUtf8(*kanji) : std::nullopt;
        const std::optional<std::string> katakana = EucJpToCp932(cols[11]);
        const std::optional<std::string> katakanaUtf8 = katakana ? cp932::TryToUtf8(*katakana) : std::nullopt;
        if (!kanjiUtf8 || !katakanaUtf8)
            continue;
        const std::u32string kanjiChars = cp932::Utf8CodePoints(*kanjiUtf8);
        if (!IsKanjiName(kanjiChars) || (isSurname && kanjiChars.size() > kSurnameChars))
            continue;
        const std::optional<std::u32string> hiragana = Hiragana(cp932::Utf8CodePoints(*katakanaUtf8));
        if (!hiragana || hiragana->empty() || hiragana->size() > kReadingChars)
            continue;
        std::optional<std::string> reading = cp932::TryFromUtf8(Utf8(*hiragana));
        if (!reading)
            continue;
        (isSurname ? lists.surnames : lists.givenNames).push_back({*kanji, *std::move(reading)});
    }
    for (std::vector<Name>* names : {&lists.surnames, &lists.givenNames}) {
        std::sort(names->begin(), names->end());
        names->erase(std::unique(names->begin(), names->end()), names->end());
    }
    return lists;
}

// splitmix64: small, fast and the same everywhere, unlike the distributions of the standard library.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound), bound >= 1, without modulo bias.
    std::uint64_t Below(std::uint64_t bound)
    {
        const std::uint64_t threshold = (0 - bound) % bound;
        for (;;) {
            const std::uint64_t r = Next();
            if (r >= threshold)
                return r % bound;
        }
    }

private:
    std::uint64_t state_;
};

void Shuffle(std::vector<Name>& names, std::uint64_t seed)
{
    SplitMix64 random(seed);
    for (std::size_t i = names.size(); i > 1; --i)
        std::swap(names[i - 1], names[std::size_t(random.Below(i))]);
}

// The largest counts S <= s0, G <= g0 with gcd(S + 1, G + 1) = 1 and (S + 1)(G + 1) >= kLongestRun,
// dropping as few names as possible in all; given names go first when there is a choice.
std::pair<std::size_t, std::size_t> ChooseCounts(std::size_t s0, std::size_t g0)
{
    for (std::size_t dropped = 0; dropped < s0 + g0; ++dropped) {
        bool reachable = false;
        for (std::size_t ds = 0; ds <= std::min(dropped, s0 - 1); ++ds) {
            const std::size_t dg = dropped - ds;
            if (dg >= g0)
                continue;
            const std::uint64_t s = s0 - ds + 1, g = g0 - dg + 1;
            if (s * g < kLongestRun)
                continue;
            reachable = true;
            if (std::gcd(s, g) == 1)
                return {s0 - ds, g0 - dg};
        }
        if (!reachable)
            break;
    }
    throw std::runtime_error(std::to_string(s0) + " surnames and " + std::to_string(g0) +
                             " given names cannot make " + std::to_string(kLongestRun) + " names without a repeated pair");
}

cds::FieldDef Field(const std::string& name, cds::FieldKind kind, std::int32_t width)
{
    cds::FieldDef f;
    f.name = name;
    f.kind = kind;
    f.width = width;
    return f;
}

std::int32_t WidthFor(const std::vector<Name>& names, std::string Name::*member, std::int32_t atLeast)
{
    std::size_t longest = 0;
    for (const Name& n : names)
        longest = std::max(longest, (n.*member).size());
    return std::max(atLeast, static_cast<std::int32_t>(longest));
}

constexpr std::uint64_t kSurnameSeed = 0x5345492E636473ull;  // "SEI.cds"
constexpr std::uint64_t kGivenNameSeed = 0x4D45492E636473ull; // "MEI.cds"

} // namespace

IpadicTables BuildIpadicTables(std::string_view csv)
{
    Lists lists = ReadCandidates(csv);
    IpadicTables tables;
    tables.surnameCandidates = lists.surnames.size();
    tables.givenCandidates = lists.givenNames.size();
    if (lists.surnames.empty() || lists.givenNames.empty())
        throw std::runtime_error("no surnames or no given names found: is this Noun.name.csv?");
    const auto [s, g] = ChooseCounts(lists.surnames.size(), lists.givenNames.size());

    Shuffle(lists.surnames, kSurnameSeed);
    lists.surnames.resize(s);
    Shuffle(lists.givenNames, kGivenNameSeed);
    lists.givenNames.resize(g);

    tables.sei.fields = {Field(HG_SJIS("姓"), cds::FieldKind::String, 8), Field(HG_SJIS("姓よみ"), cds::FieldKind::String, 14),
                         Field("SEED1", cds::FieldKind::Int32, 4), Field("SEED2", cds::FieldKind::Int32, 4),
                         Field("SEED3", cds::FieldKind::Int32, 4)};
    std::int32_t number = 0;
    for (Name& n : lists.surnames)
        tables.sei.rows.push_back({std::move(n.kanji), std::move(n.reading), std::to_string(++number), "0", "0"});

    tables.mei.fields = {Field(HG_SJIS("名"), cds::FieldKind::String, WidthFor(lists.givenNames, &Name::kanji, 8)),
                         Field(HG_SJIS("名よみ"), cds::FieldKind::String, WidthFor(lists.givenNames, &Name::reading, 14))};
    for (Name& n : lists.givenNames)
        tables.mei.rows.push_back({std::move(n.kanji), std::move(n.reading)});
    return tables;
}

} // namespace hg::tools
