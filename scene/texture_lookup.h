// How scene materials find the textures the show has already loaded. The show implements
// TextureLookup over its texture table; the scene code only asks by lower-cased file name.
//
//   struct Table : TextureLookup { uint32_t Find(const std::string& n) const override; };
//   uint32_t tex = FindTextureForMap("C:\\Maps\\Stone.BMP", &table);  // stone.jpg, else stone.png
#pragma once

#include <cstdint>
#include <string>

class TextureLookup {
 public:
  virtual ~TextureLookup() = default;
  // GL texture name stored under the lower-cased file name, 0 when there is none.
  virtual uint32_t Find(const std::string& lowerCaseName) const = 0;
};

// Reduces a material's map file name to its last path component, lower-cased, with ".bmp"
// turned into ".jpg", and looks that up; failing that, the same name with ".jpg" turned into
// ".png". 0 (no texture) when neither is loaded or there is no lookup.
uint32_t FindTextureForMap(const std::string& mapName, const TextureLookup* textures);
