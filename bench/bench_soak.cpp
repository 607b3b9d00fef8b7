// Soak run: many module instances, each scanning its own folder while writers add records to
// files there; at the end every record written must have reached the host exactly once. Then
// the CPU that the same number of idle instances (all three modes on, nothing to read) costs.
//
// Writers: "lock" (default) are threads that append under the cooperating exclusive lock;
// "nolock" are separate processes that take no lock at all, as loggers, copies and shell
// redirects do: some open, append and close at once, some keep the file open for up to about
// two scan intervals while they append, some write without O_APPEND from the end they found.
// Read mode 0 deletes, 1 empties, 2 keeps the files (then the host must have received exactly
// the files' contents: nothing twice although the files stay). Run:
//   build/default/bin/bench_soak [--instances 16] [--seconds 600] [--idle-seconds 60]
//                                [--read-mode 0|1|2] [--writers lock|nolock]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

void WriteIni(const TInstance &inst, bool withData, int readMode) {
    brevor::host::TIniText ini(inst.ini);
    ini.Set("General", "Folder", brevor::host::TIniText::Escape(inst.folder));
    ini.Set("General", "Scan interval", "1");
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", withData ? "*.log" : "*.none");
    ini.Set("Mode1", "Read", std::to_string(readMode));
    ini.Set("Mode2", "Active", "True");
    ini.Set("Mode2", "Prefix", "stamp_");
    ini.Set("Mode3", "Active", "True");
    ini.Set("Mode3", "Schedule", "*||*||*||*||*||0||*.sched||2%0D%0A");
    ini.Save();
}

std::string Record(int instance, long record, std::mt19937 &rng) {
    return "instance " + std::to_string(instance) + " record " + std::to_string(record) + " " +
           std::string(rng() % 200, 'x') + "\n";
}

bool WriteAll(int fd, const std::string &bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A writer process that takes no lock: adds records to the folder's files for `seconds`, and
// each record it wrote to its journal (outside the folder), which the parent reads at the end.
int RunPlainWriter(int instance, const std::string &folder, const std::string &journal,
                   double seconds) {
    std::mt19937 rng(static_cast<unsigned>(instance) * 7919u + 1u);
    std::ofstream out(journal, std::ios::binary);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    long record = 0;
    while (Clock::now() < end) {
        const std::string file = folder + "/feed" + std::to_string(rng() % 3) + ".log";
        const unsigned style = rng() % 4;
        const bool append = style != 3;
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : 0), 0644);
        if (fd < 0) continue;
        if (!append) ::lseek(fd, 0, SEEK_END);
        // Styles 0 and 1: one record and close; 2 and 3: several, holding the file open.
        const int records = style < 2 ? 1 : 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < records; ++k) {
            const std::string line = Record(instance, record, rng);
            if (!WriteAll(fd, line)) break;
            out << line;
            ++record;
            if (style >= 2) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 400));
        }
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
    }
    return out.good() ? 0 : 1;
}

// Lines of a text, counted.
std::map<std::string, int> Lines(const std::string &text) {
    std::map<std::string, int> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            ++lines["<partial>"];
            break;
        }
        ++lines[text.substr(pos, end - pos + 1)];
        pos = end + 1;
    }
    return lines;
}

std::string ReadWhole(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
    // A writer process started by the run below: --plain-writer instance folder journal seconds.
    if (argc == 6 && std::strcmp(argv[1], "--plain-writer") == 0)
        return RunPlainWriter(std::atoi(argv[2]), argv[3], argv[4], std::atof(argv[5]));
    int instances = 16;
    double seconds = 600;
    double idleSeconds = 60;
    int readMode = 0;
    bool plainWriters = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--instances") == 0) instances = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--idle-seconds") == 0) idleSeconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--read-mode") == 0) readMode = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--writers") == 0)
            plainWriters = std::strcmp(argv[i + 1], "nolock") == 0;
    }
    if (readMode < 0 || readMode > 2) {
        std::fprintf(stderr, "--read-mode must be 0, 1 or 2\n");
        return 2;
    }
    const std::filesystem::path base = std::filesystem::temp_directory_path() / "brevor-soak";
    std::filesystem::remove_all(base);
    brevor::host::TLoadedModule module(brevor::host::DefaultModulePath());

    std::vector<TInstance> all;
    for (int i = 0; i < instances; ++i) {
        TInstance inst{1000 + i, (base / ("folder" + std::to_string(i))).string(),
                       (base / ("instance" + std::to_string(i) + ".ini")).string()};
        std::filesystem::create_directories(inst.folder);
        WriteIni(inst, true, readMode);
        all.push_back(inst);
    }
    for (const TInstance &inst : all) {
        Command(module, inst, "LOAD");
        Command(module, inst, "LOAD-SETTINGS-NOW");
        Command(module, inst, "SET-STATE", 1u << mttDataQuery, 1);
    }

    // Writers: one per instance. Cooperating threads append under the exclusive lock; plain
    // writers are processes of this program that take no lock.
    std::atomic<bool> stop{false};
    std::vector<std::string> written(static_cast<size_t>(instances));
    std::vector<std::thread> writers;
    std::vector<pid_t> children;
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < instances && plainWriters; ++i) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string journal = (base / ("journal" + std::to_string(i))).string();
        const std::string number = std::to_string(i);
        const std::string duration = std::to_string(seconds);
        std::vector<char *> args = {const_cast<char *>(self.c_str()),
                                    const_cast<char *>("--plain-writer"),
                                    const_cast<char *>(number.c_str()),
                                    const_cast<char *>(all[static_cast<size_t>(i)].folder.c_str()),
                                    const_cast<char *>(journal.c_str()),
                                    const_cast<char *>(duration.c_str()),
                                    nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, args.data(), environ) != 0) {
            std::fprintf(stderr, "cannot start a writer process\n");
            return 2;
        }
        children.push_back(pid);
    }
    for (int i = 0; i < instances && !plainWriters; ++i) {
        writers.emplace_back([&, i] {
            std::mt19937 rng(static_cast<unsigned>(i));
            long record = 0;
            while (!stop) {
                const std::string file = all[static_cast<size_t>(i)].folder + "/feed" +
                                         std::to_string(rng() % 3) + ".log";
                const std::string line = Record(i, record, rng);
                if (brevor::platform::AppendExclusive(file, line.data(), line.size())) {
                    written[static_cast<size_t>(i)] += line;
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
    int writerFailures = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        ::waitpid(children[i], &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++writerFailures;
        written[i] = ReadWhole(base / ("journal" + std::to_string(i)));
    }
    // Let the scans take what is left: until the folders are empty (mode 0), their files are
    // empty (mode 1), or the host holds as many bytes as the files (mode 2).
    auto drained = [&] {
        for (int i = 0; i < instances; ++i) {
            std::uintmax_t onDisk = 0;
            bool any = false;
            for (const auto &entry :
                 std::filesystem::directory_iterator(all[static_cast<size_t>(i)].folder)) {
                any = true;
                onDisk += entry.file_size();
            }
            if (readMode == 0 && any) return false;
            if (readMode == 1 && onDisk != 0) return false;
            if (readMode == 2) {
                std::lock_guard lock(g_mutex);
                if (g_received[static_cast<std::uintptr_t>(1000 + i)].size() != onDisk)
                    return false;
            }
        }
        return true;
    };
    const auto drainStart = Clock::now();
    while (!drained() && std::chrono::duration<double>(Clock::now() - drainStart).count() < 30)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // One more scan interval: anything sent twice would arrive now.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const double busyCpu = CpuSeconds() - cpuStart;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    // Every instance received each record its writer wrote exactly once (records are unique).
    // In mode 2 the files stay, so the host must also hold exactly what they hold.
    int bad = 0;
    long long bytes = 0;
    long long lost = 0;
    long long doubled = 0;
    long long records = 0;
    for (int i = 0; i < instances; ++i) {
        const std::map<std::string, int> expected = Lines(written[static_cast<size_t>(i)]);
        std::string r;
        {
            std::lock_guard lock(g_mutex);
            r = g_received[static_cast<std::uintptr_t>(1000 + i)];
        }
        bytes += static_cast<long long>(r.size());
        const std::map<std::string, int> got = Lines(r);
        long long instLost = 0;
        long long instDoubled = 0;
        for (const auto &[line, n] : expected) {
            records += n;
            const auto it = got.find(line);
            const int g = it == got.end() ? 0 : it->second;
            if (g < n) instLost += n - g;
            if (g > n) instDoubled += g - n;
        }
        for (const auto &[line, n] : got) {
            if (expected.count(line) == 0) instDoubled += n;  // never written, or a torn line
        }
        bool filesMatch = true;
        if (readMode == 2) {
            std::map<std::string, int> onDisk;
            for (const auto &entry :
                 std::filesystem::directory_iterator(all[static_cast<size_t>(i)].folder)) {
                for (const auto &[line, n] : Lines(ReadWhole(entry.path())))
                    onDisk[line] += n;
            }
            filesMatch = onDisk == got;
        }
        lost += instLost;
        doubled += instDoubled;
        if (instLost != 0 || instDoubled != 0 || !filesMatch) {
            ++bad;
            std::printf("instance %d: %lld record(s) lost, %lld doubled or torn%s\n", i, instLost,
                        instDoubled, filesMatch ? "" : ", host differs from the files");
        }
    }
    std::printf(
        "soak: %d instances, read mode %d, %s writers, %.0f s writing + drain (%.1f s total), "
        "%lld records, %lld bytes in %lld chunks, %lld lost, %lld doubled, %d instance(s) "
        "wrong, %d writer(s) failed, CPU %.1f s (%.1f%% of one core)\n",
        instances, readMode, plainWriters ? "plain (no lock)" : "cooperating", seconds, elapsed,
        records, bytes, g_chunks.load(), lost, doubled, bad, writerFailures, busyCpu,
        100 * busyCpu / elapsed);

    // Idle: every mode on, nothing to read.
    for (const TInstance &inst : all) {
        WriteIni(inst, false, readMode);
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
    return bad == 0 && writerFailures == 0 ? 0 : 1;
}
