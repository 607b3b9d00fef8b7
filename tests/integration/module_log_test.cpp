#include <chrono>
#include <string>
#include <thread>

#include "integration/module_fixture.h"
#include "messages_window.h"
#include "params_builder.h"

namespace brevor::testing {
namespace {

using host::MakeCallRecord;
using host::TParamsBuilder;

// The log through the exports and a real messages socket: lines come from the data calls'
// warnings, which any instance writes.
class ModuleLogTest : public ModuleTest {
protected:
    void SetUp() override { id_ = FreshId(); }
    void TearDown() override {
        TPluginCallRec rel = host::MakeReleaseRecord(id_);
        Api().GetModuleType(&rel);
    }
    std::int32_t Load(int fd) {
        TParamsBuilder p;
        p.Add("COMMAND", "LOAD").Add("MessagesProcessorHandle", static_cast<std::int32_t>(fd));
        TPluginCallRec rec = MakeCallRecord(id_, p.List(), 0xC0FFEE);
        return Api().ExecutePluginCommand(&rec);
    }
    // Logs "No data for processing" as a warning.
    void Warn() {
        TParamsBuilder p;
        TPluginCallRec rec = MakeCallRecord(id_, p.List());
        rec.ModuleTypes = 1u << mttDataExport;
        ASSERT_EQ(Api().ProcessData(&rec), 0);
    }
    std::string Fetch(std::int32_t bufferSize, std::int32_t &result, long &needed) {
        std::string buffer(static_cast<size_t>(bufferSize > 0 ? bufferSize : 1), '\0');
        TPluginCallRec rec = MakeCallRecord(id_);
        rec.Data = buffer.data();
        rec.BufferSize = bufferSize;
        result = Api().GetLogEx(&rec);
        needed = static_cast<long>(rec.ResultValue);
        return buffer.substr(0, static_cast<size_t>(result));
    }
    std::int32_t id_ = 0;
};

TEST_F(ModuleLogTest, LinesReachAnAnsweringWindowAtOnce) {
    host::TMessagesWindow window;
    ASSERT_EQ(Load(window.ModuleHandle()), 0);
    Warn();
    ASSERT_TRUE(window.WaitForMessages(1, 2000));
    const auto lines = window.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Tag, 2u);
    EXPECT_EQ(lines[0].HostContext, 0xC0FFEEu);
    EXPECT_EQ(lines[0].Text, "Brevor. No data for processing");
    std::int32_t result = -1;
    long needed = -1;
    Fetch(100, result, needed);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(needed, 0);
}

TEST_F(ModuleLogTest, StalledWindowQueuesLinesForGetLogExInOrder) {
    host::TMessagesWindow window;
    ASSERT_EQ(Load(window.ModuleHandle()), 0);
    window.Stall();
    const auto start = std::chrono::steady_clock::now();
    Warn();
    Warn();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // The second line first tries the batch, so each call waits out the send limit once or twice.
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
    // Notices are posted: they reach the window's thread a moment later.
    for (int i = 0; i < 200 && window.PendingNotices() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(window.PendingNotices(), 2);

    const std::string line = std::string(1, '\x02') + "Brevor. No data for processing\r\n";
    std::int32_t result = -1;
    long needed = -1;
    Fetch(10, result, needed);  // too small: nothing copied, the lines stay
    EXPECT_EQ(result, 0);
    EXPECT_EQ(needed, static_cast<long>(2 * line.size()));
    const std::string text = Fetch(static_cast<std::int32_t>(2 * line.size()), result, needed);
    EXPECT_EQ(result, static_cast<std::int32_t>(2 * line.size()));
    EXPECT_EQ(text, line + line);
    Fetch(100, result, needed);  // taken: the queue is empty
    EXPECT_EQ(result, 0);
    EXPECT_EQ(needed, 0);
}

}  // namespace
}  // namespace brevor::testing
