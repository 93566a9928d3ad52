// Code page 932 (Shift_JIS) helpers.
//
// Every text of the tool is a byte string in code page 932: table values, captions, messages
// and output lines stay in it from end to end. Conversion to UTF-8 happens only where text
// leaves the tool's own world (drawing, the terminal, UTF-8 table dumps).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hg::cp932 {

// A byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char c) noexcept
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Conversions through iconv. The Try forms return nothing when the input holds a sequence
// that the other side cannot represent; the plain forms throw std::invalid_argument then.
std::optional<std::string> TryFromUtf8(std::string_view utf8);
std::optional<std::string> TryToUtf8(std::string_view cp932);
std::string FromUtf8(std::string_view utf8);
// Never fails: a byte that is no valid code page 932 becomes U+FFFD.
std::string ToUtf8Lossy(std::string_view cp932);

// The code points of well-formed UTF-8 (as iconv gives it).
std::u32string Utf8CodePoints(std::string_view utf8);

// Index of the last byte of `text` that is one of `delimiters` and stands as a character of
// its own (not the second byte of a double-byte character), or npos.
std::size_t LastDelimiter(std::string_view text, std::string_view delimiters) noexcept;

struct PathParts {
    std::string_view directory; // up to and including the last separator; empty if none
    std::string_view fileName;  // what follows it; the whole text if there is none
};

// The Windows build's rule: "\" and ":" separate, a 0x5C that is the trail byte of a
// double-byte character (表 = 95 5C, ソ = 83 5C) does not.
PathParts SplitPathWindows(std::string_view path) noexcept;
// POSIX: "/" separates (it can never be a trail byte).
PathParts SplitPathPosix(std::string_view path) noexcept;
// The rule of the platform the tool is built for.
PathParts SplitPath(std::string_view path) noexcept;

// A code page 932 path as the operating system takes it: unchanged on Windows, UTF-8 elsewhere.
// Nothing when the bytes are no valid code page 932.
std::optional<std::string> ToNativePath(std::string_view cp932Path);

// ASCII letters folded, double-byte characters compared as they are (a trail byte in the
// ASCII letter range is never folded).
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept;

} // namespace hg::cp932

// A code page 932 constant written as a UTF-8 literal in the source; converted once, on first use.
#define HG_SJIS(literal)                                                                       \
    ([]() -> const std::string& {                                                              \
        static const std::string converted = ::hg::cp932::FromUtf8(literal);                   \
        return converted;                                                                      \
    }())
