#include "platform/gui/CommonControlsLibrary_win32.h"

#include "platform/Libraries_win32.h"

namespace gui {

const TCommonControls& CommonControls() {
  static const TCommonControls functions = [] {
    using platform::LibraryFunction;
    HMODULE library = platform::LoadBoundLibrary(L"comctl32.dll");
    TCommonControls f;
    f.InitCommonControlsEx = LibraryFunction<decltype(f.InitCommonControlsEx)>(library, "InitCommonControlsEx");
    f.SetWindowSubclass = LibraryFunction<decltype(f.SetWindowSubclass)>(library, "SetWindowSubclass");
    f.RemoveWindowSubclass = LibraryFunction<decltype(f.RemoveWindowSubclass)>(library, "RemoveWindowSubclass");
    f.DefSubclassProc = LibraryFunction<decltype(f.DefSubclassProc)>(library, "DefSubclassProc");
    return f;
  }();
  return functions;
}

}  // namespace gui
