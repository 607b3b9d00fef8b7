// Soak run: many module instances, each scanning its own folder while writer threads append to
// files there; at the end every byte written must have reached the host exactly once, in order.
// Then the CPU that the same number of idle instances (all three modes on, nothing to read)
// costs. Run:
//   build/default/bin/bench_soak [--instances 16] [--seconds 600] [--idle-seconds 60]

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host_module.h"
#include "ini_text.h"
#include "params_builder.h"
#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;

// Received bytes per instance (host context) and file: chunks arrive per file in order, and a
// file's chunks are never interleaved with another file's within one instance.
std::mutex g_mutex;
std::map<std::uintptr_t, std::string> g_received;
std::atomic<long long> g_chunks{0};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TInstance {
    std::int32_t id;
    std::string folder;
    std::string ini;
};

std::int32_t Command(const brevor::host::TLoadedModule &m, const TInstance &inst, const char *name,
                     std::uint8_t types = 0, std::int32_t result = -1) {
    brevor::host::TParamsBuilder p;
    p.Add("COMMAND", name).Add("INI-FILE", inst.ini);
    if (std::strcmp(name, "LOAD") == 0) {
        p.Add("HANDLE", static_cast<std::int64_t>(brevor::host::HostProgramHandle()))
            .Add("DATA-SOURCE-ID", inst.id)
            .Add("TEMPORARY-LOAD", false);
    }
    if (result >= 0) p.Add("RESULT", result);
    TPluginCallRec rec =
        brevor::host::MakeCallRecord(inst.id, p.List(), static_cast<std::uintptr_t>(inst.id));
    rec.ModuleTypes = types;
    return m->ExecutePluginCommand(&rec);
}

void WriteIni(const TInstance &inst, bool withData) {
    brevor::host::TIniText ini(inst.ini);
    ini.Set("General", "Folder", brevor::host::TIniText::Escape(inst.folder));
    ini.Set("General", "Scan interval", "1");
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", withData ? "*.log" : "*.none");
    ini.Set("Mode1", "Read", "0");
    ini.Set("Mode2", "Active", "True");
    ini.Set("Mode2", "Prefix", "stamp_");
    ini.Set("Mode3", "Active", "True");
    ini.Set("Mode3", "Schedule", "*||*||*||*||*||0||*.sched||2%0D%0A");
    ini.Save();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t fSendData(std::uintptr_t context,
                                                                         std::int32_t, std::int32_t,
                                                                         const void *bytes,
                                                                         std::int32_t n) {
    std::lock_guard lock(g_mutex);
    g_received[context].append(static_cast<const char *>(bytes), static_cast<size_t>(n));
    ++g_chunks;
    return n;
}

int main(int argc, char **argv) {
    int instances = 16;
    double seconds = 600;
    double idleSeconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--instances") == 0) instances = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--idle-seconds") == 0) idleSeconds = std::atof(argv[i + 1]);
    }
    const std::filesystem::path base = std::filesystem::temp_directory_path() / "brevor-soak";
    std::filesystem::remove_all(base);
    brevor::host::TLoadedModule module(brevor::host::DefaultModulePath());

    std::vector<TInstance> all;
    for (int i = 0; i < instances; ++i) {
        TInstance inst{1000 + i, (base / ("folder" + std::to_string(i))).string(),
                       (base / ("instance" + std::to_string(i) + ".ini")).string()};
        std::filesystem::create_directories(inst.folder);
        WriteIni(inst, true);
        all.push_back(inst);
    }
    for (const TInstance &inst : all) {
        Command(module, inst, "LOAD");
        Command(module, inst, "LOAD-SETTINGS-NOW");
        Command(module, inst, "SET-STATE", 1u << mttDataQuery, 1);
    }

    // Writers: one per instance, appending records to a few files under the cooperating lock.
    std::atomic<bool> stop{false};
    std::vector<std::string> written(static_cast<size_t>(instances));
    std::vector<std::thread> writers;
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < instances; ++i) {
        writers.emplace_back([&, i] {
            std::mt19937 rng(static_cast<unsigned>(i));
            long record = 0;
            while (!stop) {
                const std::string file = all[static_cast<size_t>(i)].folder + "/feed" +
                                         std::to_string(rng() % 3) + ".log";
                std::string line = "instance " + std::to_string(i) + " record " +
                                   std::to_string(record) + " " + std::string(rng() % 200, 'x') +
                                   "\n";
                if (brevor::platform::AppendExclusive(file, line.data(), line.size())) {
                    // Per instance, files are consumed one at a time; keep per-file order by
                    // recording what went into which file.
                    written[static_cast<size_t>(i)] += file + "\x01" + line;
                    ++record;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
            }
        });
    }
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
    for (auto &w : writers)
        w.join();
    // Let the scans take what is left.
    const auto drainStart = Clock::now();
    for (;;) {
        bool empty = true;
        for (const TInstance &inst : all) {
            for (const auto &entry : std::filesystem::directory_iterator(inst.folder)) {
                (void)entry;
                empty = false;
            }
        }
        if (empty || std::chrono::duration<double>(Clock::now() - drainStart).count() > 30) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const double busyCpu = CpuSeconds() - cpuStart;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    // Every instance received, byte for byte, the records its writer put into its files. Files
    // are sent whole one after another, so compare the multiset of lines per instance.
    int bad = 0;
    long long bytes = 0;
    for (int i = 0; i < instances; ++i) {
        std::map<std::string, int> expected;
        const std::string &w = written[static_cast<size_t>(i)];
        size_t pos = 0;
        while (pos < w.size()) {
            const size_t mark = w.find('\x01', pos);
            const size_t end = w.find('\n', mark);
            ++expected[w.substr(mark + 1, end - mark)];
            pos = end + 1;
        }
        std::map<std::string, int> got;
        std::string r;
        {
            std::lock_guard lock(g_mutex);
            r = g_received[static_cast<std::uintptr_t>(1000 + i)];
        }
        bytes += static_cast<long long>(r.size());
        pos = 0;
        while (pos < r.size()) {
            const size_t end = r.find('\n', pos);
            if (end == std::string::npos) {
                ++got["<partial>"];
                break;
            }
            ++got[r.substr(pos, end - pos + 1)];
            pos = end + 1;
        }
        if (got != expected) {
            ++bad;
            std::printf("instance %d: received lines differ from written lines\n", i);
        }
    }
    std::printf(
        "soak: %d instances, %.0f s writing + drain (%.1f s total), %lld bytes in %lld "
        "chunks, %d instance(s) with lost or doubled data, CPU %.1f s (%.1f%% of one "
        "core)\n",
        instances, seconds, elapsed, bytes, g_chunks.load(), bad, busyCpu, 100 * busyCpu / elapsed);

    // Idle: every mode on, nothing to read.
    for (const TInstance &inst : all) {
        WriteIni(inst, false);
        Command(module, inst, "LOAD-SETTINGS-NOW");
    }
    const double idleCpuStart = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double idleCpu = CpuSeconds() - idleCpuStart;
    std::printf("idle: %d instances, all three modes on, %.0f s: CPU %.3f s (%.3f%% of one core)\n",
                instances, idleSeconds, idleCpu, 100 * idleCpu / idleSeconds);

    for (const TInstance &inst : all) {
        Command(module, inst, "UNLOAD");
        TPluginCallRec rel = brevor::host::MakeReleaseRecord(inst.id);
        module->GetModuleType(&rel);
    }
    std::filesystem::remove_all(base);
    return bad == 0 ? 0 : 1;
}
