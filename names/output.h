// The output file of a run: resolving the destination, the four line layouts, buffered
// writing with CR LF, closing. All paths and texts are code page 932 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hg {

class IRunWindow;

enum class TOpenOutcome { NoFile, Opened, Abandoned };

// Layouts by the index of radKeisiki's items.
enum TLineLayout : int { CommaQuoted = 0, TabSeparated = 1, KanjiOnly = 2, ReadingOnly = 3 };

// Appends the name line of `layout` and its CR LF to `out`.
void AppendNameLine(std::string& out, int layout, std::string_view kanji, std::string_view reading);

// The longest destination path, in bytes, that the tool opens.
std::size_t MaxPathBytes() noexcept;

// The system's reason for an I/O failure, in Japanese (code page 932).
std::string IoErrorReason(int errorNumber);

bool FileExists(const std::string& cp932Path);      // a file; a directory does not count
bool DirectoryExists(const std::string& cp932Path);

class TOutputFile {
public:
    enum class TMode { Create, Overwrite, Append };
    static constexpr std::size_t kBufferSize = 256 * 1024;

    TOutputFile();
    ~TOutputFile();                  // closes without reporting, if a run left it open
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Opening the destination, the run's start step: may ask the window (overwrite question,
    // messages) and may complete a bare name with the executable's directory. Throws
    // EHanagumoError when the file cannot be opened; a file that failed to open is untouched.
    TOpenOutcome OpenDestination(IRunWindow& window);

    void Open(const std::string& cp932Path, TMode mode);
    bool IsOpen() const noexcept { return fd_ >= 0; }
    // One name line through the buffer. Throws EHanagumoError when the system refuses bytes;
    // the file then ends after the last whole line that reached it.
    void WriteNameLine(int layout, std::string_view kanji, std::string_view reading);
    // Writes what is buffered and closes. Throws EHanagumoError on failure of either.
    void Close();

private:
    void Append(std::string_view bytes);
    int WriteBuffer() noexcept; // 0, or the system's error number
    void Flush();
    [[noreturn]] void Fail(const char* utf8What, int errorNumber);

    int fd_ = -1;
    std::string path_;           // code page 932, for messages
    std::string buffer_;
    std::uint64_t flushedBytes_ = 0; // file length after the last successful flush
    bool failed_ = false;        // a write failed: nothing more is written
};

} // namespace hg
