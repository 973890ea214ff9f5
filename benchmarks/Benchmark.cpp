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
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Figures are medians.
#include "EdidSources.h"
#include "EdidTransfer.h"
#include "MainWindow.h"
#include "ToolCommands.h"
#include "UsbAccess.h"
#include "VirtualTool.h"

#include <QApplication>
#include <QComboBox>
#include <QLoggingCategory>

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
