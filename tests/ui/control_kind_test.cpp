#include "ui/control_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevor {
namespace {

// Each class is shown as its own kind, never as a kind it derives from.
TEST(ControlKind, MostDerivedKindWins) {
    TForm form;
    struct TCase {
        TControl *Control;
        TControlKind Kind;
    };
    const std::vector<TCase> cases = {
        {MakeControl<TLabel>(&form, &form, "label", {}), TControlKind::Label},
        {MakeControl<TButton>(&form, &form, "button", {}), TControlKind::Button},
        {MakeControl<TCheckBox>(&form, &form, "check", {}), TControlKind::CheckBox},
        {MakeControl<TSpinEdit>(&form, &form, "spin", {}), TControlKind::SpinEdit},
        {MakeControl<TBrowseEdit>(&form, &form, "browse", {}), TControlKind::BrowseEdit},
        {MakeControl<TEdit>(&form, &form, "edit", {}), TControlKind::Edit},
        {MakeControl<TRadioGroup>(&form, &form, "radios", {}), TControlKind::RadioGroup},
        {MakeControl<TGroupBox>(&form, &form, "box", {}), TControlKind::GroupBox},
        {MakeControl<TPanel>(&form, &form, "panel", {}), TControlKind::Panel},
        {MakeControl<TImage>(&form, &form, "image", {}), TControlKind::Image},
        {MakeControl<TToolButton>(&form, &form, "tool", {}), TControlKind::ToolButton},
        {MakeControl<TPageControl>(&form, &form, "pages", {}), TControlKind::PageControl},
        {MakeControl<TListView>(&form, &form, "list", {}), TControlKind::ListView},
        {MakeControl<TTabSheet>(&form, &form, "sheet", {}), TControlKind::TabSheet},
        {MakeControl<TToolBar>(&form, &form, "bar", {}), TControlKind::Container},
        {MakeControl<TControl>(&form, &form, "plain", {}), TControlKind::None},
    };
    for (const TCase &c : cases)
        EXPECT_EQ(KindOf(*c.Control), c.Kind) << c.Control->Name();
}

}  // namespace
}  // namespace brevor
