#include "scene/texture_lookup.h"

namespace {

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

}  // namespace

uint32_t FindTextureForMap(const std::string& mapName, const TextureLookup* textures) {
  if (!textures) return 0;
  size_t slash = mapName.rfind('\\');
  std::string name = slash == std::string::npos ? mapName : mapName.substr(slash + 1);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  ReplaceAll(&name, ".bmp", ".jpg");
  uint32_t texture = 0;
  if (textures->Find(name, &texture)) return texture;
  ReplaceAll(&name, ".jpg", ".png");
  if (textures->Find(name, &texture)) return texture;
  return 0;
}
