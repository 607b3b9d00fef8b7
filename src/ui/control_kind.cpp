#include "ui/control_kind.h"

namespace brevor {

namespace {

template <typename T>
bool Is(const TControl &control) {
    return dynamic_cast<const T *>(&control) != nullptr;
}

}  // namespace

TControlKind KindOf(const TControl &c) {
    // Most derived kinds first.
    if (Is<TLabel>(c)) return TControlKind::Label;
    if (Is<TButton>(c)) return TControlKind::Button;
    if (Is<TCheckBox>(c)) return TControlKind::CheckBox;
    if (Is<TSpinEdit>(c)) return TControlKind::SpinEdit;
    if (Is<TBrowseEdit>(c)) return TControlKind::BrowseEdit;
    if (Is<TCustomEdit>(c)) return TControlKind::Edit;
    if (Is<TCustomRadioGroup>(c)) return TControlKind::RadioGroup;
    if (Is<TGroupBox>(c)) return TControlKind::GroupBox;
    if (Is<TPanel>(c)) return TControlKind::Panel;
    if (Is<TImage>(c)) return TControlKind::Image;
    if (Is<TToolButton>(c)) return TControlKind::ToolButton;
    if (Is<TPageControl>(c)) return TControlKind::PageControl;
    if (Is<TListView>(c)) return TControlKind::ListView;
    if (Is<TTabSheet>(c)) return TControlKind::TabSheet;
    if (Is<TWinControl>(c)) return TControlKind::Container;
    return TControlKind::None;
}

}  // namespace brevor
