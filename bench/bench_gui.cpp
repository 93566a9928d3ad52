// Benchmarks of the tool as a whole, with the real main window and the shipped tables (run it
// under Xvfb: bench/run.sh). Prints a table of figures; nothing here asserts a time.
//
//   hg_bench [--quick | --verify-full] [--out DIR] | --screenshot FILE.png
//     --quick  1,000,000 names only (default also runs the 59,124,873-name runs)
//     --run N        one run of N names without output (for profilers)
//     --verify-full  one 59,124,873-name run to a file, read back and checked line by line
//     --out    folder for the output files (default: the system's temp folder)
#include "AboutBox.h"
#include "Application.h"
#include "Edit.h"
#include "kakunin.h"
#include "Controls.h"
#include "SpinEdit.h"

#include "cds.h"
#include "cp932.h"
#include "output.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace hg;
using namespace hg::forms;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

struct Row {
    std::string what;
    double seconds;
    std::int64_t names;
    std::string note;
};

std::vector<Row> rows;

void Report(const std::string& what, double seconds, std::int64_t names, const std::string& note = {})
{
    rows.push_back({what, seconds, names, note});
    std::printf("%-52s %9.3f s %12.0f /s  %s\n", what.c_str(), seconds, names > 0 ? double(names) / seconds : 0.0,
                note.c_str());
    std::fflush(stdout);
}

// Runs `count` names through the window's own click handler; returns the elapsed time.
double TimedRun(TfrmEdit& w, std::int64_t count, const std::string& destination, int layout, long* peakRssKb)
{
    w.SetDestination(destination);
    w.SetControlEnabled(TRunControl::radKeisiki, destination != NoOutputMarker());
    if (destination != NoOutputMarker())
        w.SetLayoutIndex(layout);
    w.txtNinzu->SetText(QString::number(count));
    long peak = StatusKb("VmRSS:");
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&peak] { peak = std::max(peak, StatusKb("VmRSS:")); });
    sampler.start(100);
    const auto start = Clock::now();
    w.btnKorokoroClick();
    const double elapsed = Seconds(Clock::now() - start);
    sampler.stop();
    if (peakRssKb)
        *peakRssKb = std::max(peak, StatusKb("VmRSS:"));
    if (w.stxZanken->Tag != 0)
        std::fprintf(stderr, "run did not finish: %d names left\n", w.stxZanken->Tag);
    return elapsed;
}

// The floor of writing: the same number of lines of the same shape, written with a plain
// buffered loop and no window.
double WriteFloor(TfrmEdit& w, std::int64_t count, const std::string& path, int layout)
{
    std::string chunk;
    const std::int64_t chunkLines = std::min<std::int64_t>(count, 100000);
    for (std::int64_t i = 0; i < chunkLines; ++i) {
        const std::string kanji = std::string(*w.tblSei.FieldValue(HG_SJIS("姓"))) + HG_SJIS("　") +
                                  std::string(*w.tblMei.FieldValue(HG_SJIS("名")));
        const std::string reading = std::string(*w.tblSei.FieldValue(HG_SJIS("姓よみ"))) + HG_SJIS("　") +
                                    std::string(*w.tblMei.FieldValue(HG_SJIS("名よみ")));
        AppendNameLine(chunk, layout, kanji, reading);
        w.AdvanceNameTables();
    }
    const auto start = Clock::now();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    static char buffer[256 * 1024];
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t lines = std::min(left, chunkLines);
        // Whole lines only: the chunk's lines have near the same length.
        const std::size_t bytes = lines == chunkLines ? chunk.size() : chunk.size() * std::size_t(lines) / std::size_t(chunkLines);
        std::fwrite(chunk.data(), 1, bytes, file);
        left -= lines;
    }
    std::fclose(file);
    return Seconds(Clock::now() - start);
}

double PumpFloor(TfrmEdit& w, std::int64_t count)
{
    const auto start = Clock::now();
    for (std::int64_t i = 0; i < count; ++i)
        w.ProcessMessages();
    return Seconds(Clock::now() - start);
}

double RawPumpNs()
{
    const int n = 200000;
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i)
        QCoreApplication::processEvents();
    return Seconds(Clock::now() - start) * 1e9 / n;
}

// A click on the stop button posted from outside the run, as a window message arrives.
double StopAnswerMs(TfrmEdit& w)
{
    w.SetDestination(NoOutputMarker());
    w.txtNinzu->SetText(QStringLiteral("59124873"));
    std::atomic<std::int64_t> postedAt{0};
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        postedAt = Clock::now().time_since_epoch().count();
        QMetaObject::invokeMethod(w.btnCancel, "click", Qt::QueuedConnection);
    });
    w.btnKorokoroClick();
    const auto ended = Clock::now().time_since_epoch().count();
    poster.join();
    return double(ended - postedAt.load()) / 1e6;
}

int StartupChild()
{
    TfrmEdit w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w) || !w.btnKorokoro->isEnabled())
        return 1;
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

double StartupMs(const QString& self)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(self, {QStringLiteral("--startup-child")});
        if (!child.waitForReadyRead(20000))
            return -1;
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        child.waitForFinished(20000);
    }
    return best;
}

double TablesPerSecond(const std::string& dir)
{
    const auto start = Clock::now();
    int loads = 0;
    while (Seconds(Clock::now() - start) < 2.0) {
        if (!cds::ReadTableFile(dir + "SEI.cds") || !cds::ReadTableFile(dir + "MEI.cds"))
            return -1;
        loads += 2;
    }
    return loads / Seconds(Clock::now() - start);
}

// Record numbers of a table by (kanji, reading), to follow a written file name by name.
std::unordered_map<std::string, std::int32_t> RecordIndex(const std::string& path, const char* kanji, const char* reading)
{
    std::unordered_map<std::string, std::int32_t> index;
    const cds::ReadResult table = cds::ReadTableFile(path);
    std::size_t k = 0, r = 0;
    for (std::size_t f = 0; f < table.table.fields.size(); ++f) {
        if (table.table.fields[f].name == cp932::FromUtf8(kanji))
            k = f;
        if (table.table.fields[f].name == cp932::FromUtf8(reading))
            r = f;
    }
    for (std::size_t i = 0; i < table.table.rows.size(); ++i)
        index.emplace(*table.table.rows[i][k] + '\t' + *table.table.rows[i][r], std::int32_t(i));
    return index;
}

// Whole, valid code page 932 characters only.
bool WellFormedCp932(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (cp932::IsLeadByte(c)) {
            if (i + 1 >= text.size())
                return false;
            const auto t = static_cast<unsigned char>(text[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC)
                return false;
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xA0) || c >= 0xFD) {
            return false;
        }
    }
    return true;
}

// The full run written to a file in layout 0, then read back: every line well-formed, the file's
// length the sum of its lines, each name the one that follows the last by the tables' rule.
int VerifyFull(TfrmEdit& w, const std::string& path)
{
    constexpr std::int64_t kCount = 59124873;
    std::remove(path.c_str());
    long peak = 0;
    const long before = StatusKb("VmRSS:");
    const double seconds = TimedRun(w, kCount, path, 0, &peak);
    std::printf("full run to %s: %.1f s, resident memory %ld KiB before, %ld KiB at the most\n", path.c_str(),
                seconds, before, peak);

    const std::string dir = w.ExeDir();
    const auto surnames = RecordIndex(dir + "SEI.cds", "姓", "姓よみ");
    const auto givenNames = RecordIndex(dir + "MEI.cds", "名", "名よみ");
    const std::int32_t s = std::int32_t(surnames.size()), g = std::int32_t(givenNames.size());
    auto next = [](std::int32_t record, bool& atEnd, std::int32_t n) {
        if (atEnd) {
            atEnd = false;
            return 0;
        }
        if (record == n - 1) {
            atEnd = true;
            return record;
        }
        return record + 1;
    };

    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::int64_t lines = 0, bytes = 0;
    std::int32_t expectS = -1, expectG = -1;
    bool endS = false, endG = false;
    const std::string space = HG_SJIS("　");
    while (std::getline(in, line)) {
        bytes += std::int64_t(line.size()) + 1;
        if (line.size() < 8 || line.back() != '\r' || line.front() != '\'' || line[line.size() - 2] != '\'') {
            std::printf("line %lld is malformed\n", static_cast<long long>(lines + 1));
            return 1;
        }
        const std::string_view body(line.data() + 1, line.size() - 3);
        const std::size_t comma = body.find("','");
        if (comma == std::string_view::npos || !WellFormedCp932(body.substr(0, comma)) ||
            !WellFormedCp932(body.substr(comma + 3))) {
            std::printf("line %lld is not well-formed code page 932\n", static_cast<long long>(lines + 1));
            return 1;
        }
        const std::string_view kanji = body.substr(0, comma), reading = body.substr(comma + 3);
        const std::size_t ks = kanji.find(space), rs = reading.find(space);
        const auto sei = surnames.find(std::string(kanji.substr(0, ks)) + '\t' + std::string(reading.substr(0, rs)));
        const auto mei = givenNames.find(std::string(kanji.substr(ks + 2)) + '\t' + std::string(reading.substr(rs + 2)));
        if (sei == surnames.end() || mei == givenNames.end()) {
            std::printf("line %lld names a record the tables do not hold\n", static_cast<long long>(lines + 1));
            return 1;
        }
        if (lines > 0) {
            expectS = next(expectS, endS, s);
            expectG = next(expectG, endG, g);
            if (sei->second != expectS || mei->second != expectG) {
                std::printf("line %lld is not the name that follows line %lld\n", static_cast<long long>(lines + 1),
                            static_cast<long long>(lines));
                return 1;
            }
        } else {
            expectS = sei->second;
            expectG = mei->second;
        }
        ++lines;
    }
    const auto size = std::int64_t(QFile(QString::fromStdString(path)).size());
    std::printf("%lld lines, %lld bytes (file: %lld bytes): %s\n", static_cast<long long>(lines),
                static_cast<long long>(bytes), static_cast<long long>(size),
                lines == kCount && bytes == size ? "all well-formed, in order, nothing else" : "MISMATCH");
    std::remove(path.c_str());
    return lines == kCount && bytes == size ? 0 : 1;
}

// The window after a short run, for the README, and beside it (FILE-about.png, FILE-kakunin.png,
// FILE-help.png) the About box, the overwrite question and the help viewer.
int Screenshot(const QString& path)
{
    TfrmKakunin kakunin;
    frmKakunin = &kakunin;
    TfrmAboutBox about;
    frmAboutBox = &about;
    TfrmEdit w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    w.txtNinzu->SetText(QStringLiteral("3"));
    w.btnKorokoroClick();
    QTest::qWait(200);
    bool saved = w.grab().save(path);
    QString stem = path;
    stem.chop(4);
    w.btnAboutClick();
    QTest::qWait(200);
    saved = about.grab().save(stem + "-about.png") && saved;
    about.hide();
    kakunin.show();
    QTest::qWait(200);
    saved = kakunin.grab().save(stem + "-kakunin.png") && saved;
    kakunin.hide();
    Application().SetCurrentHelpFile(w.ExeDir() + "Hanagumo.chm"); // the tool's, not this program's
    w.btnHelpClick();
    QTest::qWait(500);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top != &w && top != &about && top != &kakunin)
            saved = top->grab().save(stem + "-help.png") && saved;
    }
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--startup-child")))
        return StartupChild();
    if (const int shotAt = int(args.indexOf(QStringLiteral("--screenshot"))); shotAt > 0)
        return Screenshot(args.value(shotAt + 1));
    const bool quick = args.contains(QStringLiteral("--quick"));
    const int outAt = int(args.indexOf(QStringLiteral("--out")));
    const std::string outDir = (outAt > 0 ? args.value(outAt + 1) : QDir::tempPath()).toStdString() + "/";

    TfrmKakunin kakunin;
    frmKakunin = &kakunin;
    TfrmEdit w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w) || !w.btnKorokoro->isEnabled()) {
        std::fprintf(stderr, "the window did not come up with both tables loaded (SEI.cds, MEI.cds beside %s)\n",
                     qPrintable(QCoreApplication::applicationFilePath()));
        return 1;
    }
    std::printf("tables: %d surnames, %d given names\n", w.tblSei.Count(), w.tblMei.Count());
    if (const int runAt = int(args.indexOf(QStringLiteral("--run"))); runAt > 0) {
        // One run without output, for profilers.
        const std::int64_t count = args.value(runAt + 1).toLongLong();
        Report("run, no output, " + std::to_string(count) + " names", TimedRun(w, count, NoOutputMarker(), 0, nullptr), count);
        return 0;
    }
    if (args.contains(QStringLiteral("--verify-full")))
        return VerifyFull(w, outDir + "hg_full_run.txt");
    std::printf("start-up (process start to window shown, tables loaded): %.1f ms (best of 5)\n",
                StartupMs(QCoreApplication::applicationFilePath()));
    std::printf("reader: %.0f shipped tables loaded per second\n", TablesPerSecond(w.ExeDir()));
    std::printf("one raw pass of the event loop: %.0f ns\n", RawPumpNs());
    double worstStop = 0;
    for (int i = 0; i < 3; ++i)
        worstStop = std::max(worstStop, StopAnswerMs(w));
    std::printf("stop button answer during a run: %.2f ms (worst of 3)\n\n", worstStop);

    std::vector<std::int64_t> counts{1000000};
    if (!quick)
        counts.push_back(59124873);
    long peakRss = 0;
    const long rssBefore = StatusKb("VmRSS:");
    for (const std::int64_t count : counts) {
        const double pump = PumpFloor(w, count);
        Report("pump floor, " + std::to_string(count) + " passes", pump, count);
        long peak = 0;
        const double none = TimedRun(w, count, NoOutputMarker(), 0, &peak);
        peakRss = std::max(peakRss, peak);
        Report("run, no output, " + std::to_string(count) + " names", none, count,
               "x" + std::to_string(none / pump).substr(0, 5) + " of the pump floor");
        for (int layout = 0; layout < 4; ++layout) {
            const std::string path = outDir + "hg_bench_layout" + std::to_string(layout) + ".txt";
            std::remove(path.c_str());
            const double run = TimedRun(w, count, path, layout, &peak);
            peakRss = std::max(peakRss, peak);
            const auto bytes = QFile(QString::fromStdString(path)).size();
            std::remove(path.c_str());
            const std::string floorPath = outDir + "hg_bench_floor.txt";
            const double write = WriteFloor(w, count, floorPath, layout);
            std::remove(floorPath.c_str());
            Report("run, layout " + std::to_string(layout) + ", " + std::to_string(count) + " names", run, count,
                   std::to_string(bytes / 1000000) + " MB; write floor " + std::to_string(write).substr(0, 5) +
                       " s; x" + std::to_string(run / (pump + write)).substr(0, 5) + " of pump+write floor");
        }
    }
    std::printf("\nresident memory: %ld KiB before the runs, %ld KiB at the most during them\n", rssBefore, peakRss);
    return 0;
}
