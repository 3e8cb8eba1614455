#include <gtest/gtest.h>

#include <set>

#include "platform/launcher_art.h"

namespace {

TEST(PlaceholderArt, FillsTheRequestedSizeOpaqueAndNotFlat) {
  const auto art = MakePlaceholderArt(kLauncherArtWidth,
                                                kLauncherArtHeight);
  ASSERT_EQ(art.size(), 180u * 182u * 4u);
  std::set<uint32_t> colours;
  for (size_t i = 0; i < art.size(); i += 4) {
    ASSERT_EQ(art[i + 3], 255) << "pixel " << i / 4;
    colours.insert(art[i] | art[i + 1] << 8 | art[i + 2] << 16);
  }
  EXPECT_GT(colours.size(), 100u);
  EXPECT_TRUE(MakePlaceholderArt(0, 10).empty());
  EXPECT_TRUE(MakePlaceholderArt(10, -1).empty());
  EXPECT_EQ(MakePlaceholderArt(1, 1).size(), 4u);
}

}  // namespace
