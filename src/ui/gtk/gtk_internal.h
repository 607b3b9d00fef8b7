#pragma once

// Shared by the GTK back end's files; everything here runs on the GTK thread unless noted.

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "ui/controls.h"

namespace brevor::gtkui {

// Model texts are Windows-1252; GTK takes UTF-8. Both are safe on any thread.
std::string ToUtf8(std::string_view ansi);
std::string FromUtf8(const char *utf8);
// A caption for a mnemonic widget: "&x" marks x, "&&" is "&", "_" shows literally. Without
// accelerators every "&" is literal.
std::string MnemonicText(std::string_view caption, bool accelerators = true);

// Shows the form modally on this thread and returns its ModalResult.
int ShowFormModal(TCustomForm &form);
// The window of the innermost form or dialog shown, or null: the parent of the next one.
GtkWindow *TopModalWindow();
// Closes every form still shown with mrCancel (the back end is shutting down).
void CancelAllModals();

}  // namespace brevor::gtkui
