#include "installer-library/QXI_CommandList.h"

#include <gtest/gtest.h>

TEST(CommandList, IdsFollowRegistrationAndLookupIgnoresCase) {
  TCommandList list;
  EXPECT_EQ(list.Find("goto"), -1);  // empty registry
  EXPECT_EQ(list.Add(std::make_unique<TCommandClass>("alpha", 0)), 0);
  EXPECT_EQ(list.Add(nullptr), 1);  // an empty slot keeps its id
  EXPECT_EQ(list.Add(std::make_unique<TCommandClass>("\xe9t\xe9", 0)), 2);
  EXPECT_EQ(list.Add(std::make_unique<TCommandClass>("alpha", 1)), 3);

  struct Case {
    const char* word;
    int32_t id;
  };
  const Case cases[] = {
      {"alpha", 1},     {"ALPHA", 1}, {"AlPhA", 1},  // the first of two equal keywords
      {"\xc9T\xc9", 3},                              // accented capitals fold too
      {"", -1},         {"alph", -1}, {"alpha ", -1}, {"beta", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(list.Find(c.word), c.id) << c.word;
}

TEST(CommandList, GetNeverIndexesOutsideTheRegistry) {
  TCommandList list;
  list.Add(std::make_unique<TCommandClass>("a", 0));
  list.Add(nullptr);
  EXPECT_EQ(list.Count(), 2);
  const int32_t ids[] = {INT32_MIN, -1, 0, 2, 3, 33, INT32_MAX};
  for (int32_t id : ids) EXPECT_EQ(list.Get(id), nullptr) << id;
  ASSERT_NE(list.Get(1), nullptr);
  EXPECT_EQ(list.Get(1)->Keyword, "a");
}
