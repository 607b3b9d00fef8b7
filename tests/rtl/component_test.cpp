#include "rtl/component.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"
#include "rtl/strings.h"

namespace brevor {
namespace {

enum class TReadMode { Delete, Truncate, Keep, Restart };

// A small control with one property of each kind the settings and translations use.
class TProbe : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TProbe>("TProbe", &TComponent::StaticClassInfo())
                .Integer("Value", &TProbe::Value, &TProbe::SetValue)
                .Boolean("Checked", &TProbe::checked)
                .Enumeration("ReadMode", {"rmDelete", "rmTruncate", "rmKeep", "rmRestart"},
                             &TProbe::mode)
                .Float("Ratio", &TProbe::ratio)
                .String("Caption", &TProbe::caption)
                .ReadOnlyString("Kind", [](TProbe &) { return std::string("probe"); })
                .Object("Lines", [](TProbe &p) { return &p.lines; })
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    int Value() const { return value; }
    void SetValue(int v) { value = v < 0 ? 0 : v; }  // setters keep their own rules

    int value = 3;
    bool checked = false;
    TReadMode mode = TReadMode::Delete;
    double ratio = 0.5;
    std::string caption = "OK";
    TStringList lines;
};

// A derived class republishes Caption (most derived wins) and adds nothing else.
class TDerivedProbe : public TProbe {
public:
    using TProbe::TProbe;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TDerivedProbe>("TDerivedProbe", &TProbe::StaticClassInfo())
                .ReadOnlyString("Caption", [](TDerivedProbe &) { return std::string("fixed"); })
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
};

TEST(Component, PropertiesByNameIgnoringCase) {
    TProbe p;
    SetOrdProp(p, "value", 42);
    EXPECT_EQ(p.value, 42);
    SetOrdProp(p, "VALUE", -5);
    EXPECT_EQ(GetOrdProp(p, "Value"), 0);  // through the setter
    SetEnumProp(p, "checked", "TRUE");
    EXPECT_TRUE(p.checked);
    EXPECT_EQ(GetEnumProp(p, "Checked"), "True");
    EXPECT_TRUE(GetPropInfo(p, "Checked")->IsBoolean());
    SetEnumProp(p, "ReadMode", "rmKeep");
    EXPECT_EQ(p.mode, TReadMode::Keep);
    EXPECT_EQ(GetOrdProp(p, "ReadMode"), 2);
    SetFloatProp(p, "Ratio", 2.25);
    EXPECT_EQ(p.ratio, 2.25);
    SetStrProp(p, "caption", "Cancel");
    EXPECT_EQ(GetStrProp(p, "Caption"), "Cancel");
    EXPECT_EQ(GetStrProp(p, "Name"), "");
    SetStrProp(p, "Name", "edProbe");
    EXPECT_EQ(p.Name(), "edProbe");

    TObject *lines = GetObjectProp(p, "Lines");
    ASSERT_NE(lines, nullptr);
    EXPECT_TRUE(lines->InheritsFrom("TStrings"));
    SetStrProp(*lines, "Text", "a\nb");
    EXPECT_EQ(p.lines.Count(), 2);
}

TEST(Component, PropertyErrorsAreExceptions) {
    TProbe p;
    struct Case {
        const char *what;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"missing", [&] { GetOrdProp(p, "Nothing"); }},
        {"wrong kind", [&] { GetStrProp(p, "Value"); }},
        {"read-only", [&] { SetStrProp(p, "Kind", "x"); }},
        {"unknown identifier", [&] { SetEnumProp(p, "ReadMode", "rmNever"); }},
        {"enum access on integer", [&] { GetEnumProp(p, "Value"); }},
    };
    for (const Case &c : cases)
        EXPECT_THROW(c.call(), Exception) << c.what;
    EXPECT_FALSE(GetPropInfo(p, "Kind")->Writable());
    EXPECT_TRUE(GetPropInfo(p, "Value")->Writable());
}

TEST(Component, DescriptorsInheritAndOverride) {
    TDerivedProbe d;
    EXPECT_TRUE(d.InheritsFrom(TProbe::StaticClassInfo()));
    EXPECT_TRUE(d.InheritsFrom("tcomponent"));
    EXPECT_FALSE(TProbe().InheritsFrom(TDerivedProbe::StaticClassInfo()));
    EXPECT_EQ(GetStrProp(d, "Caption"), "fixed");
    EXPECT_FALSE(GetPropInfo(d, "Caption")->Writable());
    std::vector<std::string> names;
    for (const TPropInfo *prop : d.ClassInfo().AllProperties())
        names.push_back(prop->Name);
    const std::vector<std::string> expected = {"Name",  "Tag",     "Value", "Checked", "ReadMode",
                                               "Ratio", "Caption", "Kind",  "Lines"};
    EXPECT_EQ(names, expected);
}

TEST(Component, OwnerFreesChildrenAndFindsThemByName) {
    static int alive = 0;
    struct Counted : TComponent {
        explicit Counted(TComponent *owner) : TComponent(owner) { ++alive; }
        ~Counted() override { --alive; }
    };
    {
        TComponent root;
        auto *a = new Counted(&root);
        a->SetName("timSimpleTimeMode");
        auto *b = new Counted(&root);
        b->SetName("maPlugin");
        new Counted(b);  // grandchild, owned by b
        EXPECT_EQ(alive, 3);
        EXPECT_EQ(root.ComponentCount(), 2);
        EXPECT_EQ(root.FindComponent("MAPLUGIN"), b);
        EXPECT_EQ(root.FindComponent(""), nullptr);
        EXPECT_EQ(root.Components(0), a);
        delete a;  // leaves its owner's list
        EXPECT_EQ(root.ComponentCount(), 1);
        EXPECT_EQ(root.FindComponent("timSimpleTimeMode"), nullptr);
    }
    EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace brevor
