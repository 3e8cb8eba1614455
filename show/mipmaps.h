// Mipmapped texture upload without the GL utility library's generic (and slow) scaler: for
// power-of-two pictures each level is the 2 x 2 box average of the one above, rounded as the
// utility library rounds, so the levels are the same bytes gluBuild2DMipmaps would upload.
// Other sizes, and pictures larger than the driver takes, go to gluBuild2DMipmaps itself.
//
//   glBindTexture(GL_TEXTURE_2D, texture);
//   UploadMipmaps(GL_RGBA, 256, 256, rgba.data());   // levels 0 .. 8
#pragma once

#include <cstdint>
#include <vector>

// The next level down of a tightly packed RGBA picture (w x h, both >= 1, not both 1): each
// side halves (a side of 1 stays 1). Exposed for tests.
std::vector<uint8_t> HalveRgba(const uint8_t* rgba, int width, int height);

// Uploads level 0 (internalFormat, from RGBA bytes) and every smaller level to the bound 2D
// texture. Returns what gluBuild2DMipmaps would: 0 on success.
int UploadMipmaps(int internalFormat, int width, int height, const uint8_t* rgba);
