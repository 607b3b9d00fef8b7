// brevor-host: the reference host program. It loads a Brevor module and drives it through its
// exports the way a data-logging host does: it creates an instance, loads it with a settings
// location and its messages window, switches it on, prints every chunk the module hands over
// and every log line it reports, and unloads it at the end.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host_module.h"
#include "host_os.h"
#include "ini_text.h"
#include "messages_window.h"
#include "params_builder.h"

namespace {

using brevor::host::TLoadedModule;
using brevor::host::TMessagesWindow;
using brevor::host::TParamsBuilder;

// What the host has received, for the printout and the status line.
struct TReceived {
    std::mutex printMutex;
    std::atomic<long long> chunks{0};
    std::atomic<long long> bytes{0};
    std::atomic<long long> filesSent{0};
    std::atomic<bool> quiet{false};
    std::atomic<bool> showChannel{false};
    std::atomic<bool> statusShown{false};
};
TReceived g_received;
std::atomic<bool> g_stop{false};

void OnStop() {
    g_stop = true;
}

bool IsPrintable(const unsigned char *p, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return false;
        if (c == 0x7F) return false;
    }
    return true;
}

// Clears the status line before anything else is printed on a terminal.
void ClearStatus() {
    if (g_received.statusShown.exchange(false)) std::fputs("\r\033[K", stdout);
}

void PrintChunk(std::int32_t dataSourceId, const unsigned char *p, std::int32_t n) {
    const long long number = ++g_received.chunks;
    g_received.bytes += n;
    if (g_received.quiet) return;
    std::string shown;
    if (IsPrintable(p, n)) {
        shown = "text \"";
        for (std::int32_t i = 0; i < n; ++i) {
            const char c = static_cast<char>(p[i]);
            if (c == '\r')
                shown += "\\r";
            else if (c == '\n')
                shown += "\\n";
            else if (c == '\t')
                shown += "\\t";
            else
                shown += c;
        }
        shown += "\"";
    } else {
        shown = "hex ";
        char hex[4];
        for (std::int32_t i = 0; i < n; ++i) {
            std::snprintf(hex, sizeof hex, "%02x", p[i]);
            shown += hex;
        }
    }
    std::lock_guard lock(g_received.printMutex);
    ClearStatus();
    std::printf("chunk %lld  source %d  %d bytes  %s\n", number, dataSourceId, n, shown.c_str());
    std::fflush(stdout);
}

// How a log line reached the host.
enum class TLogChannel { Window, Fetched };

void PrintLogLine(int level, const std::string &text, TLogChannel channel) {
    static const char *const kLevels[] = {"error", "warning", "info"};
    if (text.find("have been sent successfully") != std::string::npos) ++g_received.filesSent;
    std::lock_guard lock(g_received.printMutex);
    ClearStatus();
    const char *shownChannel = !g_received.showChannel          ? ""
                               : channel == TLogChannel::Window ? "[window] "
                                                                : "[fetched] ";
    std::printf("log   %-7s  %s%s\n", level >= 0 && level <= 2 ? kLevels[level] : "?", shownChannel,
                text.c_str());
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: brevor-host COMMAND [options]\n"
        "  info [MODULE]             print what the module declares about itself\n"
        "  run [options]             load an instance, switch it on and print what it sends\n"
        "  demo [options]            make a demo folder with sample files and run until they\n"
        "                            have been sent\n"
        "  save-settings --ini FILE  write the instance's settings to FILE\n"
        "  load-settings --ini FILE  import settings from FILE into the instance's own INI\n"
        "  options --ini FILE        show the options dialog for the settings in FILE and print\n"
        "                            the status it returned (exit 0 when the dialog closed,\n"
        "                            with or without changes, 1 otherwise)\n"
        "options:\n"
        "  --module PATH     the module (default: brevor.so beside this program)\n"
        "  --settings FILE   the instance's INI file (default: brevor-host.ini)\n"
        "  --section PREFIX  INI section prefix (also --section-prefix PREFIX)\n"
        "  --language CODE   language of the options dialog (LANGUAGE)\n"
        "  --source ID       data-source id passed at LOAD (default 1)\n"
        "  --for SECONDS     stop after this long (default: until Ctrl-C)\n"
        "  --folder DIR --mask MASK --interval SECONDS --chunk BYTES --read-mode 0-3 --decode\n"
        "                    override the INI's simple-scan settings\n"
        "  --quiet           print log lines but not chunks\n"
        "  --show-channel    mark each log line [window] (sent to the messages window) or\n"
        "                    [fetched] (queued, then taken with GetLogEx)\n");
    return 2;
}

struct TOptions {
    std::string module;
    std::string settings = "brevor-host.ini";
    std::string section;
    std::string ini;  // save-settings / load-settings target, options dialog settings
    std::string language;
    std::int32_t source = 1;
    double seconds = 0;
    std::vector<std::pair<std::string, std::string>> overrides;  // key in Mode1/General, value
    bool quiet = false;
    bool showChannel = false;
};

bool ParseOptions(const std::vector<std::string> &args, TOptions &o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--module") {
            if (!value(o.module)) return false;
        } else if (a == "--settings") {
            if (!value(o.settings)) return false;
        } else if (a == "--section" || a == "--section-prefix") {
            if (!value(o.section)) return false;
        } else if (a == "--ini") {
            if (!value(o.ini)) return false;
        } else if (a == "--language") {
            if (!value(o.language)) return false;
        } else if (a == "--source") {
            if (!value(v)) return false;
            o.source = std::atoi(v.c_str());
        } else if (a == "--for") {
            if (!value(v)) return false;
            o.seconds = std::atof(v.c_str());
        } else if (a == "--folder") {
            if (!value(v)) return false;
            o.overrides.emplace_back("General\\Folder", v);
        } else if (a == "--mask") {
            if (!value(v)) return false;
            o.overrides.emplace_back("Mode1\\File", v);
            o.overrides.emplace_back("Mode1\\Active", "True");
        } else if (a == "--interval") {
            if (!value(v)) return false;
            o.overrides.emplace_back("General\\Scan interval", v);
        } else if (a == "--chunk") {
            if (!value(v)) return false;
            o.overrides.emplace_back("General\\Block size", v);
        } else if (a == "--read-mode") {
            if (!value(v)) return false;
            o.overrides.emplace_back("Mode1\\Read", v);
        } else if (a == "--decode") {
            o.overrides.emplace_back("Mode1\\Decode", "True");
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--show-channel") {
            o.showChannel = true;
        } else {
            std::fprintf(stderr, "brevor-host: unknown option %s\n", a.c_str());
            return false;
        }
    }
    if (o.module.empty()) o.module = brevor::host::DefaultModulePath();
    return true;
}

// Writes the overrides into the INI file the instance reads.
void ApplyOverrides(const TOptions &o) {
    if (o.overrides.empty()) return;
    brevor::host::TIniText ini(o.settings);
    for (const auto &[path, value] : o.overrides) {
        const auto slash = path.find('\\');
        std::string section = path.substr(0, slash);
        if (!o.section.empty()) section = o.section + "." + section;
        const bool isText = path == "General\\Folder" || path == "Mode1\\File";
        ini.Set(section, path.substr(slash + 1),
                isText ? brevor::host::TIniText::Escape(value) : value);
    }
    if (!ini.Save()) throw std::runtime_error("cannot write the settings file " + o.settings);
}

// One module instance driven the way a host does.
class TSession {
public:
    TSession(const TOptions &o) : options_(o), module_(o.module) {
        // Lines arrive at once through the window; the log-pending notice asks the host to
        // fetch the lines the module queued.
        window_.SetListener([this](const brevor::host::TWindowMessage &m) {
            if (m.Msg == BRV_WM_LOG_PENDING) {
                FetchQueuedLog();
                return;
            }
            for (const auto &line : TMessagesWindow::DecodeLines(m))
                PrintLogLine(line.Level, line.Text, TLogChannel::Window);
        });
    }

    std::int32_t Command(const char *name, TParamsBuilder &p, std::uint8_t moduleTypes = 0) {
        p.Add("COMMAND", name);
        TPluginCallRec rec = brevor::host::MakeCallRecord(kId, p.List(), kHostContext);
        rec.ModuleTypes = moduleTypes;
        return module_->ExecutePluginCommand(&rec);
    }

    void Load() {
        TParamsBuilder p;
        p.Add("INI-FILE", options_.settings)
            .Add("RegistryPath", "\\Software\\Brevor\\Host")
            .Add("HANDLE", static_cast<std::int64_t>(brevor::host::HostProgramHandle()))
            .Add("DATA-SOURCE-ID", options_.source)
            .Add("MessagesProcessorHandle", static_cast<std::int64_t>(window_.ModuleHandle()))
            .Add("TEMPORARY-LOAD", false);
        if (!options_.section.empty()) p.Add("INISectionPrefix", options_.section);
        Check("LOAD", Command("LOAD", p));
    }

    void LoadSettings(const std::string &ini) {
        TParamsBuilder p;
        p.Add("INI-FILE", ini);
        Command("LOAD-SETTINGS-NOW", p);  // -2 by design
    }

    void SaveSettings(const std::string &ini) {
        TParamsBuilder p;
        p.Add("INI-FILE", ini);
        Command("SAVE-SETTINGS-NOW", p);  // -2 by design
    }

    void SwitchOn() {
        TParamsBuilder p;
        p.Add("RESULT", static_cast<std::int32_t>(1));
        Check("SET-STATE", Command("SET-STATE", p, 1u << mttDataQuery));
    }

    // Shows the module's options dialog for the instance's settings and returns the status the
    // export reported.
    std::int32_t ShowOptions(const std::string &language) {
        TParamsBuilder p;
        p.Add("INI-FILE", options_.settings);
        if (!language.empty()) p.Add("LANGUAGE", language);
        TPluginCallRec rec = brevor::host::MakeCallRecord(kId, p.List(), kHostContext);
        rec.ResultValue = -1;
        module_->ShowOptionsDialog(&rec);
        return static_cast<std::int32_t>(rec.ResultValue);
    }

    // Takes the lines the module queued while the window did not answer. Called from the main
    // loop and from the window's thread, one at a time, so the lines print in their order.
    void FetchQueuedLog() {
        std::lock_guard lock(fetchMutex_);
        if (released_) return;
        std::string buffer(65536, '\0');
        TPluginCallRec rec = brevor::host::MakeCallRecord(kId);
        rec.Data = buffer.data();
        rec.BufferSize = static_cast<std::int32_t>(buffer.size());
        const std::int32_t n = module_->GetLogEx(&rec);
        if (n <= 0) return;
        size_t start = 0;
        const std::string text = buffer.substr(0, static_cast<size_t>(n));
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            if (!line.empty())
                PrintLogLine(static_cast<unsigned char>(line[0]) - 1, line.substr(1),
                             TLogChannel::Fetched);
            start = end + 2;
        }
    }

    // The final UNLOAD ends the module's use of the window, so the window closes before the
    // last fetch and the release: nothing calls into the instance after it is released.
    ~TSession() {
        TParamsBuilder p;
        p.Add("INI-FILE", options_.settings);
        Command("UNLOAD", p);
        window_.Close();
        FetchQueuedLog();
        {
            std::lock_guard lock(fetchMutex_);
            released_ = true;
        }
        TPluginCallRec rel = brevor::host::MakeReleaseRecord(kId);
        module_->GetModuleType(&rel);
    }

private:
    static void Check(const char *what, std::int32_t result) {
        if (result != 0)
            throw std::runtime_error(std::string(what) + " failed with " + std::to_string(result));
    }
    static constexpr std::int32_t kId = 1;
    static constexpr std::uintptr_t kHostContext = 0x484F5354;  // "HOST"

    const TOptions &options_;
    TLoadedModule module_;
    std::mutex fetchMutex_;
    bool released_ = false;  // guarded by fetchMutex_
    TMessagesWindow window_;
};

void ShowStatus(std::chrono::steady_clock::time_point start) {
    if (!brevor::host::os::StdoutIsTerminal()) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard lock(g_received.printMutex);
    std::printf("\r\033[K[%.0fs] files %lld  bytes %lld  chunks %lld (%.0f/s)", seconds,
                g_received.filesSent.load(), g_received.bytes.load(), g_received.chunks.load(),
                seconds > 0 ? static_cast<double>(g_received.chunks.load()) / seconds : 0.0);
    std::fflush(stdout);
    g_received.statusShown = true;
}

// Runs until Ctrl-C, the time limit, or done() says so.
int Run(const TOptions &o, const std::function<bool()> &done = nullptr) {
    ApplyOverrides(o);
    g_received.quiet = o.quiet;
    brevor::host::os::OnStopRequest(&OnStop);
    TSession session(o);
    session.Load();
    session.LoadSettings(o.settings);
    session.SwitchOn();
    const auto start = std::chrono::steady_clock::now();
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        session.FetchQueuedLog();
        ShowStatus(start);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (o.seconds > 0 && elapsed >= o.seconds) break;
        if (done && done()) break;
    }
    ClearStatus();
    std::printf("received %lld chunks, %lld bytes\n", g_received.chunks.load(),
                g_received.bytes.load());
    return 0;
}

int Demo(TOptions o) {
    namespace fs = std::filesystem;
    const fs::path base = fs::absolute("demo");
    const fs::path folder = base / "data";
    fs::create_directories(folder);
    struct Sample {
        const char *name;
        const char *text;
    };
    const Sample samples[] = {
        {"station-1.txt",
         "2026-12-10 10:00:00;temperature;21.5\r\n"
         "2026-12-10 10:01:00;temperature;21.6\r\n"},
        {"station-2.txt", "2026-12-10 10:00:00;pressure;1013.2\r\n"},
        // Escapes: "#3B" is ";", "#0D#0A" a line break, "##" one "#".
        {"escaped.txt", "level#3B42##7#0D#0Aflow#3B3.5#0D#0A"},
    };
    std::vector<fs::path> files;
    for (const Sample &s : samples) {
        std::ofstream(folder / s.name, std::ios::binary) << s.text;
        files.push_back(folder / s.name);
    }
    o.settings = (base / "brevor.ini").string();
    std::error_code ec;
    fs::remove(o.settings, ec);
    o.overrides.insert(o.overrides.begin(), {{"General\\Folder", folder.string()},
                                             {"General\\Scan interval", "1"},
                                             {"Mode1\\Active", "True"},
                                             {"Mode1\\File", "*.txt"},
                                             {"Mode1\\Decode", "True"},
                                             {"Mode1\\Read", "0"}});
    if (o.seconds <= 0) o.seconds = 30;
    std::printf("demo folder %s, settings %s\n", folder.string().c_str(), o.settings.c_str());
    const int rc = Run(o, [&] {
        for (const fs::path &f : files) {
            if (fs::exists(f)) return false;
        }
        return true;
    });
    for (const fs::path &f : files) {
        if (fs::exists(f)) {
            std::fprintf(stderr, "brevor-host: %s was not consumed\n", f.string().c_str());
            return 1;
        }
    }
    return rc;
}

int Settings(const TOptions &o, bool save) {
    if (o.ini.empty()) return Usage();
    TSession session(o);
    session.Load();
    if (save)
        session.SaveSettings(o.ini);
    else
        session.LoadSettings(o.ini);
    std::printf("%s %s\n", save ? "saved settings to" : "imported settings from", o.ini.c_str());
    return 0;
}

const char *OptionsStatusMeaning(std::int32_t status) {
    switch (status) {
        case 0:
            return "closed without change";
        case 1:
            return "settings changed";
        case 2:
            return "no instance";
        case 3:
            return "the module has no dialog";
        case 4:
            return "stopped on an error";
        default:
            return "unknown";
    }
}

// The instance is loaded with FILE as its own settings file, so the dialog edits FILE, and the
// unload that follows (same file) writes nothing more.
int Options(TOptions o) {
    if (o.ini.empty()) return Usage();
    o.settings = o.ini;
    std::int32_t status = -1;
    {
        TSession session(o);
        session.Load();
        status = session.ShowOptions(o.language);
    }
    std::printf("options dialog: status %d (%s)\n", status, OptionsStatusMeaning(status));
    return status == 0 || status == 1 ? 0 : 1;
}

int Info(const std::vector<std::string> &args) {
    const std::string path = args.empty() ? brevor::host::DefaultModulePath() : args[0];
    TLoadedModule module(path);
    // A query instance, released at the end.
    const std::int32_t id = 1;
    TPluginCallRec rec = brevor::host::MakeCallRecord(id);
    const std::int32_t version = module->GetPluginIntfVersion();
    const std::int32_t type = module->GetModuleType(&rec);
    const char *description = module->GetModuleDescription(&rec);
    const float minVersion = module->GetAppMinVersion(&rec);
    const bool multiThread = (module->MultiThreadSupport(&rec) & 0xFF) != 0;
    TPluginCallRec release = brevor::host::MakeReleaseRecord(id);
    module->GetModuleType(&release);

    std::printf("module:            %s\n", path.c_str());
    std::printf("interface version: %d.%d\n", version & 0xFFFF, (version >> 16) & 0xFFFF);
    std::printf("module type:       %d (0x%X)\n", type, static_cast<unsigned>(type));
    std::printf("description:       %s\n", description ? description : "");
    std::printf("minimum host:      %.1f\n", static_cast<double>(minVersion));
    std::printf("multi-thread:      %s\n", multiThread ? "yes" : "no");
    return 0;
}

}  // namespace

// The host function the module looks up by name: every chunk is printed and taken.
extern "C" BREVOR_HOST_EXPORT int32_t BRV_CALL fSendData(uintptr_t hostContext,
                                                         int32_t dataSourceId, int32_t reserved,
                                                         const void *bytes, int32_t byteCount) {
    (void)hostContext;
    (void)reserved;
    if (bytes == nullptr || byteCount < 0) return -1;
    PrintChunk(dataSourceId, static_cast<const unsigned char *>(bytes), byteCount);
    return byteCount;
}

int main(int argc, char **argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "info") return Info(args);
        TOptions options;
        if (!ParseOptions(args, options)) return Usage();
        g_received.showChannel = options.showChannel;
        if (command == "run") return Run(options);
        if (command == "demo") return Demo(options);
        if (command == "save-settings") return Settings(options, true);
        if (command == "load-settings") return Settings(options, false);
        if (command == "options") return Options(options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "brevor-host: %s\n", e.what());
        return 1;
    }
    return Usage();
}
