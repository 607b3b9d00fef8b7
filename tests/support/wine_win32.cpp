#include <windows.h>

#include "support/wine.h"

namespace brevor::testing {

// Wine's ntdll exports its version; Windows' does not.
bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace brevor::testing
