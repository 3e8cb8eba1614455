// The launcher's picture: the one the show brings (decoded by the caller, since the platform
// layer reads no image files) or, when it brings none, one drawn here. The drawn one is also
// the program's window icon.
//   std::vector<uint8_t> rgba = MakePlaceholderArt(kLauncherArtWidth,
//                                                            kLauncherArtHeight);
#pragma once

#include <cstdint>
#include <vector>

// The picture shown on the right of the launcher: RGBA rows, top row first.
struct LauncherArt {
  const uint8_t* rgba = nullptr;
  int width = 0;
  int height = 0;
};

constexpr int kLauncherArtWidth = 180;
constexpr int kLauncherArtHeight = 182;

// The picture used when the content brings none: a dusk sky with a ringed planet, RGBA rows.
std::vector<uint8_t> MakePlaceholderArt(int width, int height);
