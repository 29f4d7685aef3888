// Error codes, their messages, and the per-thread error cell.
#include "tkx/tkxc.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- the table ---------------------------------------------------------------

struct Row {
  int code;
  const char *name;
  const char *message;
};

const Row kRows[] = {
#define ROW_(code, name, msg) {code, #name, msg},
    TKX_ERROR_TABLE(ROW_)
#undef ROW_
};

TEST(ErrorTable, EveryCodeHasItsMessage) {
  ASSERT_EQ(sizeof kRows / sizeof kRows[0], static_cast<size_t>(TKX_ERROR_COUNT));
  const char *expected[TKX_ERROR_COUNT] = {"no error",
                                           "undocumented error",
                                           "communication error",
                                           "device controller busy",
                                           "no driver found",
                                           "no device found",
                                           "operation not available",
                                           "operation timed out",
                                           "geometric error",
                                           "expert mode disabled",
                                           "feature not implemented",
                                           "out of memory",
                                           "device not ready",
                                           "file not found",
                                           "device auto-configuration failed",
                                           "an index is outside a valid range"};
  std::set<std::string> names;
  for (int i = 0; i < TKX_ERROR_COUNT; ++i) {
    SCOPED_TRACE(kRows[i].name);
    EXPECT_EQ(kRows[i].code, i);
    EXPECT_STREQ(tkxErrorGetStr(i), expected[i]);
    EXPECT_STREQ(tkxErrorGetStr(i), kRows[i].message);
    names.insert(kRows[i].name);
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(TKX_ERROR_COUNT));
  EXPECT_EQ(TKX_ERR_NO_DEVICE, 5);
  EXPECT_EQ(TKX_ERR_INDEX_RANGE, 15);
}

TEST(ErrorTable, CodesOutsideTheTableGetAFixedText) {
  for (int code : {-1, 16, 255, 1 << 30, -2147483647 - 1}) {
    const char *s = tkxErrorGetStr(code);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, tkxErrorGetStr(16));
    for (int i = 0; i < TKX_ERROR_COUNT; ++i) EXPECT_STRNE(s, tkxErrorGetStr(i));
  }
}

// ---- the per-thread cell ---------------------------------------------------------

TEST(ErrorCell, FreshThreadStartsWithNoError) {
  std::string seen;
  int value = -1;
  std::thread([&] {
    seen = tkxErrorGetLastStr();
    value = *tkxErrnoLocation();
  }).join();
  EXPECT_EQ(seen, "no error");
  EXPECT_EQ(value, 0);
}

TEST(ErrorCell, IsolatedBetweenThreads) {
  *tkxErrnoLocation() = TKX_ERR_GEOMETRY;
  int other = -1;
  std::string otherText;
  std::thread([&] {
    // a failure here must not reach the main thread's cell
    tkxSetDevice(-1);
    other = *tkxErrnoLocation();
    otherText = tkxErrorGetLastStr();
  }).join();
  EXPECT_EQ(other, TKX_ERR_NO_DEVICE);
  EXPECT_EQ(otherText, "no device found");
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_GEOMETRY);
  EXPECT_STREQ(tkxErrorGetLastStr(), "geometric error");
}

TEST(ErrorCell, StableAddressPerThread) {
  int *mine = tkxErrnoLocation();
  EXPECT_EQ(mine, tkxErrnoLocation());
  int *theirs = nullptr;
  std::thread([&] { theirs = tkxErrnoLocation(); }).join();
  EXPECT_NE(mine, theirs);
}

TEST(ErrorCell, SuccessNeverClearsTheCode) {
  EXPECT_EQ(tkxSetDevice(-3), -1);
  EXPECT_EQ(*tkxErrnoLocation(), TKX_ERR_NO_DEVICE);
  EXPECT_EQ(tkxEnableExpertMode(), 0);
  EXPECT_EQ(tkxDisableExpertMode(), 0);
  int major = 0;
  EXPECT_EQ(tkxGetAPIVersion(&major, nullptr, nullptr, nullptr), 1466);
  tkxGetTime();
  EXPECT_EQ(tkxClose(-1), 0);
  EXPECT_STREQ(tkxErrorGetLastStr(), "no device found");
  // the caller may reset its own cell
  *tkxErrnoLocation() = TKX_ERR_NONE;
  EXPECT_STREQ(tkxErrorGetLastStr(), "no error");
}

// many short-lived threads each take a cell; the leak checker of the sanitizer
// build sees any cell that is not released at thread exit
TEST(ErrorCell, CellsOfExitedThreadsAreReleased) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 64; ++i)
    threads.emplace_back([i] {
      *tkxErrnoLocation() = i % TKX_ERROR_COUNT;
      EXPECT_EQ(*tkxErrnoLocation(), i % TKX_ERROR_COUNT);
    });
  for (std::thread &t : threads) t.join();
}

}  // namespace
