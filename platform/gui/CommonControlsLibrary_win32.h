// The functions of the common controls' DLL. comctl32 is no known DLL, and
// the DLLs it imports are none either, so the programs do not import it
// (which would load it, and them, before the programs' first line has
// limited the search to the system folder): it is loaded on first use, by
// the name that each GUI program's manifest binds to the system's
// side-by-side copy of version 6 (platform/Libraries_win32.h).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace gui {

struct TCommonControls {
  decltype(&::InitCommonControlsEx) InitCommonControlsEx = nullptr;
  decltype(&::SetWindowSubclass) SetWindowSubclass = nullptr;
  decltype(&::RemoveWindowSubclass) RemoveWindowSubclass = nullptr;
  decltype(&::DefSubclassProc) DefSubclassProc = nullptr;
};

// A function the DLL does not have, or all when it cannot be loaded, is
// null.
const TCommonControls& CommonControls();

}  // namespace gui
