// What Windows reads from the three programs before any of their code runs,
// in both Windows builds (the 32-bit release programs are read, not run):
// the DLLs they import and the execution level their manifest asks for.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "tests/support/ExeResources_win32.h"
#include "tests/support/ProgramImports.h"
#include "tests/support/TempDir.h"

namespace {

std::string ManifestOf(const std::string& program) {
  bool found = false;
  std::vector<uint8_t> manifest =
      testing_support::Resources(program).Get(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), 0, found);
  return std::string(manifest.begin(), manifest.end());
}

}  // namespace

TEST(ProgramFiles, ImportOnlyKnownDllsAndAskForTheirExecutionLevel) {
  struct Program {
    const char* file;  // in a build folder
    const char* level;
    bool gui;
  } programs[] = {
      {"Setup\\Setup.exe", "requireAdministrator", true},
      {"kit\\base\\setup.exe", "requireAdministrator", true},  // every installer's base
      {"compiler\\Torvane.exe", "asInvoker", true},
      {"packer\\Vessok.exe", "asInvoker", false},
  };
  std::vector<std::string> missing;
  for (const char* build : {BUILD_DIR, WIN32_BUILD_DIR}) {
    for (const Program& p : programs) {
      const std::string file = std::string(build) + "\\" + p.file;
      SCOPED_TRACE(file);
      if (!platform::FileExists(file)) {
        missing.push_back(file);
        continue;
      }
      const std::string manifest = ManifestOf(file);
      EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"" + std::string(p.level) + "\""), std::string::npos)
          << manifest;
      for (const std::string& dll : testing_support::ImportedDlls(testing_support::ReadFileBytes(file)))
        EXPECT_TRUE(testing_support::kKnownDlls.count(dll)) << dll;
      // The common controls are loaded by the name that the manifest binds
      // to the system's side-by-side copy.
      if (p.gui) {
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos)
            << manifest;
      }
    }
  }
  // The 32-bit build is made by `make test` before any test runs.
  if (!missing.empty()) GTEST_SKIP() << "not built: " << testing::PrintToString(missing);
}
