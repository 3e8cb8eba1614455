// Reloading a show from its loose files while it plays (the edit mode). The script is read
// again into fresh tables; pictures and scenes whose files hold the same bytes as before are
// kept as they are, changed ones are loaded anew, and one that no longer loads keeps its
// previous version (and says so). A script that gives no show changes nothing. What the old
// version held and the new one does not (GL textures, display lists, scenes) is released.
//
//   ShowRun run;  run.Open(options, request, display);   // the show loaded as usual
//   ShowReloader reloader(run.session());
//   reloader.Adopt();                                     // notes what each file held
//   ReloadOutcome r = reloader.Reload();                  // after the files changed
//   reloader.ResetState();                                // before replaying from the start
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/show_session.h"

struct ReloadOutcome {
  bool applied = false;  // the new version now plays
  // Why nothing was applied (the script gives no show); empty when applied.
  std::string error;
};

// What one version of the show was made from: each resource with the hash of the bytes it was
// made from (0 when its file could not be read) and what was wrong with it, if anything.
struct ResourceCache {
  struct Texture {
    uint64_t hash = 0;
    uint32_t texture = 0;
    std::string problem;
  };
  struct Image {
    uint64_t hash = 0;
    ImageSlot slot;
    std::string problem;
  };
  struct SceneSource {
    uint64_t hash = 0;
    std::shared_ptr<const std::vector<uint8_t>> bytes;  // null: the file could not be read
    std::string problem;
  };
  std::map<std::string, Texture> textures;    // by "jpg data\rock.jpg" / "png data\leaf.png"
  std::map<std::string, Image> images;        // the same keys
  std::map<std::string, SceneSource> scenes;  // by "data\city.scx"
  ImageSlot loading;
  uint64_t starHash = 0;
};

class ShowReloader {
 public:
  explicit ShowReloader(ShowSession& session) : session_(session) {}

  // Takes over what the session loaded (it must have GL) and notes what each file held.
  void Adopt();
  // Reads the script and the files again (see the top of this file).
  ReloadOutcome Reload();
  // Rebuilds every scene from the bytes it was loaded from and restarts the effects' random
  // sequence: the state a fresh load has, so a replay from the start gives what a fresh run
  // gives at every time.
  void ResetState();
  // The folders the show's files lie in (the data directory, its data folder, and any folder a
  // name reaches into), to be watched.
  std::vector<std::string> Folders() const;

 private:
  void ReloadStarMesh(std::vector<std::string>* failures);

  ShowSession& session_;
  ResourceCache cache_;
};

// 64-bit FNV-1a of the bytes (0 is kept for "no file").
uint64_t HashBytes(const uint8_t* data, size_t size);
