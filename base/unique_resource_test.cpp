// The one owner over its traits: what is released, when, and how often.
#include "base/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/unique_file.h"

namespace {

// Handles are small numbers; -1 is "nothing held" and -2 another value that
// needs no release (as INVALID_HANDLE_VALUE beside null).
std::vector<int> closed;

struct CountedTraits {
  using Handle = int;
  static Handle Empty() { return -1; }
  static bool Valid(Handle h) { return h >= 0; }
  static void Close(Handle h) { closed.push_back(h); }
};
using Owner = UniqueResource<CountedTraits>;

TEST(UniqueResource, ReleasesEachValueOnceAndOnlyWhatItHolds) {
  struct Case {
    const char* name;
    void (*run)();
    std::vector<int> closed;  // in this order, when the case has ended
  } cases[] = {
      {"goes out of scope", [] { Owner a(1); }, {1}},
      {"empty and invalid values are not released", [] { Owner a, b(-2); }, {}},
      {"moved: released once, by the new owner",
       [] {
         Owner a(1);
         Owner b(std::move(a));
         EXPECT_FALSE(a);
         EXPECT_EQ(b.get(), 1);
       },
       {1}},
      {"assigned: the old value first",
       [] {
         Owner a(1), b(2);
         b = std::move(a);
         EXPECT_EQ(closed, std::vector<int>{2});
       },
       {2, 1}},
      {"assigned to itself: kept",
       [] {
         Owner a(1);
         Owner& same = a;
         a = std::move(same);
         EXPECT_EQ(a.get(), 1);
       },
       {1}},
      {"reset: the old value released, the new one held",
       [] {
         Owner a(1);
         a.reset(2);
         EXPECT_EQ(closed, std::vector<int>{1});
         a.reset();
         EXPECT_EQ(a.get(), -1);
       },
       {1, 2}},
      {"release: handed back, not released",
       [] {
         Owner a(1);
         EXPECT_EQ(a.release(), 1);
         EXPECT_FALSE(a.valid());
       },
       {}},
      {"put: the old value released, the new one written in",
       [] {
         Owner a(1);
         *a.put() = 3;
         EXPECT_EQ(closed, std::vector<int>{1});
         EXPECT_EQ(a.get(), 3);
       },
       {1, 3}},
  };
  for (const Case& c : cases) {
    closed.clear();
    c.run();
    EXPECT_EQ(closed, c.closed) << c.name;
  }
}

TEST(UniqueResource, AFileIsFlushedAndClosedWhenItsOwnerGoes) {
  const std::string path = ::testing::TempDir() + "unique_resource_test.txt";
  {
    UniqueFile file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file);
    std::fputs("kept", file.get());
    UniqueFile moved = std::move(file);
  }
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  ASSERT_TRUE(file);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, file.get()), 4u);
  EXPECT_STREQ(text, "kept");
  file.reset();
  std::remove(path.c_str());
}

}  // namespace
