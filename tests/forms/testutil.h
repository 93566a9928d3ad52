// Shared set-up of the window tests: the fonts, a recorder in place of the modal boxes, and
// table files written into a folder that stands for the executable's directory.
#pragma once

#include "Application.h"
#include "cds.h"
#include "cp932.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <vector>

namespace hg::test {

inline void UseWindowFonts()
{
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
}

// What the modal boxes would have shown.
struct TBoxRecorder {
    QStringList plain;
    QStringList errors;
    QStringList captions;

    void Install()
    {
        auto& services = forms::Application().Services();
        services.plainMessage = [this](const QString& caption, const QString& text) {
            captions << caption;
            plain << text;
        };
        services.errorBox = [this](const QString& caption, const QString& text) {
            captions << caption;
            errors << text;
        };
    }
    void Clear()
    {
        plain.clear();
        errors.clear();
        captions.clear();
    }
};

inline cds::FieldDef Field(const char* utf8Name, cds::FieldKind kind = cds::FieldKind::String)
{
    cds::FieldDef field;
    field.name = cp932::FromUtf8(utf8Name);
    field.kind = kind;
    field.width = kind == cds::FieldKind::String ? 20 : 4;
    return field;
}

inline void WriteTable(const QString& path, const cds::Table& table)
{
    const std::vector<std::uint8_t> bytes = cds::WriteBinary(table);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Surnames "S<i>"/"Sy<i>" and given names "G<i>"/"Gy<i>".
inline cds::Table NumberedTable(const char* kanjiField, const char* readingField, const char* prefix, int count)
{
    cds::Table table;
    table.fields = {Field(kanjiField), Field(readingField)};
    for (int i = 0; i < count; ++i)
        table.rows.push_back({prefix + std::to_string(i), std::string(prefix) + "y" + std::to_string(i)});
    return table;
}

} // namespace hg::test
