#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ini_text.h"
#include "integration/module_fixture.h"
#include "messages_window.h"
#include "params_builder.h"
#include "support/child_writer.h"
#include "support/temp_folder.h"

// Chunks the module hands to this test program, by host context.
namespace {
std::mutex g_chunksMutex;
std::vector<std::tuple<std::uintptr_t, std::int32_t, std::string>> g_chunks;
}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t fSendData(std::uintptr_t hostContext,
                                                                         std::int32_t dataSourceId,
                                                                         std::int32_t,
                                                                         const void *bytes,
                                                                         std::int32_t count) {
    std::lock_guard lock(g_chunksMutex);
    g_chunks.emplace_back(
        hostContext, dataSourceId,
        std::string(static_cast<const char *>(bytes), static_cast<size_t>(count)));
    return count;
}

namespace brevor::testing {
namespace {

using host::MakeCallRecord;
using host::TParamsBuilder;
using namespace std::chrono_literals;

template <typename Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// One module instance driven the way a host does, on a real folder and a real messages socket.
class Instance {
public:
    Instance(const host::TLoadedModule &module, std::int32_t id, std::uintptr_t context,
             std::string ini)
        : api_(module.Exports()), id_(id), context_(context), ini_(std::move(ini)) {}
    ~Instance() {
        Command("UNLOAD");
        TPluginCallRec rel = host::MakeReleaseRecord(id_);
        api_.GetModuleType(&rel);
    }
    std::int32_t Command(const char *name, std::uint8_t moduleTypes = 0, std::int32_t result = -1) {
        TParamsBuilder p;
        p.Add("COMMAND", name).Add("INI-FILE", ini_);
        if (std::string(name) == "LOAD") {
            p.Add("HANDLE", static_cast<std::int64_t>(host::HostProgramHandle()))
                .Add("DATA-SOURCE-ID", static_cast<std::int32_t>(context_ & 0xFF))
                .Add("RegistryPath", "\\Software\\Brevor\\Tests")
                .Add("MessagesProcessorHandle", static_cast<std::int32_t>(window.ModuleHandle()))
                .Add("TEMPORARY-LOAD", false);
        }
        if (result >= 0) p.Add("RESULT", result);
        TPluginCallRec rec = MakeCallRecord(id_, p.List(), context_);
        rec.ModuleTypes = moduleTypes;
        return api_.ExecutePluginCommand(&rec);
    }
    void Start() {
        ASSERT_EQ(Command("LOAD"), 0);
        EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
        ASSERT_EQ(Command("SET-STATE", 1u << mttDataQuery, 1), 0);
    }
    bool Logged(const std::string &text) const {
        for (const auto &line : window.Lines()) {
            if (line.Text.find(text) != std::string::npos) return true;
        }
        return false;
    }

    host::TMessagesWindow window;

private:
    const host::TModuleExports &api_;
    std::int32_t id_;
    std::uintptr_t context_;
    std::string ini_;
};

class FileFeedTest : public ModuleTest {
protected:
    void SetUp() override {
        std::lock_guard lock(g_chunksMutex);
        g_chunks.clear();
    }
    // An INI file with the simple scan on, scanning as often as the timer allows.
    std::string WriteIni(const TempFolder &dir, const std::string &folder, const char *mask,
                         const char *readMode, bool decode = false) {
        const std::string path = dir.File("settings.ini");
        host::TIniText ini(path);
        ini.Set("General", "Folder", host::TIniText::Escape(folder));
        ini.Set("General", "Scan interval", "0");
        ini.Set("Mode1", "Active", "True");
        ini.Set("Mode1", "File", host::TIniText::Escape(mask));
        ini.Set("Mode1", "Read", readMode);
        ini.Set("Mode1", "Decode", decode ? "True" : "False");
        EXPECT_TRUE(ini.Save());
        return path;
    }
    static std::string Received(std::uintptr_t context) {
        std::lock_guard lock(g_chunksMutex);
        std::string all;
        for (const auto &[ctx, source, bytes] : g_chunks) {
            if (ctx == context) all += bytes;
        }
        return all;
    }
};

TEST_F(FileFeedTest, TypicalRoadSendsFilesInChunksAndDeletesThem) {
    TempFolder dir;
    const std::string data = dir.Path() + "/data";
    std::filesystem::create_directories(data);
    std::string content(300, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('A' + i % 26);
    {
        std::ofstream(data + "/a.txt", std::ios::binary) << content;
        std::ofstream(data + "/skip.csv", std::ios::binary) << "not for the mask";
    }
    Instance instance(Module(), FreshId(), 0x4101, WriteIni(dir, data, "*.txt", "0"));
    instance.Start();
    ASSERT_TRUE(WaitFor([&] { return !std::filesystem::exists(data + "/a.txt"); }));
    EXPECT_EQ(Received(0x4101), content);
    {
        std::lock_guard lock(g_chunksMutex);
        ASSERT_EQ(g_chunks.size(), 3u);  // 128 + 128 + 44
        EXPECT_EQ(std::get<2>(g_chunks[0]).size(), 128u);
        EXPECT_EQ(std::get<1>(g_chunks[0]), 0x01);  // the data-source id given at LOAD
    }
    ASSERT_TRUE(WaitFor([&] { return instance.Logged("has been deleted"); }));
    EXPECT_TRUE(instance.Logged("Data from the \"" + data +
                                "/a.txt\" file have been sent "
                                "successfully (bytes: 300)"));
    EXPECT_TRUE(std::filesystem::exists(data + "/skip.csv"));
}

TEST_F(FileFeedTest, TwoInstancesFeedFromTwoFoldersAtOnce) {
    TempFolder dir1;
    TempFolder dir2;
    dir1.Write("one.log", "first instance");
    dir2.Write("two.dat", "second instance");
    Instance a(Module(), FreshId(), 0x4201, WriteIni(dir1, dir1.Path(), "*.log", "2"));
    Instance b(Module(), FreshId(), 0x4302, WriteIni(dir2, dir2.Path(), "*.dat", "2"));
    a.Start();
    b.Start();
    ASSERT_TRUE(WaitFor([&] {
        return Received(0x4201) == "first instance" && Received(0x4302) == "second instance";
    }));
    std::this_thread::sleep_for(100ms);  // many more scans: nothing sent twice
    EXPECT_EQ(Received(0x4201), "first instance");
    EXPECT_TRUE(dir1.Exists("one.log"));  // read mode 2 keeps the file
}

TEST_F(FileFeedTest, SwitchedOffInstanceReadsNothing) {
    TempFolder dir;
    dir.Write("x.txt", "data");
    Instance instance(Module(), FreshId(), 0x4401, WriteIni(dir, dir.Path(), "*.txt", "0"));
    ASSERT_EQ(instance.Command("LOAD"), 0);
    EXPECT_EQ(instance.Command("LOAD-SETTINGS-NOW"), -2);
    ASSERT_EQ(instance.Command("SET-STATE", 1u << mttDataQuery, 0), 0);  // off
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(dir.Exists("x.txt"));
    ASSERT_EQ(instance.Command("SET-STATE", 1u << mttFilter, 1), 0);  // on as a filter
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("x.txt"); }));
    EXPECT_EQ(Received(0x4401), "data");
}

// A FIFO among the files neither holds the scan nor UNLOAD, and a file that a writer without any
// lock keeps open is taken only after the writer closed it, whole and once.
TEST_F(FileFeedTest, FifoIsSkippedAndAFileBeingWrittenWaitsForItsWriter) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo(dir.File("b.txt").c_str(), 0644), 0);
    dir.Write("a.txt", "alpha;");
    ChildWriter writer(dir.File("w.txt"), false, "part1;", "part2;");
    ASSERT_TRUE(writer.Started());
    Instance instance(Module(), FreshId(), 0x4501, WriteIni(dir, dir.Path(), "*.txt", "0"));
    instance.Start();
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("a.txt"); }));
    ASSERT_TRUE(
        WaitFor([&] { return instance.Logged("Unable to open the \"" + dir.File("w.txt")); }));
    EXPECT_EQ(Received(0x4501), "alpha;");
    EXPECT_TRUE(dir.Exists("w.txt"));
    ASSERT_TRUE(writer.Finish());
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("w.txt"); }));
    EXPECT_EQ(Received(0x4501), "alpha;part1;part2;");
    EXPECT_EQ(instance.Command("UNLOAD"), 0);
}

}  // namespace
}  // namespace brevor::testing
