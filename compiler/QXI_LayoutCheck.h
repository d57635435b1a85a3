// Whether the installer can show the pages of its layouts, found out as the
// installer itself finds it out: its own layout parser builds every page of
// the index "Pages.txt" from an installer archive, and its own decoders
// decode every picture those pages name.
#pragma once

#include <string>

class TPak;
class TSetupInfoFile;

// Why the installer (or, with `uninstaller`, the uninstaller it writes from
// the "UNINSTALL_" entries) could not build its pages from the group-0
// entries of `archive`: what the installer raises at start-up, or the text
// of the box it shows instead (a page or rich-edit file missing), after the
// page file it was reading ("Pages.txt" for the index itself). Empty when
// every page builds. `info` is the setup information the installer reads,
// for the placeholders in the layout. The archive's entries are left as
// they were.
std::string LayoutPagesFault(TPak& archive, const TSetupInfoFile& info, bool uninstaller);
