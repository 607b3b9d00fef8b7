#pragma once

// The file feed driven through the exports the way a host does: an instance on a real folder
// with a real messages window, and the chunks this test program took through fSendData.

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "host_module.h"
#include "ini_text.h"
#include "integration/module_fixture.h"
#include "messages_window.h"
#include "params_builder.h"
#include "support/temp_folder.h"

namespace brevor::testing {

// Forgets the chunks received so far.
void ClearChunks();
// The bytes of every chunk received for a host context, in order.
std::string ReceivedChunks(std::uintptr_t context);

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
                .Add("MessagesProcessorHandle", static_cast<std::int64_t>(window.ModuleHandle()))
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
    void SetUp() override { ClearChunks(); }
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
    static std::string Received(std::uintptr_t context) { return ReceivedChunks(context); }
};

}  // namespace brevor::testing
