#include "tsv.h"

#include "cp932.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace hg::tools {

namespace {

constexpr std::string_view kNull = "\\N";

void AppendEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

// Code page 932 to UTF-8; invalid bytes become U+FFFD and are reported.
std::string Utf8(std::string_view cp932Text, const std::string& where, std::vector<std::string>& warnings)
{
    if (auto converted = cp932::TryToUtf8(cp932Text))
        return *std::move(converted);
    warnings.push_back(where + ": bytes that are not code page 932 were written as U+FFFD");
    return cp932::ToUtf8Lossy(cp932Text);
}

std::string TypeSuffix(const cds::FieldDef& field)
{
    switch (field.kind) {
    case cds::FieldKind::String: return ":string(" + std::to_string(field.width) + ")";
    case cds::FieldKind::Int32: return ":int32";
    case cds::FieldKind::Int16: return ":int16";
    case cds::FieldKind::Other: break;
    }
    return ":other";
}

[[noreturn]] void Fail(std::size_t line, const std::string& message)
{
    throw std::runtime_error("line " + std::to_string(line) + ": " + message);
}

std::vector<std::string_view> SplitCells(std::string_view line)
{
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return cells;
        start = tab + 1;
    }
}

// The cell's text with escapes resolved; nothing for \N.
std::optional<std::string> Unescape(std::string_view cell, std::size_t line)
{
    if (cell == kNull)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\') {
            out += cell[i];
            continue;
        }
        const char next = i + 1 < cell.size() ? cell[i + 1] : '\0';
        switch (next) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'N': Fail(line, "\\N stands for NULL only as a whole cell");
        default: Fail(line, "unknown escape \"\\" + std::string(1, next) + "\" (use \\\\ for a backslash)");
        }
        ++i;
    }
    return out;
}

std::string ToCp932(const std::string& utf8, std::size_t line, const std::string& what)
{
    auto converted = cp932::TryFromUtf8(utf8);
    if (!converted)
        Fail(line, what + " \"" + utf8 + "\" is not UTF-8 that code page 932 can hold");
    return *std::move(converted);
}

struct Column {
    std::string utf8Name;
    cds::FieldDef field;
    bool autoWidth = false;
};

// "name", "name:string", "name:string(W)", "name:int32"; "name:int16" and "name:other" are
// recognised and refused.
Column ParseHeaderCell(std::string_view cell, std::size_t column)
{
    const std::optional<std::string> text = Unescape(cell, 1);
    if (!text)
        Fail(1, "field " + std::to_string(column) + " has no name");
    Column c;
    c.utf8Name = *text;
    c.field.kind = cds::FieldKind::String;
    c.autoWidth = true;
    const std::size_t colon = text->rfind(':');
    if (colon != std::string::npos) {
        const std::string type = text->substr(colon + 1);
        bool known = true;
        if (type == "string") {
        } else if (type == "int32") {
            c.field.kind = cds::FieldKind::Int32;
            c.autoWidth = false;
        } else if (type == "int16" || type == "other") {
            Fail(1, "field \"" + text->substr(0, colon) + "\" is " + type + "; only string and int32 fields can be written");
        } else if (type.size() > 8 && type.compare(0, 7, "string(") == 0 && type.back() == ')') {
            const std::string digits = type.substr(7, type.size() - 8);
            if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), [](char d) {
                    return d >= '0' && d <= '9';
                }) || std::stoi(digits) < 1 || std::stoi(digits) > 65535)
                Fail(1, "field \"" + text->substr(0, colon) + "\": the width in \"" + type + "\" is not 1 to 65535");
            c.field.width = std::stoi(digits);
            c.autoWidth = false;
        } else {
            known = false; // a colon that belongs to the name
        }
        if (known)
            c.utf8Name = text->substr(0, colon);
    }
    c.field.name = ToCp932(c.utf8Name, 1, "field name");
    if (c.field.name.empty() || c.field.name.size() > 31)
        Fail(1, "field name \"" + c.utf8Name + "\" takes " + std::to_string(c.field.name.size()) +
                    " bytes in code page 932; 1 to 31 are allowed");
    return c;
}

bool IsInt32(std::string_view s)
{
    std::size_t i = s.empty() || s[0] != '-' ? 0 : 1;
    if (i == s.size() || s.size() - i > 10)
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    return s[0] == '-' ? -v >= -2147483648LL : v <= 2147483647LL;
}

} // namespace

std::string TableToTsv(const cds::Table& table, std::vector<std::string>& warnings)
{
    std::string out;
    for (std::size_t f = 0; f < table.fields.size(); ++f) {
        if (f)
            out += '\t';
        AppendEscaped(out, Utf8(table.fields[f].name, "field " + std::to_string(f + 1), warnings) + TypeSuffix(table.fields[f]));
    }
    out += '\n';
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const std::vector<cds::Value>& row = table.rows[r];
        for (std::size_t f = 0; f < row.size(); ++f) {
            if (f)
                out += '\t';
            if (!row[f])
                out += kNull;
            else
                AppendEscaped(out, Utf8(*row[f], "row " + std::to_string(r + 1) + " field " + std::to_string(f + 1), warnings));
        }
        out += '\n';
    }
    return out;
}

cds::Table TsvToTable(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty())
        throw std::runtime_error("the text is empty; its first line must name the fields");

    std::vector<Column> columns;
    for (std::string_view cell : SplitCells(lines[0]))
        columns.push_back(ParseHeaderCell(cell, columns.size() + 1));

    cds::Table table;
    std::vector<std::size_t> longest(columns.size(), 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t line = i + 1;
        const std::vector<std::string_view> cells = SplitCells(lines[i]);
        if (cells.size() != columns.size())
            Fail(line, std::to_string(cells.size()) + (cells.size() == 1 ? " cell" : " cells") + ", but the first line names " +
                           std::to_string(columns.size()) + " fields");
        std::vector<cds::Value> row;
        for (std::size_t f = 0; f < cells.size(); ++f) {
            std::optional<std::string> value = Unescape(cells[f], line);
            const Column& c = columns[f];
            if (value && c.field.kind == cds::FieldKind::Int32) {
                if (!IsInt32(*value))
                    Fail(line, "\"" + *value + "\" in field \"" + c.utf8Name + "\" is not an int32");
            } else if (value) {
                const std::string utf8 = *value;
                value = ToCp932(utf8, line, "value");
                if (value->find('\0') != std::string::npos)
                    Fail(line, "a value in field \"" + c.utf8Name + "\" holds a zero character");
                longest[f] = std::max(longest[f], value->size());
                if (!c.autoWidth && value->size() > std::size_t(c.field.width))
                    Fail(line, "\"" + utf8 + "\" takes " + std::to_string(value->size()) + " bytes; field \"" + c.utf8Name +
                                   "\" is " + std::to_string(c.field.width) + " bytes wide");
            }
            row.push_back(std::move(value));
        }
        table.rows.push_back(std::move(row));
    }
    for (std::size_t f = 0; f < columns.size(); ++f) {
        cds::FieldDef field = columns[f].field;
        if (columns[f].autoWidth) {
            if (longest[f] > 65535)
                throw std::runtime_error("field \"" + columns[f].utf8Name + "\" has a value longer than 65535 bytes");
            field.width = static_cast<std::int32_t>(longest[f]);
        }
        table.fields.push_back(std::move(field));
    }
    return table;
}

} // namespace hg::tools
