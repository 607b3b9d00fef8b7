#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "integration/module_fixture.h"
#include "params_builder.h"

extern "C" int brv_c_call_record_size(void);
extern "C" int brv_c_call_tag(void);

namespace brevor::testing {
namespace {

using host::MakeCallRecord;
using host::MakeReleaseRecord;

// The four information exports for one record, as the host sees them.
struct InfoAnswers {
    float minVersion;
    const char *description;
    std::int32_t type;
    std::uint8_t multiThread;
};

class EntryPointsTest : public ModuleTest {
protected:
    static InfoAnswers Ask(TPluginCallRec rec) {
        InfoAnswers a{};
        a.minVersion = Api().GetAppMinVersion(&rec);
        a.description = Api().GetModuleDescription(&rec);
        a.type = Api().GetModuleType(&rec);
        a.multiThread = Api().MultiThreadSupport(&rec);
        return a;
    }
    static void ExpectFailureValues(TPluginCallRec rec) {
        TPluginCallRec r = rec;
        EXPECT_EQ(Api().GetAppMinVersion(&r), -1.0f);
        r = rec;
        EXPECT_EQ(Api().GetModuleDescription(&r), nullptr);
        r = rec;
        EXPECT_EQ(Api().GetModuleType(&r), 0);
        r = rec;
        EXPECT_EQ(Api().MultiThreadSupport(&r), 0);
    }
    static void Release(std::int32_t id) {
        TPluginCallRec rec = MakeReleaseRecord(id);
        Api().GetModuleType(&rec);
    }
};

TEST_F(EntryPointsTest, HeaderIsValidCAndMatchesCxx) {
    EXPECT_EQ(brv_c_call_record_size(), static_cast<int>(sizeof(TPluginCallRec)));
    EXPECT_EQ(brv_c_call_tag(), 102);
}

TEST_F(EntryPointsTest, InterfaceVersionIsFourWhateverTheState) {
    EXPECT_EQ(Api().GetPluginIntfVersion(), 4);
    const std::int32_t id = FreshId();
    TPluginCallRec rec = MakeCallRecord(id);
    Api().GetModuleType(&rec);
    EXPECT_EQ(Api().GetPluginIntfVersion(), 4);
    Release(id);
    EXPECT_EQ(Api().GetPluginIntfVersion(), 4);
}

TEST_F(EntryPointsTest, QueryInstanceAnswersThePublishedValuesAndIsReused) {
    const std::int32_t id = FreshId();
    const InfoAnswers first = Ask(MakeCallRecord(id));
    EXPECT_EQ(first.type, 33);
    EXPECT_EQ(first.minVersion, 4.0f);
    ASSERT_NE(first.description, nullptr);
    EXPECT_STREQ(first.description, "Brevor");
    EXPECT_EQ(first.multiThread, 1);
    const InfoAnswers second = Ask(MakeCallRecord(id));
    EXPECT_EQ(second.type, 33);
    Release(id);
    // The description outlives the instance: a host may keep the pointer.
    EXPECT_STREQ(first.description, "Brevor");
}

TEST_F(EntryPointsTest, FailureValuesWhereThereIsNoInstance) {
    ExpectFailureValues(MakeCallRecord(0));  // id 0 names no instance
    const std::int32_t id = FreshId();
    TPluginCallRec rel = MakeReleaseRecord(id);  // release of an id never seen
    ExpectFailureValues(rel);
    // Null records.
    EXPECT_EQ(Api().GetAppMinVersion(nullptr), -1.0f);
    EXPECT_EQ(Api().GetModuleDescription(nullptr), nullptr);
    EXPECT_EQ(Api().GetModuleType(nullptr), 0);
    EXPECT_EQ(Api().MultiThreadSupport(nullptr), 0);
    EXPECT_EQ(Api().GetCustomCommands(nullptr), 0);
    EXPECT_EQ(Api().GetLogEx(nullptr), 0);
    EXPECT_EQ(Api().ExecutePluginCommand(nullptr), -1);
    EXPECT_EQ(Api().GetData(nullptr), -1);
    EXPECT_EQ(Api().GetEvents(nullptr), -1);
    EXPECT_EQ(Api().ProcessData(nullptr), -1);
    Api().ShowOptionsDialog(nullptr);
}

TEST_F(EntryPointsTest, ReleaseDestroysAndTheNextCallCreatesAFreshInstance) {
    const std::int32_t id = FreshId();
    EXPECT_EQ(Ask(MakeCallRecord(id)).type, 33);
    // The releasing call itself answers with the failure value.
    ExpectFailureValues(MakeReleaseRecord(id));
    TPluginCallRec exec = MakeReleaseRecord(id);
    EXPECT_EQ(Api().ExecutePluginCommand(&exec), -1);
    EXPECT_EQ(Ask(MakeCallRecord(id)).type, 33);
    Release(id);
}

TEST_F(EntryPointsTest, RecordsThatFailTheValidityCheckAreRefused) {
    const std::int32_t id = FreshId();
    TqelParamsList dummyList{};  // never read: the record fails before the list is touched
    struct Case {
        const char *what;
        std::int32_t tag;
        void *params;
    };
    const Case cases[] = {{"tag 101", 101, &dummyList}, {"no params", 102, nullptr}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TPluginCallRec rec = MakeCallRecord(id, c.params);
        rec.Tag = c.tag;
        EXPECT_EQ(Api().ExecutePluginCommand(&rec), -1);
        rec = MakeCallRecord(id, c.params);
        rec.Tag = c.tag;
        EXPECT_EQ(Api().GetData(&rec), -1);
        EXPECT_EQ(Api().GetEvents(&rec), -1);
        EXPECT_EQ(Api().ProcessData(&rec), -1);
    }
}

TEST_F(EntryPointsTest, TwoIdsLiveSideBySide) {
    const std::int32_t a = FreshId();
    const std::int32_t b = FreshId();
    EXPECT_EQ(Ask(MakeCallRecord(a)).type, 33);
    EXPECT_EQ(Ask(MakeCallRecord(b)).type, 33);
    Release(a);
    EXPECT_EQ(Ask(MakeCallRecord(b)).type, 33);  // b untouched by the release of a
    ExpectFailureValues(MakeReleaseRecord(b));
}

TEST_F(EntryPointsTest, OptionsDialogStatus) {
    TPluginCallRec noInstance = MakeCallRecord(0);
    Api().ShowOptionsDialog(&noInstance);
    // Packed fields are copied out before comparing: no reference may bind to them.
    EXPECT_EQ(static_cast<int>(noInstance.ResultKind), BRV_RESULT_KIND_NUMBER);
    EXPECT_EQ(static_cast<int>(noInstance.ResultSize), 4);
    EXPECT_EQ(static_cast<long>(noInstance.ResultValue), 2);

    const std::int32_t id = FreshId();
    TPluginCallRec rec = MakeCallRecord(id);
    Api().ShowOptionsDialog(&rec);
#if BREVOR_MODULE_HAS_DIALOG
    // Tests run without a display: the dialog cannot open and nothing changes.
    EXPECT_EQ(static_cast<long>(rec.ResultValue), 0);
#else
    // A module built without a dialog renderer has no options dialog.
    EXPECT_EQ(static_cast<long>(rec.ResultValue), 3);
#endif
    Release(id);
}

// A host that knows only the byte offsets of its word size builds the record in a byte buffer,
// at an odd address and followed by guard bytes: the module reads and writes the fields where
// that host put them, and nothing past the record.
TEST_F(EntryPointsTest, CallRecordBuiltByRawOffsets) {
    struct Layout {
        std::size_t release, instanceId, moduleTypes, params, resultSize, resultKind, resultValue,
            size;
    };
    const Layout at = sizeof(void *) == 8 ? Layout{4, 5, 25, 26, 63, 67, 68, 76}
                                          : Layout{4, 5, 21, 22, 43, 47, 48, 52};
    ASSERT_EQ(sizeof(TPluginCallRec), at.size);
    constexpr unsigned char kGuard = 0xA5;
    std::vector<unsigned char> buffer(1 + at.size + 32, kGuard);
    unsigned char *bytes = buffer.data() + 1;
    auto *rec = reinterpret_cast<TPluginCallRec *>(bytes);
    auto put = [&](std::size_t offset, auto value) {
        std::memcpy(bytes + offset, &value, sizeof value);
    };
    auto guardsIntact = [&] {
        for (std::size_t i = 1 + at.size; i < buffer.size(); ++i)
            if (buffer[i] != kGuard) return false;
        return buffer[0] == kGuard;
    };
    const std::int32_t id = FreshId();
    std::memset(bytes, 0, at.size);
    put(0, std::int32_t{102});
    put(at.instanceId, id);
    EXPECT_EQ(Api().GetModuleType(rec), 33);

    host::TParamsBuilder state;
    state.Add("COMMAND", "SET-STATE").Add("RESULT", std::int32_t{1});
    put(at.params, static_cast<void *>(state.List()));
    put(at.moduleTypes, static_cast<std::uint8_t>(1u << mttFilter));
    EXPECT_EQ(Api().ExecutePluginCommand(rec), 0);
    EXPECT_TRUE(guardsIntact());

    // The status fields, filled where the host looks for them.
    std::memset(bytes, 0, at.size);
    put(0, std::int32_t{102});
    Api().ShowOptionsDialog(rec);  // no instance named
    std::int32_t resultSize = 0;
    std::intptr_t resultValue = 0;
    std::memcpy(&resultSize, bytes + at.resultSize, sizeof resultSize);
    std::memcpy(&resultValue, bytes + at.resultValue, sizeof resultValue);
    EXPECT_EQ(resultSize, 4);
    EXPECT_EQ(static_cast<int>(bytes[at.resultKind]), BRV_RESULT_KIND_NUMBER);
    EXPECT_EQ(resultValue, 2);
    EXPECT_TRUE(guardsIntact());

    put(at.instanceId, id);
    put(at.release, std::uint8_t{0xFF});
    EXPECT_EQ(Api().GetModuleType(rec), 0);  // released
    put(at.release, std::uint8_t{0});
    EXPECT_EQ(Api().GetModuleType(rec), 33);  // a fresh query instance
    put(at.release, std::uint8_t{0xFF});
    Api().GetModuleType(rec);
    EXPECT_TRUE(guardsIntact());
}

TEST_F(EntryPointsTest, TraceProcessRendersTheCallersStack) {
    const std::int32_t needed = Api().TraceProcess(nullptr, 0);
    ASSERT_GT(needed, 0);
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(Api().TraceProcess(small, sizeof small), needed);
    EXPECT_EQ(std::string(small, 4), "xxxx");  // too small: nothing copied
    std::string text(static_cast<size_t>(needed) + 256, '\0');
    const std::int32_t n = Api().TraceProcess(text.data(), static_cast<std::int32_t>(text.size()));
    text.resize(static_cast<size_t>(n));
    // The module's own frame comes first, with its name from the module's symbols; the test
    // body, which called it, follows.
    EXPECT_NE(text.find(ModuleFileName() + "!TraceProcess"), std::string::npos) << text;
    EXPECT_NE(text.find("TraceProcessRendersTheCallersStack"), std::string::npos) << text;
}

// Host threads create, use and release instances at random; every answer is either the
// module's (33) or the failure value of a concurrently released id (0), never anything else.
TEST_F(EntryPointsTest, StressManyThreadsManyIds) {
    constexpr int kThreads = 8;
    constexpr int kIds = 64;
    const std::int32_t base = 100000;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::atomic<long> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(static_cast<unsigned>(t) * 7919u + 1u);
            std::uniform_int_distribution<int> pickId(0, kIds - 1);
            std::uniform_int_distribution<int> pickOp(0, 9);
            while (!stop.load(std::memory_order_relaxed)) {
                const std::int32_t id = base + pickId(rng);
                const int op = pickOp(rng);
                TPluginCallRec rec = op == 0 ? MakeReleaseRecord(id) : MakeCallRecord(id);
                if (op == 0) {
                    if (Api().GetModuleType(&rec) != 0) ++wrong;
                } else if (op < 4) {
                    const char *d = Api().GetModuleDescription(&rec);
                    if (d == nullptr || std::strcmp(d, "Brevor") != 0) ++wrong;
                } else if (op < 8) {
                    if (Api().GetModuleType(&rec) != 33) ++wrong;
                } else {
                    if (Api().MultiThreadSupport(&rec) != 1) ++wrong;
                }
                ++calls;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop = true;
    for (auto &th : threads)
        th.join();
    for (int i = 0; i < kIds; ++i)
        Release(base + i);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(calls.load(), 1000);
}

}  // namespace
}  // namespace brevor::testing
