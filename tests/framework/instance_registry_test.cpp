#include "framework/instance_registry.h"

#include "framework/params_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace brevor {
namespace {

std::atomic<int> g_constructed{0};
std::atomic<int> g_destroyed{0};
std::atomic<bool> g_failConstruction{false};

class CountingPlugin : public TqelPlugin {
public:
    explicit CountingPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
        if (g_failConstruction) throw std::runtime_error("construction failed");
        // Widen the window in which two creators could race.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++g_constructed;
    }
    ~CountingPlugin() override { ++g_destroyed; }
};

TqelPlugin *CreateCounting(const TPluginCallRec *rec) {
    return new CountingPlugin(rec);
}

TPluginCallRec Rec(std::int32_t id, bool release = false, void *params = nullptr) {
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = id;
    rec.Release = release ? BRV_RELEASE : 0;
    rec.Params = params;
    return rec;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_constructed = 0;
        g_destroyed = 0;
        g_failConstruction = false;
        InitializeLibrary();
        RegisterModuleClass(&CreateCounting);
    }
    void TearDown() override { FinalizeLibrary(); }
    static int Count() { return Registry()->Count(); }
};

TEST_F(RegistryTest, CreateFindReleaseAndFinalize) {
    TInstanceRef a;
    TPluginCallRec rec = Rec(7);
    ASSERT_TRUE(GetModuleInstance(&rec, a));
    EXPECT_EQ(a->InstanceId(), 7);
    EXPECT_TRUE(a->TemporaryLoad());  // created without a parameter list
    TInstanceRef again;
    ASSERT_TRUE(GetModuleInstance(&rec, again));
    EXPECT_EQ(again.get(), a.get());
    a.Reset();
    again.Reset();

    TPluginCallRec other = Rec(8);
    TInstanceRef b;
    ASSERT_TRUE(GetModuleInstance(&other, b));
    b.Reset();
    EXPECT_EQ(Count(), 2);

    TPluginCallRec rel = Rec(7, true);
    TInstanceRef none;
    EXPECT_FALSE(GetModuleInstance(&rel, none));
    EXPECT_FALSE(none);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(g_destroyed.load(), 1);

    TPluginCallRec relUnknown = Rec(99, true);
    EXPECT_FALSE(GetModuleInstance(&relUnknown, none));
    TPluginCallRec zero = Rec(0);
    EXPECT_FALSE(GetModuleInstance(&zero, none));
    EXPECT_FALSE(GetModuleInstance(nullptr, none));
    EXPECT_EQ(g_constructed.load(), 2);

    FinalizeLibrary();  // destroys the one that is left
    EXPECT_EQ(g_destroyed.load(), 2);
    TPluginCallRec late = Rec(8);
    EXPECT_FALSE(GetModuleInstance(&late, none));  // no registry any more
    InitializeLibrary();
}

TEST_F(RegistryTest, ParamsDecideTheQueryInstanceFlag) {
    params::TParamsListPtr list(params::NewParamsList());
    TPluginCallRec rec = Rec(5, false, list.get());
    TInstanceRef p;
    ASSERT_TRUE(GetModuleInstance(&rec, p));
    EXPECT_FALSE(p->TemporaryLoad());

    params::AddItem(list.get(), "TEMPORARY-LOAD", Variant(true));
    rec.InstanceId = 6;
    ASSERT_TRUE(GetModuleInstance(&rec, p));
    EXPECT_TRUE(p->TemporaryLoad());

    // A list that is not alive fails construction: no instance, the failure value.
    TqelParamsList dead{};
    rec = Rec(9, false, &dead);
    EXPECT_FALSE(GetModuleInstance(&rec, p));
    EXPECT_EQ(Count(), 2);
}

TEST_F(RegistryTest, ExceptionDuringConstructionCreatesNothing) {
    g_failConstruction = true;
    TPluginCallRec rec = Rec(3);
    TInstanceRef p;
    EXPECT_FALSE(GetModuleInstance(&rec, p));
    EXPECT_EQ(Count(), 0);
    g_failConstruction = false;
    EXPECT_TRUE(GetModuleInstance(&rec, p));
}

TEST_F(RegistryTest, ReleaseWhileInUseDefersDestructionToTheLastUser) {
    TPluginCallRec rec = Rec(11);
    TInstanceRef inUse;
    ASSERT_TRUE(GetModuleInstance(&rec, inUse));
    TPluginCallRec rel = Rec(11, true);
    TInstanceRef none;
    EXPECT_FALSE(GetModuleInstance(&rel, none));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(g_destroyed.load(), 0);
    EXPECT_EQ(inUse->InstanceId(), 11);  // still safe to use
    inUse.Reset();
    EXPECT_EQ(g_destroyed.load(), 1);
}

TEST_F(RegistryTest, TwoFirstCallsForOneNewIdMakeOneInstance) {
    for (int round = 0; round < 50; ++round) {
        const std::int32_t id = 1000 + round;
        std::atomic<int> go{0};
        TqelPlugin *seen[2] = {nullptr, nullptr};
        std::vector<std::thread> ts;
        for (int t = 0; t < 2; ++t) {
            ts.emplace_back([&, t] {
                ++go;
                while (go.load() < 2)
                    std::this_thread::yield();
                TPluginCallRec rec = Rec(id);
                TInstanceRef p;
                if (GetModuleInstance(&rec, p)) seen[t] = p.get();
            });
        }
        for (auto &th : ts)
            th.join();
        ASSERT_NE(seen[0], nullptr);
        EXPECT_EQ(seen[0], seen[1]);
    }
    EXPECT_EQ(g_constructed.load(), 50);
    EXPECT_EQ(Count(), 50);
}

TEST(CallRecord, Validity) {
    TqelParamsList list{};
    struct Case {
        std::int32_t tag;
        bool release;
        void *params;
        bool valid;
    };
    const Case cases[] = {
        {102, false, &list, true},  {102, true, nullptr, true},  {102, false, nullptr, false},
        {101, false, &list, false}, {101, true, nullptr, false},
    };
    for (const Case &c : cases) {
        TPluginCallRec rec = Rec(1, c.release, c.params);
        rec.Tag = c.tag;
        EXPECT_EQ(IsValidCallRecord(&rec), c.valid) << c.tag << " " << c.release;
    }
    EXPECT_FALSE(IsValidCallRecord(nullptr));
}

}  // namespace
}  // namespace brevor
