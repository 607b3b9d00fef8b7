// The file feed's speed and memory: one large file sent with small and large chunks next to a
// plain reader of the same file, and one scan of a large folder. Run:
//   build/default/bin/bench_file_transfer [--size-mb N] [--files N] [--dir DIR]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_os.h"
#include "engine/file_transfer.h"
#include "engine/scan_modes.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int32_t NoOpSend(std::uintptr_t, std::int32_t, std::int32_t, const void *, std::int32_t n) {
    return n;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void WriteFile(const std::string &path, std::size_t bytes) {
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>('a' + i % 26);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t done = 0; done < bytes; done += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - done)));
}

double SendSeconds(const std::string &folder, const std::string &name, std::int32_t chunk) {
    brevor::TFileTransfer engine(
        [](brevor::TTransferOutcome outcome, const std::string &, std::int64_t) {
            const brevor::TOutcomeInfo &info = brevor::OutcomeInfo(outcome);
            if (info.level == 0) std::fprintf(stderr, "engine: %s\n", info.msgId);
        });
    const brevor::TSendTarget target{&NoOpSend, 0, 1};
    const auto start = Clock::now();
    engine.ProcessFile(target, folder, name, chunk, false, brevor::ReadAndNoChange);
    return Seconds(start);
}

}  // namespace

int main(int argc, char **argv) {
    std::size_t sizeMb = 1024;
    int files = 100000;
    std::string dir = (std::filesystem::temp_directory_path() / "brevor-bench").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size-mb") == 0) sizeMb = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
    }
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/big");
    std::filesystem::create_directories(dir + "/many");

    // ---- throughput
    const std::string big = dir + "/big/data.bin";
    const double mb = static_cast<double>(sizeMb);
    WriteFile(big, sizeMb << 20);
    brevor::bench::PlainReadSeconds(big);  // warm the page cache for both readers
    const long rssBefore = brevor::bench::PeakMemoryKb();
    std::printf("file of %zu MiB (page cache warm)\n", sizeMb);
    const double plain = brevor::bench::PlainReadSeconds(big);
    std::printf("  %-22s %8.3f s  %9.0f MB/s\n", brevor::bench::PlainReaderName(), plain,
                mb / plain);
    for (std::int32_t chunk : {65536, 128}) {
        const double s = SendSeconds(dir + "/big", "data.bin", chunk);
        std::printf("  chunk %6d            %8.3f s  %9.0f MB/s  %.2fx the plain reader's time\n",
                    chunk, s, mb / s, s / plain);
    }
    std::printf("  peak memory growth while sending: %ld KiB\n",
                brevor::bench::PeakMemoryKb() - rssBefore);
    std::filesystem::remove(big);

    // ---- scans of a large folder
    std::printf("folder of %d files\n", files);
    for (int i = 0; i < files; ++i) {
        const std::string name =
            i < 100 ? "match-" + std::to_string(i) + ".csv" : "other-" + std::to_string(i) + ".dat";
        std::ofstream(dir + "/many/" + name) << "x";
    }
    brevor::TFileTransfer engine(
        [](brevor::TTransferOutcome, const std::string &, std::int64_t) {});
    brevor::TFileScanner scanner(engine);
    brevor::TScanSettings settings;
    settings.Folder = dir + "/many";
    settings.ReadModeSM = brevor::ReadAndNoChange;
    const brevor::TSendTarget target{&NoOpSend, 0, 1};

    settings.FileSM = "*.csv";
    scanner.ScanSimpleMode(target, settings);  // first scan sends the 100 matches
    const long rssScan = brevor::bench::PeakMemoryKb();
    auto start = Clock::now();
    scanner.ScanSimpleMode(target, settings);
    std::printf("  scan, 100 of them match       %8.1f ms\n", Seconds(start) * 1000);

    settings.FileSM = "*.*";
    scanner.ScanSimpleMode(target, settings);  // every file gets a state
    start = Clock::now();
    scanner.ScanSimpleMode(target, settings);
    std::printf("  scan, all carry a state       %8.1f ms\n", Seconds(start) * 1000);

    settings.FileSM = "nothing.matches";
    start = Clock::now();
    scanner.ScanSimpleMode(target, settings);
    std::printf("  scan, none match (states kept) %7.1f ms\n", Seconds(start) * 1000);
    std::printf("  peak memory growth while scanning: %ld KiB\n",
                brevor::bench::PeakMemoryKb() - rssScan);
    std::filesystem::remove_all(dir);
    return 0;
}
