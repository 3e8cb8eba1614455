// How scene materials find the textures the show has already loaded. The show implements
// TextureLookup over its texture table; the scene code only asks by lower-cased file name.
//
//   struct Table : TextureLookup { bool Find(const std::string& n, uint32_t* t) const override; };
//   uint32_t tex = FindTextureForMap("C:\\Maps\\Stone.BMP", &table);  // stone.jpg, else stone.png
#pragma once

#include <cstdint>
#include <string>

class TextureLookup {
 public:
  virtual ~TextureLookup() = default;
  // Whether the table has an entry under the lower-cased file name; *texture receives the GL
  // texture name it holds (0 for a picture that failed to load).
  virtual bool Find(const std::string& lowerCaseName, uint32_t* texture) const = 0;
};

// Reduces a material's map file name to its last path component, lower-cased, with ".bmp"
// turned into ".jpg", and looks that up; when the table has no such entry, the same name with
// ".jpg" turned into ".png". An entry whose picture failed to load ends the search: its texture
// is 0. 0 (no texture) as well when neither name is entered or there is no lookup.
uint32_t FindTextureForMap(const std::string& mapName, const TextureLookup* textures);
