// One loaded name table: the whole content of a table file in memory, a cursor and an end flag.
// Read-only: loading never writes the file.
#pragma once

#include "cds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hg {

class TRandom;

// A field's value in the current record: text (code page 932 bytes, possibly empty) or no value.
// The view stays valid until the table is closed or loaded again.
using TFieldValue = std::optional<std::string_view>;

class TNameTable {
public:
    explicit TNameTable(std::string name); // "tblSei", "tblMei": error messages show it
    const std::string& Name() const noexcept { return name_; }

    // Closes the table if open, reads the file (read-only), leaves the table open.
    // Throws EHanagumoError when the file is missing, unreadable or not a valid table;
    // the table is closed then.
    void Load(const std::string& path);
    // Opens the table on content already read (Load's second half).
    void Assign(cds::Table table);
    void GoFirst() noexcept;
    void MoveForward(std::int32_t k) noexcept;
    void GoNext() noexcept { MoveForward(1); }
    std::int32_t Count() const noexcept;
    bool AtEnd() const noexcept { return atEnd_; }
    bool Active() const noexcept { return active_; }
    // Letter case ignored, first match in field order. Throws EHanagumoError
    // "<table>: 項目 '<field>' が見つかりません" for a field the table does not define
    // (every field of a closed table).
    TFieldValue FieldValue(std::string_view fieldName) const;
    void Close() noexcept;

private:
    std::string name_;
    bool active_ = false;
    cds::Table data_;
    std::int32_t cursor_ = 0;
    bool atEnd_ = true;
};

// The main window's table steps (TfrmEdit calls them from its methods of the same names).
// Loads "SEI.cds" then "MEI.cds" from `exeDir` (which ends in its separator), seeds `random`
// once, and places each table on a random record: GoFirst, then MoveForward(Random(Count())),
// the surname table first. Throws at the first failure; later steps are then skipped.
void LoadNameTables(TNameTable& sei, TNameTable& mei, const std::string& exeDir, TRandom& random);
// Per table, surname first: GoFirst() when AtEnd(), else GoNext(). The last record is thus
// used twice at every wrap-around.
void AdvanceNameTables(TNameTable& sei, TNameTable& mei) noexcept;
// Close() on the surname table, then on the given-name table.
void CloseNameTables(TNameTable& sei, TNameTable& mei) noexcept;

} // namespace hg
