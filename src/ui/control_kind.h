#pragma once

// The kinds of control a renderer shows, each with an adapter of its own. Both renderers ask
// KindOf and keep only "kind -> its adapter", so a control is shown as the same kind by either.

#include "ui/controls.h"

namespace brevor {

enum class TControlKind {
    None,  // nothing to show
    Label,
    Button,
    CheckBox,
    SpinEdit,
    BrowseEdit,
    Edit,  // any other edit
    RadioGroup,
    GroupBox,
    Panel,
    Image,
    ToolButton,
    PageControl,
    ListView,
    TabSheet,
    Container,  // any other windowed control: tool bars and the like
};

// The most derived kind the control is of: a spin edit is an edit too, but it is shown as a
// spin edit. A control of the kind named is of the class of that name (TControlKind::Edit: a
// TCustomEdit, TControlKind::RadioGroup: a TCustomRadioGroup, TControlKind::Container: a
// TWinControl), so the renderer may cast it down.
TControlKind KindOf(const TControl &control);

}  // namespace brevor
