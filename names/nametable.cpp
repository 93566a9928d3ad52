#include "nametable.h"

#include "cp932.h"
#include "errors.h"
#include "random.h"

#include <algorithm>

namespace hg {

TNameTable::TNameTable(std::string name) : name_(std::move(name)) {}

void TNameTable::Load(const std::string& path)
{
    Close();
    cds::ReadResult result = cds::ReadTableFile(cp932::ToNativePath(path).value_or(path));
    if (!result) {
        throw EHanagumoError(name_ + ": " + path + ": " + result.Description());
    }
    Assign(std::move(result.table));
}

void TNameTable::Assign(cds::Table table)
{
    data_ = std::move(table);
    active_ = true;
    cursor_ = 0;
    atEnd_ = data_.rows.empty();
}

void TNameTable::GoFirst() noexcept
{
    cursor_ = 0;
    atEnd_ = Count() == 0;
}

void TNameTable::MoveForward(std::int32_t k) noexcept
{
    if (k <= 0 || atEnd_)
        return;
    const std::int32_t last = Count() - 1;
    for (; k > 0; --k) {
        if (cursor_ >= last) {
            atEnd_ = true; // a step from the last record does not move
            return;
        }
        ++cursor_;
    }
}

std::int32_t TNameTable::Count() const noexcept
{
    return static_cast<std::int32_t>(data_.rows.size());
}

TFieldValue TNameTable::FieldValue(std::string_view fieldName) const
{
    for (std::size_t i = 0; i < data_.fields.size(); ++i) {
        const std::string& name = data_.fields[i].name;
        if (name.size() != fieldName.size() ||
            (!std::equal(name.begin(), name.end(), fieldName.begin()) && !cp932::EqualsIgnoreAsciiCase(name, fieldName)))
            continue;
        if (data_.rows.empty())
            return std::nullopt;
        const cds::Value& value = data_.rows[static_cast<std::size_t>(cursor_)][i];
        if (!value)
            return std::nullopt;
        return std::string_view(*value);
    }
    throw EHanagumoError(name_ + ": " + HG_SJIS("項目 '") + std::string(fieldName) + HG_SJIS("' が見つかりません"));
}

void TNameTable::Close() noexcept
{
    active_ = false;
    data_ = cds::Table();
    cursor_ = 0;
    atEnd_ = true;
}

void LoadNameTables(TNameTable& sei, TNameTable& mei, const std::string& exeDir, TRandom& random)
{
    sei.Load(exeDir + "SEI.cds");
    mei.Load(exeDir + "MEI.cds");
    random.Randomize();
    sei.GoFirst();
    sei.MoveForward(random.Random(sei.Count()));
    mei.GoFirst();
    mei.MoveForward(random.Random(mei.Count()));
}

void AdvanceNameTables(TNameTable& sei, TNameTable& mei) noexcept
{
    for (TNameTable* table : {&sei, &mei}) {
        if (table->AtEnd())
            table->GoFirst();
        else
            table->GoNext();
    }
}

void CloseNameTables(TNameTable& sei, TNameTable& mei) noexcept
{
    sei.Close();
    mei.Close();
}

} // namespace hg
