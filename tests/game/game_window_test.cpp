#include "game/game_window.h"

#include <gtest/gtest.h>

#include <climits>

namespace fernlite {
namespace {

GameWindowRequest Sized(int width, int height, int maximized = 0) {
  GameWindowRequest request;
  request.width = width;
  request.height = height;
  request.start_maximized = maximized;
  return request;
}

constexpr WindowSize kScreen{1280, 770};

TEST(InitialWindowSize, KeepsARequestThatFitsAndTheRestoreSizeOfAMaximisedStart) {
  const WindowSize plain = InitialWindowSize(Sized(800, 500), kScreen);
  EXPECT_EQ(plain.width, 800);
  EXPECT_EQ(plain.height, 500);
  // A maximised start ignores the requested size: restoring comes back to 980 x 600.
  const WindowSize maximized = InitialWindowSize(Sized(300, 200, 1), kScreen);
  EXPECT_EQ(maximized.width, kMaximizedRestoreWidth);
  EXPECT_EQ(maximized.height, kMaximizedRestoreHeight);
}

TEST(InitialWindowSize, APageCannotAskForANegativeOrAHugeWindow) {
  for (const auto& [width, height] : {std::pair{-5, -5}, {0, 0}, {INT_MIN, INT_MIN}}) {
    const WindowSize size = InitialWindowSize(Sized(width, height), kScreen);
    EXPECT_EQ(size.width, kDefaultGameWidth) << width;
    EXPECT_EQ(size.height, kDefaultGameHeight) << height;
  }
  const WindowSize huge = InitialWindowSize(Sized(12000, INT_MAX), kScreen);
  EXPECT_EQ(huge.width, kScreen.width);
  EXPECT_EQ(huge.height, kScreen.height);
  // Each side on its own.
  const WindowSize tall = InitialWindowSize(Sized(700, 5000), kScreen);
  EXPECT_EQ(tall.width, 700);
  EXPECT_EQ(tall.height, kScreen.height);
  const WindowSize narrow = InitialWindowSize(Sized(-1, 300), kScreen);
  EXPECT_EQ(narrow.width, kDefaultGameWidth);
  EXPECT_EQ(narrow.height, 300);
}

TEST(InitialWindowSize, ASmallScreenLimitsTheMaximisedRestoreSizeToo) {
  const WindowSize size = InitialWindowSize(Sized(600, 400, 1), {800, 560});
  EXPECT_EQ(size.width, 800);
  EXPECT_EQ(size.height, 560);
}

TEST(InitialWindowSize, AnUnknownWorkAreaLimitsNothingButStillRefusesNonPositiveSizes) {
  const WindowSize big = InitialWindowSize(Sized(3000, 2000), {});
  EXPECT_EQ(big.width, 3000);
  EXPECT_EQ(big.height, 2000);
  const WindowSize negative = InitialWindowSize(Sized(-3000, 0), {});
  EXPECT_EQ(negative.width, kDefaultGameWidth);
  EXPECT_EQ(negative.height, kDefaultGameHeight);
}

}  // namespace
}  // namespace fernlite
