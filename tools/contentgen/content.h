// The show's content as the generator builds it: every file by its name inside the show
// ("data/stone.jpg", "script.txt"), the launcher picture and icon apart from them, and what the
// show uses (for the coverage report and the checks).
//
//   Content c;
//   std::string why;
//   if (!BuildContent(fontPath, &c, &why)) ...;
//   WriteContent(c, "build/content", &why);
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class Font;

struct Coverage {
  std::map<std::string, int> nodeKinds;   // class name -> count over all scenes
  std::map<std::string, int> trackKinds;  // "position", "rotation", "morph", ... -> tracks with keys
  std::map<int, int> styleCodes;          // style code -> materials
  std::map<std::string, int> effects;     // effect name -> chain entries
  std::set<int> specialParts;             // part numbers whose special behaviour the show uses
  int scenes = 0;
  int maxTriangles = 0;
  std::string maxTrianglesScene;
};

struct Content {
  std::map<std::string, std::vector<uint8_t>> files;   // the show's files, names relative to the data dir
  std::map<std::string, std::vector<uint8_t>> extras;  // launcher.png, icon.png
  Coverage coverage;
};

// Pictures: textures, fullscreen images, launcher picture and icon.
void MakePictures(const Font& font, Content* content);
// data/star.ob3.
void MakeStarMesh(Content* content);
// The scenes (data/*.scx).
void MakeScenes(const Font& font, Content* content);
// script.txt.
void MakeScript(Content* content);

bool BuildContent(const std::string& fontPath, Content* content, std::string* why);
// Writes files under dir (creating folders), then the extras beside them.
bool WriteContent(const Content& content, const std::string& dir, std::string* why);
std::string CoverageReport(const Content& content);
// The show's files as one solid ACE archive: "DATA\\name" for the data files, "script.txt" at
// the root. False with *why set when the packer refuses a member.
bool PackContent(const Content& content, std::vector<uint8_t>* archive, std::string* why);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why);
