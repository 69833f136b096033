// The destination dialog's path as a Linux user types it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "save/save_walk.h"
#include "support/test_support.h"

namespace korv {
namespace {

TEST(DestinationTest, ATildeIsTheHomeFolderAndLongPathsAreLinuxOnes) {
  test::TempDir home;
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("HOME", home.path().c_str(), 1);
  test::ScriptedPrompts prompts;
  const auto folder = AcceptDestination("~/recovered/today", prompts);
  ::setenv("HOME", previous.c_str(), 1);
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(*folder, home.path() / "recovered" / "today");
  EXPECT_TRUE(std::filesystem::is_directory(*folder));
  // "~name" is a name, not someone's home.
  EXPECT_EQ(AcceptDestination((home.path() / "~x").string(), prompts), home.path() / "~x");
  EXPECT_GE(kMaxDestinationCharacters, 4096u);
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace korv
