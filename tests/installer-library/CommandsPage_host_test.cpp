// The guide's page of script commands against the command table: every
// command the compiler knows has its row, and no row names a command the
// compiler would refuse.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "installer-library/QXI_CommandList.h"
#include "installer-library/QXI_Commands.h"

TEST(CommandsPage, ListsEveryCommandOfTheTableAndNoOther) {
  const std::filesystem::path page =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "docs" / "commands.md";
  std::ifstream in(page);
  ASSERT_TRUE(in) << page;
  std::stringstream text;
  text << in.rdbuf();
  const std::string content = text.str();

  TCommandList commands;
  RegisterCommands(commands);
  ASSERT_EQ(commands.Count(), kCommandCount);
  for (int32_t id = 1; id <= commands.Count(); ++id) {
    const std::string& keyword = commands.Get(id)->Keyword;
    EXPECT_NE(content.find("\n| `" + keyword + "` |"), std::string::npos) << keyword;
  }
  // Rows of the command tables begin with a keyword in backticks.
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const std::string keyword = line.substr(3, line.find('`', 3) - 3);
    EXPECT_GT(commands.Find(keyword), 0) << line;
  }
}
