// Tables as tab-separated UTF-8 text, so that they can be read and edited without the
// platform that made the format.
//
// The first line names the fields, each with its type: "name:string(W)" (a string field of
// W bytes in code page 932), "name:string" (width taken from the longest value), "name:int32".
// A name without a type is a string field. Dumps also show "name:int16" and "name:other" for
// fields of other types, which cannot be written back.
// Every further line is one row, one cell per field. A cell that is exactly \N is NULL; an empty
// cell is the empty string. In values and names, \\ \t \n \r stand for a backslash, a tab, a line
// feed and a carriage return.
#pragma once

#include "cds.h"

#include <string>
#include <string_view>
#include <vector>

namespace hg::tools {

// `warnings` receives a line for each value that is not valid code page 932 (written with
// U+FFFD in its place).
std::string TableToTsv(const cds::Table& table, std::vector<std::string>& warnings);

// Throws std::runtime_error ("line N: ...") for text that is not a table of the form above.
cds::Table TsvToTable(std::string_view utf8Text);

} // namespace hg::tools
