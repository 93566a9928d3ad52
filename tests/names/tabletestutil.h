// Small in-memory tables for the name table and run tests.
#pragma once

#include "cds.h"
#include "cp932.h"
#include "random.h"

#include <deque>
#include <string>
#include <vector>

namespace hg::test {

inline cds::FieldDef StringField(const char* utf8Name)
{
    cds::FieldDef field;
    field.name = cp932::FromUtf8(utf8Name);
    field.kind = cds::FieldKind::String;
    field.width = 20;
    return field;
}

// A two-field table whose record i holds "<prefix>i" in both fields (kanji, reading).
inline cds::Table NumberedTable(const char* utf8Kanji, const char* utf8Reading, const std::string& prefix, int count)
{
    cds::Table table;
    table.fields = {StringField(utf8Kanji), StringField(utf8Reading)};
    for (int i = 0; i < count; ++i)
        table.rows.push_back({prefix + std::to_string(i), prefix + "y" + std::to_string(i)});
    return table;
}

inline cds::Table Surnames(int count) { return NumberedTable("姓", "姓よみ", "S", count); }
inline cds::Table GivenNames(int count) { return NumberedTable("名", "名よみ", "G", count); }

// Draws from a list given in advance; records what was asked.
class TScriptedRandom final : public TRandom {
public:
    explicit TScriptedRandom(std::deque<std::int32_t> draws) : draws_(std::move(draws)) {}
    void Randomize() override { ++seeded; }
    std::int32_t Random(std::int32_t n) override
    {
        asked.push_back(n);
        if (draws_.empty())
            return 0;
        const std::int32_t k = draws_.front();
        draws_.pop_front();
        return k;
    }
    int seeded = 0;
    std::vector<std::int32_t> asked;

private:
    std::deque<std::int32_t> draws_;
};

} // namespace hg::test
