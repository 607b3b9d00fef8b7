#pragma once

// Shared by the Win32 back end's files; everything here runs on the back end's user-interface
// thread unless noted.

#include "platform/win32/win32_util.h"

#include <commctrl.h>

#include <string>
#include <string_view>

#include "ui/backend.h"
#include "ui/controls.h"

namespace brevor::win32ui {

using platform::win32::Narrow;
using platform::win32::Wide;

// Messages of the back end's own windows.
enum : UINT {
    kWmFocusActive = WM_APP + 1,  // a form: give the model's focused control the focus
    kWmWake = WM_APP + 2,         // wakes a modal loop to look at its flags
};

// The window class of forms and of the controls that hold others; registered once.
const wchar_t *ContainerClass();
void UnregisterContainerClass();

// The system's message font at a number of dots per inch (the model measures its text at 96);
// any thread. The caller deletes it.
HFONT MakeMessageFont(int dpi);

// Geometry of the model (pixels at 96 dots per inch) on the form's monitor.
int Scale(int pixels, int dpi);

// Shows the form modally on this thread and returns its ModalResult.
int ShowFormModal(TCustomForm &form);
// The window of the innermost form shown, or null: the owner of the next one.
HWND TopModalWindow();
// Closes every form still shown with mrCancel (the back end is shutting down).
void CancelAllModals();

}  // namespace brevor::win32ui
