// The one command-line splitter of the system's programs.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits a command line into items: blanks and tabs separate them, double
// quotes group blanks into an item and are removed, and a backslash is an
// ordinary character (so -id "C:\Games\" gives C:\Games\). A pair of quotes
// with nothing between them is an empty item.
std::vector<std::u16string> SplitCommandLine(const std::u16string& line);

// The program's parameters, without the program itself, as the user gave
// them: on Windows the process's own command line split as above (argc and
// argv are not used), on the host argv.
std::vector<std::u16string> ProgramParametersWide(int argc, char** argv);
// The same as 8-bit text: a parameter that names a file or folder by a name
// the code page cannot hold comes as its short form (NarrowPath); one that
// has none keeps a '?' for each such character, naming no file at all.
std::vector<std::string> ProgramParameters(int argc, char** argv);

}  // namespace platform
