// The GetLogEx export and the instance's log members, with the registry of the library.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "brevor/abi.h"
#include "framework/instance_registry.h"
#include "messages_window.h"

extern "C" int32_t BRV_CALL GetLogEx(TPluginCallRec *rec);

namespace brevor {
namespace {

class LogExportTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeLibrary(); }
    void TearDown() override { FinalizeLibrary(); }

    static TPluginCallRec Rec(std::int32_t id) {
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = id;
        return rec;
    }
};

TEST_F(LogExportTest, NullRecordAndUnknownInstance) {
    EXPECT_EQ(::GetLogEx(nullptr), 0);
    TPluginCallRec rec = Rec(0);  // no instance has id 0
    rec.ResultValue = 99;
    rec.ResultKind = 0;
    EXPECT_EQ(::GetLogEx(&rec), 0);
    EXPECT_EQ(static_cast<intptr_t>(rec.ResultValue), 0);
    EXPECT_EQ(rec.ResultKind, BRV_RESULT_KIND_NUMBER);
}

TEST_F(LogExportTest, NoWindowGivenMeansNothingToFetch) {
    TPluginCallRec rec = Rec(3);
    TInstanceRef instance;
    ASSERT_TRUE(GetModuleInstance(&rec, instance));
    instance->LogTitle = "Brevor";
    instance->AddLog(kLogInformation, "dropped");
    instance->QueueLog(kLogError, "dropped too");
    char buffer[64];
    rec.Data = buffer;
    rec.BufferSize = sizeof(buffer);
    rec.ResultValue = 99;
    EXPECT_EQ(::GetLogEx(&rec), 0);
    EXPECT_EQ(static_cast<intptr_t>(rec.ResultValue), 0);
}

TEST_F(LogExportTest, FetchesQueuedLinesByTheBufferRules) {
    host::TMessagesWindow window;
    window.Stall();
    TPluginCallRec rec = Rec(4);
    TInstanceRef instance;
    ASSERT_TRUE(GetModuleInstance(&rec, instance));
    instance->LogTitle = "Brevor";
    instance->Host().KeepHostContext(0x51);
    instance->Host().SetMessagesProcessorHandle(static_cast<std::uintptr_t>(window.ModuleHandle()));
    instance->Log().SetSendTimeout(50);
    instance->AddLog(kLogError, "one");      // 14 bytes with CR LF
    instance->QueueLog(kLogWarning, "two");  // 14 bytes with CR LF
    ASSERT_TRUE(window.WaitForMessages(3, 2000));
    for (const host::TWindowMessage &m : window.Messages())
        EXPECT_EQ(m.WParam, 0x51u);

    char buffer[40];
    std::memset(buffer, '#', sizeof(buffer));
    rec.Data = buffer;
    const struct {
        std::int32_t bufferSize;
        std::int32_t returned;
        intptr_t resultValue;
    } steps[] = {{27, 0, 28}, {-1, 0, 28}, {INT32_MIN, 0, 28}, {28, 28, 28}, {28, 0, 0}};
    for (const auto &s : steps) {
        SCOPED_TRACE(s.bufferSize);
        rec.BufferSize = s.bufferSize;
        EXPECT_EQ(::GetLogEx(&rec), s.returned);
        EXPECT_EQ(static_cast<intptr_t>(rec.ResultValue), s.resultValue);
        EXPECT_EQ(rec.ResultKind, BRV_RESULT_KIND_NUMBER);
    }
    EXPECT_EQ(std::string(buffer, 29),
              "\x01"
              "Brevor. one\r\n\x02"
              "Brevor. two\r\n#");

    instance->QueueLog(kLogInformation, "three");
    rec.BufferSize = 0;  // no buffer: the host discards the lines
    EXPECT_EQ(::GetLogEx(&rec), 0);
    EXPECT_EQ(static_cast<intptr_t>(rec.ResultValue), 16);
    rec.BufferSize = sizeof(buffer);
    EXPECT_EQ(::GetLogEx(&rec), 0);
    EXPECT_EQ(static_cast<intptr_t>(rec.ResultValue), 0);
}

}  // namespace
}  // namespace brevor
