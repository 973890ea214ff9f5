// Measures the utility on the virtual tool. Not a test: it prints figures and never fails.
//
//   cmake --build build --target varnex_benchmark
//   build/benchmarks/varnex_benchmark [reads] [writes] [start-ups]     (defaults 30 5 10)
//
// 1. A full read and a full write, end to end through the window (open, every exchange, close,
//    progress bar, pane, status bar), against the same library calls made straight to the virtual
//    tool. The difference is what the program adds beyond the tool.
// 2. Start-up to a shown window and peak memory of the utility beside a bare Qt main window,
//    each a fresh process, run alternately; printed as ratios.
// 3. Decoding: one EDID (the median over the sample EDIDs of tests/data/edid-corpus), a merge of
//    four of them, the details window's refresh after one keystroke in the pane, and
//    `varnex-edid decode --json` over the whole sample in one run against edid-decode run once
//    per file, as how many times faster.
// 4. Making EDIDs: each preset, and the EDID of ten modes (VICs, DMT modes and CVT timings).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Figures are medians.
#include "EdidDescription.h"
#include "EdidMerge.h"
#include "EdidModeList.h"
#include "EdidPresets.h"
#include "EdidSources.h"
#include "EdidTransfer.h"
#include "MainWindow.h"
#include "ToolCommands.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTextEdit>
#include <QTreeWidget>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

VirtualTool tool;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double millisecondsOf(const std::function<void()> &run)
{
    const Clock::time_point start = Clock::now();
    run();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median time of rounds runs, the virtual tool reset before each.
double medianMs(int rounds, const std::function<void()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        tool.reset();
        times.push_back(millisecondsOf(run));
    }
    return median(times);
}

// The library calls a transfer makes, straight to the tool: find, open, exchange, close.
void bareTransfer(const std::vector<std::vector<std::uint8_t>> &commands,
                  const std::vector<std::uint32_t> &replyLengths)
{
    std::uint32_t count = 0, waiting = 0, status = 0, done = 0;
    UsbStringBuffer text{};
    UsbHandle handle = kNoUsbHandle;
    std::uint8_t reply[kCountersReplyLength];
    tool.UsbDeviceCount(&count);
    tool.UsbDeviceString(0, text, kUsbSerialString);
    tool.UsbDeviceString(0, text, kUsbProductString);
    tool.UsbOpenByIndex(0, &handle);
    tool.UsbPurge(handle, 1, 1);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        tool.UsbWriteBlock(handle, commands[i].data(),
                           static_cast<std::uint32_t>(commands[i].size()), &done, 0);
        tool.UsbQueueStatus(handle, &waiting, &status);
        tool.UsbReadBlock(handle, reply, replyLengths[i], &done, 0);
    }
    tool.UsbCloseHandle(handle);
}

struct ProcessRun {
    double startupMs = 0;
    double peakKb = 0;
};

// Starts the probe, waits for its "shown", and collects its peak resident memory.
ProcessRun runProbe(const char *path)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        std::exit(2);
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execl(path, path, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char c;
    while (output.find("shown\n") == std::string::npos && read(pipeEnds[0], &c, 1) == 1)
        output += c;
    ProcessRun run;
    run.startupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        output.find("shown") == std::string::npos) {
        std::fprintf(stderr, "probe %s did not show its window\n", path);
        std::exit(2);
    }
    run.peakKb = static_cast<double>(usage.ru_maxrss); // kilobytes on Linux
    return run;
}

const char *verdict(bool holds)
{
    return holds ? "holds" : "DOES NOT HOLD";
}

// The sample EDIDs' file names, and their images.
QStringList sampleFiles()
{
    const QDir corpus(QStringLiteral(VARNEX_EDID_CORPUS));
    QStringList files;
    for (const QString &name : corpus.entryList({QStringLiteral("*.bin")}, QDir::Files))
        files << corpus.filePath(name);
    return files;
}

std::vector<EdidImage> sampleImages(const QStringList &files)
{
    std::vector<EdidImage> images;
    for (const QString &path : files) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.read(EdidImage::kSize);
        EdidImage image;
        std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
        images.push_back(image);
    }
    return images;
}

// Microseconds of one decode of each image (the mean of rounds decodes), their median.
double decodeMicroseconds(const std::vector<EdidImage> &images, int rounds)
{
    std::vector<double> perImage;
    std::size_t findings = 0; // used, so that no decode is left out
    for (const EdidImage &image : images) {
        const double ms = millisecondsOf([&] {
            for (int i = 0; i < rounds; ++i)
                findings += decodeEdid(image).findings.size();
        });
        perImage.push_back(1000 * ms / rounds);
    }
    std::printf("            (%zu findings in all)\n", findings / std::size_t(rounds));
    return median(perImage);
}

// Microseconds of one merge of four sample EDIDs, decoded before (the mean of rounds merges), for
// each run of four consecutive samples that merges: the median and the slowest.
std::pair<double, double> mergeMicroseconds(const std::vector<EdidImage> &images, int rounds)
{
    std::vector<EdidDescription> described;
    for (const EdidImage &image : images)
        described.push_back(decodeEdid(image));
    std::vector<double> perGroup;
    std::size_t notes = 0; // used, so that no merge is left out
    for (std::size_t n = 0; n + 4 <= described.size(); n += 4) {
        const std::vector<EdidDescription> four(described.begin() + std::ptrdiff_t(n),
                                                described.begin() + std::ptrdiff_t(n + 4));
        if (!mergeEdids(four, {}).merged)
            continue;
        const double ms = millisecondsOf([&] {
            for (int i = 0; i < rounds; ++i)
                notes += mergeEdids(four, {}).notes.size();
        });
        perGroup.push_back(1000 * ms / rounds);
    }
    std::printf("            (%zu merges of four, %zu notes in all)\n", perGroup.size(),
                notes / std::size_t(rounds));
    return {median(perGroup), *std::max_element(perGroup.begin(), perGroup.end())};
}

// Milliseconds from one keystroke in the pane (a digit overwritten) to everything shown anew, each
// keystroke alone: the median over keystrokes.
double keystrokeMilliseconds(QTextEdit *pane, int keystrokes)
{
    std::vector<double> times;
    for (int i = 0; i < keystrokes; ++i) {
        QTextCursor cursor(pane->document());
        cursor.setPosition(31); // byte 10, the product code's low byte: the checksum breaks
        cursor.setPosition(32, QTextCursor::KeepAnchor);
        times.push_back(millisecondsOf([&] {
            cursor.insertText(QString::number(i % 10));
            QApplication::processEvents();
        }));
    }
    return median(times);
}

// What the details window adds to a keystroke: the keystroke with it open against without.
double refreshMilliseconds(MainWindow &window, int keystrokes)
{
    auto *pane = window.findChild<QTextEdit *>(QStringLiteral("EDIDtext"));
    const double alone = keystrokeMilliseconds(pane, keystrokes);
    window.findChild<QAction *>(QStringLiteral("actionEdidDetails"))->trigger();
    QApplication::processEvents();
    const double withDetails = keystrokeMilliseconds(pane, keystrokes);
    if (window.findChild<QTreeWidget *>(QStringLiteral("EdidDetailsTree"))->topLevelItemCount() ==
        0)
        std::printf("            the details window shows nothing!\n");
    std::printf("            a keystroke in the pane: %.3f ms alone, %.3f ms with the details\n",
                alone, withDetails);
    return withDetails - alone;
}

// Milliseconds of varnex-edid decode --json over all files in one run, and of edid-decode run
// once for each file.
std::pair<double, double> decodeCommandsMs(const QStringList &files)
{
    const auto runs = [](const QString &program, const QStringList &arguments) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        process.waitForFinished(-1);
    };
    const double ours = millisecondsOf([&] {
        runs(QStringLiteral(VARNEX_CLI),
             QStringList{QStringLiteral("decode"), QStringLiteral("--json")} + files);
    });
    const double theirs = millisecondsOf([&] {
        for (const QString &file : files)
            runs(QStringLiteral("edid-decode"), {file});
    });
    return {ours, theirs};
}

// Microseconds of one build, the mean of rounds builds; a build that is refused stops the run.
double buildMicroseconds(const std::function<ComposedEdid()> &build, int rounds)
{
    std::size_t bytes = 0; // used, so that no build is left out
    const double ms = millisecondsOf([&] {
        for (int i = 0; i < rounds; ++i) {
            const ComposedEdid made = build();
            if (!made.image) {
                std::fprintf(stderr, "refused: %s\n", made.refusal.c_str());
                std::exit(2);
            }
            bytes += made.size;
        }
    });
    return bytes ? 1000 * ms / rounds : 0;
}

// The median and the slowest preset, and the EDID of ten modes, built 2000 times each.
void newEdidTimings()
{
    std::vector<double> presets;
    const char *slowest = nullptr;
    double slowestUs = 0;
    for (const EdidPreset &preset : edidPresets()) {
        presets.push_back(buildMicroseconds([&] { return presetEdid(preset.name); }, 2000));
        if (presets.back() > slowestUs)
            slowestUs = presets.back(), slowest = preset.name;
    }
    std::printf("new preset: %.2f us (median of %zu presets; the slowest, %s, %.2f us); under "
                "50 us: %s\n",
                median(presets), presets.size(), slowest, slowestUs, verdict(slowestUs < 50));
    ModeListRequest request;
    for (const char *mode :
         {"2560x1440@60", "1920x1080@60", "1280x720@60", "1600x900@75", "1680x1050@60",
          "1366x768@60", "3840x2160@30", "1024x768@60", "1234x567@60", "720x576@50"})
        request.modes.push_back({mode, false});
    const double modesUs = buildMicroseconds([&] { return modeListEdid(request); }, 2000);
    std::printf("new modes : ten modes (4 VICs, 3 DMT, 3 CVT) %.2f us; under 50 us: %s\n", modesUs,
                verdict(modesUs < 50));
}

} // namespace

int main(int argc, char *argv[])
{
    const int reads = argc > 1 ? std::atoi(argv[1]) : 30;
    const int writes = argc > 2 ? std::atoi(argv[2]) : 5;
    const int startups = argc > 3 ? std::atoi(argv[3]) : 10;
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // the probes inherit it
    QApplication application(argc, argv);
    useUsbLibrary(&tool);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));

    MainWindow window;
    window.show();
    QApplication::processEvents();
    auto *selector = window.findChild<QComboBox *>(QStringLiteral("EdidAddress"));

    // Read: sixteen reads and the counters command.
    const std::uint8_t current = kEdidSources[0].address;
    std::vector<std::vector<std::uint8_t>> readCommands;
    std::vector<std::uint32_t> readReplies;
    ReadCommand read{};
    for (unsigned offset = 0; offset < EdidImage::kSize; offset += kMaxReadLength) {
        read = CmdReadEdid(current, offset, kMaxReadLength);
        readCommands.emplace_back(read.begin(), read.end());
        readReplies.push_back(kMaxReadLength);
    }
    const CountersCommand counters = CmdGetCounters(read);
    readCommands.emplace_back(counters.begin(), counters.end());
    readReplies.push_back(kCountersReplyLength);
    selector->setCurrentIndex(0);
    window.DoReadEDID(); // warm-up; leaves the EDID in the pane for the write
    const double readMs = medianMs(reads, [&] { window.DoReadEDID(); });
    const double bareReadMs = medianMs(reads, [&] { bareTransfer(readCommands, readReplies); });
    EdidImage readImage;
    const double sequenceReadMs =
        medianMs(reads, [&] { readEdidFromTool(readImage, [](int, int) {}); });

    // Write: thirty-two rows into "Custom EDID 6".
    EdidImage image;
    image.bytes.fill(0x5A);
    std::vector<std::vector<std::uint8_t>> writeCommands;
    for (unsigned offset = 0; offset < EdidImage::kSize; offset += kWriteRowLength) {
        const WriteCommand write = CmdWriteEdid(kEdidSources[2].address, offset, &image.bytes[0]);
        writeCommands.emplace_back(write.begin(), write.end());
    }
    const std::vector<std::uint32_t> writeReplies(writeCommands.size(), kWriteReplyLength);
    selector->setCurrentIndex(2);
    const double writeMs = medianMs(writes, [&] { window.DoWriteEDID(); });
    const double bareWriteMs = medianMs(writes, [&] { bareTransfer(writeCommands, writeReplies); });
    const double sequenceWriteMs =
        medianMs(writes, [&] { writeEdidToTool(image, [](int, int) {}); });

    const double readAdded = readMs - bareReadMs;
    const double writeAdded = writeMs - bareWriteMs;
    const double pacingMs =
        32.0 * std::chrono::duration<double, std::milli>(kWriteRowPause).count();
    std::printf("Varnex EDID utility benchmark: virtual tool, platform %s, medians of %d reads, "
                "%d writes, %d start-ups each\n",
                qPrintable(QApplication::platformName()), reads, writes, startups);
    std::printf("full read : end to end %8.3f ms, tool alone %6.3f ms, added %8.3f ms = %.4f ms "
                "per command (17 commands); well under 1 ms per command: %s\n",
                readMs, bareReadMs, readAdded, readAdded / 17, verdict(readAdded / 17 < 0.5));
    std::printf("            of the added time the window (progress bar, pane) takes %.3f ms\n",
                readMs - sequenceReadMs);
    std::printf("full write: end to end %8.3f ms, tool alone %6.3f ms, added %8.3f ms, of which "
                "pacing %.0f ms (%.2f %%), the rest %.3f ms; pacing dominates: %s\n",
                writeMs, bareWriteMs, writeAdded, pacingMs, 100 * pacingMs / writeAdded,
                writeAdded - pacingMs, verdict(pacingMs / writeAdded > 0.9));
    std::printf("            of the added time the window (progress bar) takes %.3f ms\n",
                writeMs - sequenceWriteMs);

    const QStringList files = sampleFiles();
    const double decodeUs = decodeMicroseconds(sampleImages(files), 200);
    std::printf("decode    : one EDID %.2f us (median over %lld sample EDIDs); under 5 us: %s\n",
                decodeUs, qlonglong(files.size()), verdict(decodeUs < 5));
    const auto [mergeUs, slowestMergeUs] = mergeMicroseconds(sampleImages(files), 200);
    std::printf("merge     : four EDIDs %.2f us (median over the runs of four sample EDIDs that "
                "merge, slowest %.2f us); under 100 us: %s\n",
                mergeUs, slowestMergeUs, verdict(mergeUs < 100));
    selector->setCurrentIndex(1);
    window.DoReadEDID();
    const double refreshMs = refreshMilliseconds(window, 50);
    std::printf("details   : refresh after one keystroke %.3f ms (median of 50); under 5 ms: %s\n",
                refreshMs, verdict(refreshMs < 5));
    const auto [oursMs, theirsMs] = decodeCommandsMs(files);
    std::printf("decode all: varnex-edid decode --json over %lld files in one run %.1f ms, "
                "edid-decode once per file %.1f ms; %.1f times faster, at least 20: %s\n",
                qlonglong(files.size()), oursMs, theirsMs, theirsMs / oursMs,
                verdict(theirsMs / oursMs >= 20));

    newEdidTimings();

    std::vector<double> utilityMs, bareMs, utilityKb, bareKb;
    runProbe(VARNEX_STARTUP_UTILITY); // warm the file cache for both
    runProbe(VARNEX_STARTUP_BARE);
    for (int i = 0; i < startups; ++i) {
        const ProcessRun utility = runProbe(VARNEX_STARTUP_UTILITY);
        const ProcessRun bare = runProbe(VARNEX_STARTUP_BARE);
        utilityMs.push_back(utility.startupMs);
        bareMs.push_back(bare.startupMs);
        utilityKb.push_back(utility.peakKb);
        bareKb.push_back(bare.peakKb);
    }
    std::printf("start-up to a shown window: utility %7.2f ms, bare Qt 6 window %7.2f ms, ratio "
                "%.3f\n",
                median(utilityMs), median(bareMs), median(utilityMs) / median(bareMs));
    std::printf("peak memory              : utility %7.0f kB, bare Qt 6 window %7.0f kB, ratio "
                "%.3f\n",
                median(utilityKb), median(bareKb), median(utilityKb) / median(bareKb));
    return 0;
}
