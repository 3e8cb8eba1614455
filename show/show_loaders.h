// The loaders the script parser calls in the player: they put the loading screen up, set up the
// effects, decode and upload pictures, load scenes, and note every resource that failed (name
// and reason) in tables.failures for --info. A GL context must be current.
//
//   ShowTables tables;
//   EffectsState effects;
//   GlScriptLoaders loaders(tables, effects, [&] { display->SwapBuffers(); });
//   ParseScript(tables, loaders);
//   PrintShowInfo(tables, stdout);
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "show/effects.h"
#include "show/pictures.h"
#include "show/script.h"
#include "show/show_tables.h"

class DataFile;

class GlScriptLoaders : public ScriptLoaders {
 public:
  GlScriptLoaders(ShowTables& tables, EffectsState& effects, std::function<void()> swapBuffers)
      : tables_(tables), effects_(effects), swapBuffers_(std::move(swapBuffers)), lookup_(tables.textureTable) {}

  void ShowLoadingScreen(ShowTables& tables) override;
  void InitEffects() override;
  uint32_t MakeTexture(const std::string& file, bool png) override;
  ImageSlot MakeFullscreenImage(const std::string& file, bool png) override;
  std::shared_ptr<Scene> LoadScene(const std::string& file) override;
  void PrepareFirstScene(Scene& scene) override;

 protected:
  // Reads a scene from an open file, its materials finding their textures in the tables.
  void LoadSceneFrom(DataFile& data, Scene* scene);
  // Notes a resource that failed (or loaded with damage) in tables.failures, by its script name.
  void Fail(const std::string& file, const std::string& why);

 private:
  ShowTables& tables_;
  EffectsState& effects_;
  std::function<void()> swapBuffers_;
  TextureTableLookup lookup_;
};

// Frees every GL object the show's loading made: the scenes (with their display lists), the
// textures, the fullscreen images' textures and the effects' display lists; the tables are left
// empty. The context they were made in must still be current: call it before the display
// closes.
void ReleaseShow(ShowTables& tables, EffectsState& effects);

// "truncated record at byte 812", or empty when the scene was read to its end.
std::string SceneProblemText(const Scene& scene);

// The show as loaded: the timeline (index, end time, scene, camera, background, foreground and
// the chained entries), the texture, image and scene tables, and every resource that failed
// and why. Returns non-zero when anything the script names is missing: a failed resource, a
// part or chained scene not in the scene table, or a picture name in neither picture table.
int PrintShowInfo(const ShowTables& tables, FILE* out);
