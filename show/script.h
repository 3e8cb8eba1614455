// The script: "script.txt" parsed into the show's tables. Loading of pictures, scenes and
// effects goes through ScriptLoaders so the parser can run without a GL context (tests use the
// default loaders, which load nothing and record nothing as missing).
//
//   ShowTables tables;
//   GlScriptLoaders loaders(...);   // the real ones, in show/
//   ParseScript(tables, loaders);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "show/show_tables.h"

class ScriptLoaders {
 public:
  virtual ~ScriptLoaders() = default;
  // Builds "data\loading.jpg" as a fullscreen image, enters it as "loading" and shows it.
  virtual void ShowLoadingScreen(ShowTables& tables) { (void)tables; }
  virtual void InitEffects() {}
  // file is the archive path ("data\rock.jpg"). Returns the texture name, 0 when it failed.
  virtual uint32_t MakeTexture(const std::string& file, bool png) {
    (void)file;
    (void)png;
    return 0;
  }
  virtual ImageSlot MakeFullscreenImage(const std::string& file, bool png) {
    (void)file;
    (void)png;
    return {};
  }
  // Always returns a scene (an empty one when the file could not be read); null only when
  // scenes are not loaded at all.
  virtual std::shared_ptr<Scene> LoadScene(const std::string& file) {
    (void)file;
    return nullptr;
  }
  // Final step: the first part's scene draws its second mesh through its styles every frame.
  virtual void PrepareFirstScene(Scene& scene) { (void)scene; }
};

// Parses "script.txt" through DataFile. A script with CR LF line ends is read as such (a lone LF
// stays inside its line); one without any CR is read with LF line ends. A script that cannot
// be read, or that gives fewer than two parts, leaves the reason in tables.scriptError; names
// too long for a line are noted in tables.failures and not loaded.
void ParseScript(ShowTables& tables, ScriptLoaders& loaders);

// The leading decimal integer of a line: blanks skipped, optional sign, digits; 0 if none.
int32_t ParseLeadingInt(const std::string& line);
