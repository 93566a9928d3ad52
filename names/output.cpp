#include "output.h"

#include "cp932.h"
#include "errors.h"
#include "run.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
// Others may read the file while a run writes it, but not write to it.
inline int HgOpen(const char* path, int flags, int mode)
{
    int fd = -1;
    return ::_sopen_s(&fd, path, flags, _SH_DENYWR, mode) == 0 ? fd : -1;
}
#define HG_OPEN HgOpen
#define HG_WRITE ::_write
#define HG_CLOSE ::_close
#define HG_LSEEK ::_lseeki64
#define HG_FTRUNCATE ::_chsize_s
#define HG_STAT ::_stat64
using hg_stat_t = struct ::_stat64;
constexpr int kBinary = _O_BINARY;
#else
#include <unistd.h>
#define HG_OPEN ::open
#define HG_WRITE ::write
#define HG_CLOSE ::close
#define HG_LSEEK ::lseek
#define HG_FTRUNCATE ::ftruncate
#define HG_STAT ::stat
using hg_stat_t = struct ::stat;
constexpr int kBinary = 0;
#endif

namespace hg {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool StatPath(const std::string& cp932Path, hg_stat_t& st)
{
    const auto native = cp932::ToNativePath(cp932Path);
    return native && HG_STAT(native->c_str(), &st) == 0;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

} // namespace

void AppendNameLine(std::string& out, int layout, std::string_view kanji, std::string_view reading)
{
    switch (layout) {
    case TabSeparated:
        out.append(kanji).append(1, '\t').append(reading);
        break;
    case KanjiOnly:
        out.append(kanji);
        break;
    case ReadingOnly:
        out.append(reading);
        break;
    case CommaQuoted:
    default: // the group always has one of its four items selected
        out.append(1, '\'').append(kanji).append("','").append(reading).append(1, '\'');
        break;
    }
    out.append(kCrLf);
}

std::size_t MaxPathBytes() noexcept
{
#ifdef _WIN32
    return 259; // MAX_PATH less its terminating zero
#else
    return PATH_MAX - 1;
#endif
}

std::string IoErrorReason(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT: return HG_SJIS("ファイルまたはディレクトリが見つかりません");
    case EACCES:
    case EPERM: return HG_SJIS("アクセスが拒否されました");
    case EISDIR: return HG_SJIS("同じ名前のディレクトリがあります");
    case ENOTDIR: return HG_SJIS("パスの途中にディレクトリでないものがあります");
    case ENOSPC: return HG_SJIS("ディスクの空き領域が不足しています");
#ifdef EDQUOT
    case EDQUOT: return HG_SJIS("ディスクの使用量の上限を超えました");
#endif
    case EFBIG: return HG_SJIS("ファイルが大きすぎます");
    case EROFS: return HG_SJIS("読み取り専用のファイルシステムです");
    case ENAMETOOLONG: return HG_SJIS("パスが長すぎます");
    case EIO: return HG_SJIS("入出力エラーが発生しました");
    case EMFILE:
    case ENFILE: return HG_SJIS("開いているファイルが多すぎます");
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return HG_SJIS("ファイルは使用中です");
    case EINVAL: return HG_SJIS("ファイル名が正しくありません");
    default: return HG_SJIS("システムエラー (コード ") + std::to_string(errorNumber) + ")";
    }
}

bool FileExists(const std::string& cp932Path)
{
    hg_stat_t st{};
    return StatPath(cp932Path, st) && (st.st_mode & S_IFMT) != S_IFDIR;
}

bool DirectoryExists(const std::string& cp932Path)
{
    hg_stat_t st{};
    return StatPath(cp932Path, st) && (st.st_mode & S_IFMT) == S_IFDIR;
}

TOutputFile::TOutputFile() = default;

TOutputFile::~TOutputFile()
{
    if (fd_ >= 0)
        HG_CLOSE(fd_);
}

TOpenOutcome TOutputFile::OpenDestination(IRunWindow& window)
{
    std::string destination = window.Destination();
    if (destination == NoOutputMarker())
        return TOpenOutcome::NoFile;
    if (destination.size() > MaxPathBytes())
        Fail("を開けません", ENAMETOOLONG);

    if (FileExists(destination)) {
        switch (window.AskOverwrite()) {
        case 6:
            Open(destination, TMode::Overwrite);
            return TOpenOutcome::Opened;
        case 7:
            Open(destination, TMode::Append);
            return TOpenOutcome::Opened;
        default:
            return TOpenOutcome::Abandoned;
        }
    }

    if (cp932::SplitPath(destination).directory.empty()) {
        destination = window.ExeDir() + destination;
        window.SetDestination(destination);
    }
    const cp932::PathParts parts = cp932::SplitPath(destination);
    if (!DirectoryExists(std::string(parts.directory))) {
        window.ShowMessage(HG_SJIS("「出力先」の指定されたディレクトリは存在しません。"));
        return TOpenOutcome::Abandoned;
    }
    if (parts.fileName.empty()) {
        window.ShowMessage(HG_SJIS("「出力先」のファイル名が入力されていません。"));
        return TOpenOutcome::Abandoned;
    }
    Open(destination, TMode::Create);
    return TOpenOutcome::Opened;
}

void TOutputFile::Fail(const char* utf8What, int errorNumber)
{
    throw EHanagumoError(HG_SJIS("ファイル ") + Quoted(path_) + " " + cp932::FromUtf8(utf8What) + ": " +
                         IoErrorReason(errorNumber));
}

void TOutputFile::Open(const std::string& cp932Path, TMode mode)
{
    if (fd_ >= 0)
        Close();
    path_ = cp932Path;
    failed_ = false;
    if (cp932Path.size() > MaxPathBytes())
        Fail("を開けません", ENAMETOOLONG);
    const auto native = cp932::ToNativePath(cp932Path);
    if (!native)
        Fail("を開けません", EINVAL);

    int flags = O_WRONLY | kBinary;
    if (mode != TMode::Append)
        flags |= O_CREAT | O_TRUNC; // a file that came into being meanwhile is emptied
#ifdef _WIN32
    const int fd = HG_OPEN(native->c_str(), flags, _S_IREAD | _S_IWRITE);
#else
    const int fd = HG_OPEN(native->c_str(), flags, 0666);
#endif
    if (fd < 0)
        Fail(mode == TMode::Append ? "に追加できません" : "を作成できません", errno);
    const auto end = HG_LSEEK(fd, 0, SEEK_END);
    if (end < 0) {
        const int err = errno;
        HG_CLOSE(fd);
        Fail("に追加できません", err);
    }
    fd_ = fd;
    flushedBytes_ = static_cast<std::uint64_t>(end);
    buffer_.clear();
    buffer_.reserve(kBufferSize);
}

void TOutputFile::WriteNameLine(int layout, std::string_view kanji, std::string_view reading)
{
    const std::size_t length = kanji.size() + reading.size() + 5; // the longest layout's extra bytes
    if (buffer_.size() + length > kBufferSize)
        Flush();
    AppendNameLine(buffer_, layout, kanji, reading);
}

int TOutputFile::WriteBuffer() noexcept
{
    if (failed_ || fd_ < 0)
        return 0;
    std::size_t written = 0;
    while (written < buffer_.size()) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(buffer_.size() - written, 1u << 30));
        const auto n = HG_WRITE(fd_, buffer_.data() + written, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            failed_ = true;
            // Keep only whole lines: cut the file after the last CR LF that reached it.
            const std::string_view reached(buffer_.data(), written);
            const std::size_t lastLineEnd = reached.rfind(kCrLf);
            const std::uint64_t keep =
                flushedBytes_ + (lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + kCrLf.size());
            if (keep < flushedBytes_ + written)
                (void)HG_FTRUNCATE(fd_, static_cast<std::int64_t>(keep));
            buffer_.clear();
            return err;
        }
        written += static_cast<std::size_t>(n);
    }
    flushedBytes_ += written;
    buffer_.clear();
    return 0;
}

void TOutputFile::Flush()
{
    if (const int err = WriteBuffer())
        Fail("に書き込めません", err);
}

void TOutputFile::Close()
{
    if (fd_ < 0)
        return;
    const int writeError = WriteBuffer();
    const int fd = fd_;
    fd_ = -1;
    buffer_.clear();
    buffer_.shrink_to_fit();
    const int closeError = HG_CLOSE(fd) != 0 ? errno : 0;
    if (writeError)
        Fail("に書き込めません", writeError);
    if (closeError)
        Fail("を閉じられません", closeError);
}

} // namespace hg
