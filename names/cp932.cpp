#include "cp932.h"

#include <cerrno>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace hg::cp932 {

namespace {

#ifndef _WIN32
// Converts the whole input or nothing; `lossy` replaces what cannot be converted by U+FFFD
// (only used towards UTF-8).
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in, bool lossy)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    out.resize(in.size() * 3 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const size_t used = out.size() - dstLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        if (!lossy) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL: skip one byte (a whole double-byte pair when it looks like one).
        const unsigned char c = static_cast<unsigned char>(*src);
        const size_t skip = (IsLeadByte(c) && srcLeft >= 2) ? 2 : 1;
        src += skip;
        srcLeft -= skip;
        static constexpr char kReplacement[] = "\xEF\xBF\xBD";
        if (dstLeft < 3) {
            const size_t used = out.size() - dstLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        for (char r : std::string_view(kReplacement, 3))
            *dst++ = r;
        dstLeft -= 3;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}
#else
std::optional<std::string> Convert(UINT toCp, UINT fromCp, std::string_view in, bool lossy)
{
    if (in.empty())
        return std::string();
    const DWORD flags = lossy ? 0 : MB_ERR_INVALID_CHARS;
    int wide = MultiByteToWideChar(fromCp, flags, in.data(), int(in.size()), nullptr, 0);
    if (wide <= 0)
        return std::nullopt;
    std::wstring w(size_t(wide), L'\0');
    MultiByteToWideChar(fromCp, flags, in.data(), int(in.size()), w.data(), wide);
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(toCp, 0, w.data(), wide, nullptr, 0, nullptr,
                                    toCp == CP_UTF8 ? nullptr : &usedDefault);
    if (bytes <= 0 || usedDefault)
        return std::nullopt;
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(toCp, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}
#endif

} // namespace

#ifndef _WIN32
std::optional<std::string> TryFromUtf8(std::string_view utf8) { return Convert("CP932", "UTF-8", utf8, false); }
std::optional<std::string> TryToUtf8(std::string_view text) { return Convert("UTF-8", "CP932", text, false); }
std::string ToUtf8Lossy(std::string_view text) { return Convert("UTF-8", "CP932", text, true).value_or(std::string()); }
#else
std::optional<std::string> TryFromUtf8(std::string_view utf8) { return Convert(932, CP_UTF8, utf8, false); }
std::optional<std::string> TryToUtf8(std::string_view text) { return Convert(CP_UTF8, 932, text, false); }
std::string ToUtf8Lossy(std::string_view text) { return Convert(CP_UTF8, 932, text, true).value_or(std::string()); }
#endif

std::string FromUtf8(std::string_view utf8)
{
    if (auto converted = TryFromUtf8(utf8))
        return *std::move(converted);
    throw std::invalid_argument("text not representable in code page 932");
}

std::u32string Utf8CodePoints(std::string_view utf8)
{
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

std::size_t LastDelimiter(std::string_view text, std::string_view delimiters) noexcept
{
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(c)) {
            ++i; // its trail byte is part of the same character
            continue;
        }
        if (delimiters.find(static_cast<char>(c)) != std::string_view::npos)
            found = i;
    }
    return found;
}

namespace {
PathParts SplitAt(std::string_view path, std::size_t sep) noexcept
{
    if (sep == std::string_view::npos)
        return {std::string_view(), path};
    return {path.substr(0, sep + 1), path.substr(sep + 1)};
}
} // namespace

PathParts SplitPathWindows(std::string_view path) noexcept { return SplitAt(path, LastDelimiter(path, "\\:")); }
PathParts SplitPathPosix(std::string_view path) noexcept { return SplitAt(path, path.rfind('/')); }

PathParts SplitPath(std::string_view path) noexcept
{
#ifdef _WIN32
    return SplitPathWindows(path);
#else
    return SplitPathPosix(path);
#endif
}

std::optional<std::string> ToNativePath(std::string_view cp932Path)
{
#ifdef _WIN32
    return std::string(cp932Path);
#else
    return TryToUtf8(cp932Path);
#endif
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x)) {
            // Both bytes of a double-byte character must match exactly.
            if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace hg::cp932
