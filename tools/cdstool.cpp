// cdstool: reads, writes and builds the name tables without the platform that made the format.
//
//   cdstool dump FILE.cds             the table as tab-separated UTF-8 text on standard output
//   cdstool build IN.tsv OUT.cds      the reverse (the text format is described in tsv.h)
//   cdstool ipadic DIR OUTDIR         SEI.cds and MEI.cds from DIR/Noun.name.csv of mecab-ipadic
#include "cds.h"
#include "cp932.h"
#include "ipadic.h"
#include "tsv.h"

#include <cstdio>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  cdstool dump FILE.cds           write the table as tab-separated UTF-8 text to standard output\n"
    "  cdstool build IN.tsv OUT.cds    write a binary table from such text\n"
    "  cdstool ipadic DIR OUTDIR       build SEI.cds and MEI.cds from DIR/Noun.name.csv (mecab-ipadic)\n"
    "\n"
    "Text form: the first line names the fields, \"name:string(W)\", \"name:string\" (width of the\n"
    "longest value) or \"name:int32\"; then one line per row, cells separated by tabs. A cell that is\n"
    "exactly \\N is NULL, an empty cell is the empty string; \\\\ \\t \\n \\r stand for a backslash,\n"
    "a tab, a line feed and a carriage return. Text is UTF-8 and stored in code page 932.\n";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<char> ReadFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw Failure(path + ": " + std::strerror(errno));
    std::vector<char> bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > hg::cds::kMaxFileSize) {
            std::fclose(file);
            throw Failure(path + ": larger than " + std::to_string(hg::cds::kMaxFileSize) + " bytes");
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw Failure(path + ": reading failed");
    return bytes;
}

void WriteFile(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw Failure(path + ": " + std::strerror(errno));
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        throw Failure(path + ": writing failed");
}

void WriteTable(const std::string& path, const hg::cds::Table& table)
{
    std::vector<std::uint8_t> bytes;
    try {
        bytes = hg::cds::WriteBinary(table);
    } catch (const std::invalid_argument& e) {
        throw Failure(path + ": " + hg::cp932::ToUtf8Lossy(e.what()));
    }
    WriteFile(path, bytes.data(), bytes.size());
}

int Dump(const std::string& path)
{
    const hg::cds::ReadResult result = hg::cds::ReadTableFile(path);
    if (!result)
        throw Failure(path + ": " + hg::cp932::ToUtf8Lossy(result.Description()));
    std::vector<std::string> warnings;
    const std::string text = hg::tools::TableToTsv(result.table, warnings);
    for (const std::string& w : warnings)
        std::fprintf(stderr, "cdstool: %s: %s\n", path.c_str(), w.c_str());
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        throw Failure("writing to standard output failed");
    return 0;
}

int Build(const std::string& in, const std::string& out)
{
    const std::vector<char> text = ReadFile(in);
    hg::cds::Table table;
    try {
        table = hg::tools::TsvToTable(std::string_view(text.data(), text.size()));
    } catch (const std::runtime_error& e) {
        throw Failure(in + ": " + e.what());
    }
    WriteTable(out, table);
    std::printf("%s: %zu fields, %zu rows\n", out.c_str(), table.fields.size(), table.rows.size());
    return 0;
}

int Ipadic(const std::string& dir, const std::string& outDir)
{
    const std::string csvPath = dir + "/Noun.name.csv";
    const std::vector<char> csv = ReadFile(csvPath);
    hg::tools::IpadicTables tables;
    try {
        tables = hg::tools::BuildIpadicTables(std::string_view(csv.data(), csv.size()));
    } catch (const std::runtime_error& e) {
        throw Failure(csvPath + ": " + e.what());
    }
    WriteTable(outDir + "/SEI.cds", tables.sei);
    WriteTable(outDir + "/MEI.cds", tables.mei);
    const std::uint64_t s = tables.sei.rows.size(), g = tables.mei.rows.size();
    std::printf("surnames:    %zu candidates, S = %llu\n", tables.surnameCandidates, static_cast<unsigned long long>(s));
    std::printf("given names: %zu candidates, G = %llu\n", tables.givenCandidates, static_cast<unsigned long long>(g));
    std::printf("pair period lcm(S+1, G+1) = %llu (gcd %llu; the longest run is %llu names)\n",
                static_cast<unsigned long long>(std::lcm(s + 1, g + 1)),
                static_cast<unsigned long long>(std::gcd(s + 1, g + 1)),
                static_cast<unsigned long long>(hg::tools::kLongestRun));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "dump")
            return Dump(args[1]);
        if (args.size() == 3 && args[0] == "build")
            return Build(args[1], args[2]);
        if (args.size() == 3 && args[0] == "ipadic")
            return Ipadic(args[1], args[2]);
        if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fputs(kUsage, stderr);
        return 2;
    } catch (const Failure& e) {
        std::fprintf(stderr, "cdstool: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cdstool: %s\n", e.what());
    }
    return 1;
}
