#include "platform/Program.h"

#include <gtest/gtest.h>

#include "platform/File.h"

namespace {

TEST(Program, ProgramFileIsThisTestProgram) {
  std::string path = platform::ProgramFile();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(platform::FileExists(path)) << path;
  EXPECT_NE(path.find("test_platform"), std::string::npos) << path;
}

}  // namespace
