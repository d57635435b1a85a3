// Programs and documents started through the shell with their process
// kept, so that the caller can wait for them to end.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Opens `file` with the default verb of its type, so a program is started
// and a document opened with its program; `parameters` when not null; the
// owner window and show command as the system takes them. False when the
// shell could not start it; the shell shows nothing then. `process` is the started process, or 0 when the
// shell handed the file to a program that was already running.
bool StartShellProcess(const std::string& file, const std::string* parameters, void* ownerWindow, int showCommand,
                       uintptr_t& process);
// Whether the process has not ended yet (its handle is not signalled,
// whatever exit code it ends with); false for 0 or an unreadable process.
bool ProcessActive(uintptr_t process);
void CloseProcess(uintptr_t process);

}  // namespace platform
