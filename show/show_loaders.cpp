#include "show/show_loaders.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

#include "io/data_file.h"
#include "platform/log.h"
#include "scene/scene.h"
#include "show/part_renderer.h"
#include "show/viewport.h"

namespace {

// "data\rock.jpg" -> "rock.jpg": failures are reported by the name the script uses.
std::string ScriptName(const std::string& file) {
  const std::string prefix = "data\\";
  return file.compare(0, prefix.size(), prefix) == 0 ? file.substr(prefix.size()) : file;
}

template <typename Map>
std::vector<std::string> SortedKeys(const Map& map) {
  std::vector<std::string> keys;
  for (const auto& item : map) keys.push_back(item.first);
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

void GlScriptLoaders::Fail(const std::string& file, const std::string& why) {
  const std::string line = ScriptName(file) + ": " + why;
  Log("show: %s", line.c_str());
  tables_.failures.push_back(line);
}

void GlScriptLoaders::ShowLoadingScreen(ShowTables& tables) {
  std::string why;
  ImageSlot loading = ::MakeFullscreenImage("data\\loading.jpg", false, &why);
  // Not named by the script: a missing loading screen is logged, not counted as a failure.
  if (loading.texture == 0) Log("show: loading screen data\\loading.jpg: %s", why.c_str());
  if (tables.imageCount < kImageSlotCount) {
    tables.images[static_cast<size_t>(tables.imageCount)] = loading;
    tables.imageTable["loading"] = tables.imageCount;
    ++tables.imageCount;
  }

  const ImageSlot slot = tables.images[static_cast<size_t>(tables.imageTable["loading"])];
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // Width over height in whole numbers (1 for every landscape window); a portrait window
  // would give 0, which no perspective accepts, so it counts as 1.
  const ViewportSize& view = CurrentViewport();
  const int32_t aspect = std::max<int32_t>(1, view.width / view.height);
  gluPerspective(90.0, static_cast<double>(aspect), 0.5, 2.0);
  if (slot.texture != 0) DrawFullscreenImage(slot, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  if (swapBuffers_) swapBuffers_();
}

void GlScriptLoaders::InitEffects() {
  ::InitEffects(&effects_);
  const Ob3Mesh& star = effects_.starMesh;
  if (star.displayList == 0) {
    Fail("data\\star.ob3", (star.problem.empty() ? std::string("not found") : star.problem) +
                               " (the ring effects draw nothing)");
  } else if (!star.problem.empty()) {
    Fail("data\\star.ob3", star.problem);
  }
}

uint32_t GlScriptLoaders::MakeTexture(const std::string& file, bool png) {
  std::string why;
  uint32_t texture = ::MakeTexture(file, png, true, &why);
  // A picture decoded in part is used, and reported all the same.
  if (!why.empty()) Fail(file, why);
  return texture;
}

ImageSlot GlScriptLoaders::MakeFullscreenImage(const std::string& file, bool png) {
  std::string why;
  ImageSlot slot = ::MakeFullscreenImage(file, png, &why);
  if (!why.empty()) Fail(file, why);
  return slot;
}

std::shared_ptr<Scene> GlScriptLoaders::LoadScene(const std::string& file) {
  auto scene = std::make_shared<Scene>();
  DataFile data;
  data.Open(file.c_str(), "rb");
  if (data.HasError()) {
    // An empty scene stands in the table, as for a file the loader cannot read.
    Fail(file, OpenProblemText(data.Problem()));
    return scene;
  }
  LoadSceneFrom(data, scene.get());
  const std::string problem = SceneProblemText(*scene);
  if (!problem.empty()) Fail(file, problem);
  // A branch deeper than the matrix stack takes in a part's chain never shows: the author must
  // hear about it before the show runs.
  GLint capacity = 0;
  glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &capacity);
  const int32_t levels = capacity - kChainMatrixDepth;
  if (scene->Depth() > levels) {
    Fail(file, "nodes nested " + std::to_string(scene->Depth()) + " levels deep, but the matrix stack takes " +
                   std::to_string(levels) + ": deeper levels are not drawn");
  }
  return scene;
}

void GlScriptLoaders::LoadSceneFrom(DataFile& data, Scene* scene) {
  SceneLoadOptions options;
  options.textures = &lookup_;
  options.compileDisplayLists = true;
  scene->LoadFrom(data, options);
}

std::string SceneProblemText(const Scene& scene) {
  if (scene.LoadProblem().empty()) return "";
  return scene.LoadProblem() + " at byte " + std::to_string(scene.LoadProblemOffset());
}

void GlScriptLoaders::PrepareFirstScene(Scene& scene) {
  if (MeshNode* mesh = scene.FindMesh(1)) mesh->displayListInUse = false;
}

void ReleaseShow(ShowTables& tables, EffectsState& effects) {
  tables.sceneTable.clear();
  std::vector<GLuint> textures;
  for (const auto& [name, texture] : tables.textureTable)
    if (texture != 0) textures.push_back(texture);
  for (ImageSlot& slot : tables.images) {
    if (slot.texture != 0) textures.push_back(slot.texture);
    slot = ImageSlot();
  }
  if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
  tables.textureTable.clear();
  tables.imageTable.clear();
  tables.imageCount = 0;
  if (effects.unitQuad != 0) glDeleteLists(effects.unitQuad, 1);
  if (effects.starMesh.displayList != 0) glDeleteLists(effects.starMesh.displayList, 1);
  effects.unitQuad = 0;
  effects.starMesh.displayList = 0;
  effects.outlines.clear();
}

int PrintShowInfo(const ShowTables& tables, FILE* out) {
  std::vector<std::string> problems;
  if (!tables.scriptError.empty()) problems.push_back(tables.scriptError);
  problems.insert(problems.end(), tables.failures.begin(), tables.failures.end());
  auto hasPicture = [&](const std::string& name) {
    return tables.imageTable.count(name) != 0 || tables.textureTable.count(name) != 0;
  };
  auto hasScene = [&](const std::string& name) { return tables.sceneTable.count(name) != 0; };
  // A part or added scene drawn through a camera the scene does not have would show the scene
  // from wherever its own camera stands, or not at all.
  auto checkCamera = [&](const std::string& where, const std::string& sceneName, const std::string& camera) {
    auto found = tables.sceneTable.find(sceneName);
    if (found == tables.sceneTable.end() || !found->second) return;
    if (camera.empty()) {
      problems.push_back(where + ": empty camera name (scene " + sceneName + ")");
      return;
    }
    const SceneNode* node = found->second->FindNode(camera);
    if (!node || node->kind != kCameraKind)
      problems.push_back(where + ": camera '" + camera + "' is not a camera of " + sceneName);
  };
  EffectsState names;
  RegisterEffects(&names);

  std::fprintf(out, "timeline: %zu parts\n", tables.timeline.size());
  for (size_t i = 0; i < tables.timeline.size(); ++i) {
    const PartEntry& part = tables.timeline[i];
    std::fprintf(out, "  %3zu  ends %8.0f ms  scene %s  camera %s  background %s  foreground %s\n", i,
                 static_cast<double>(part.time), part.name.c_str(), part.camera.c_str(), part.background.c_str(),
                 part.foreground.c_str());
    const std::string where = "part " + std::to_string(i);
    if (part.time < 0.0f) {
      problems.push_back(where + ": end time " + std::to_string(static_cast<long>(part.time)) + " ms is negative");
    } else if (i > 0 && part.time < tables.timeline[i - 1].time) {
      problems.push_back(where + ": end time " + std::to_string(static_cast<long>(part.time)) +
                         " ms is before the end of part " + std::to_string(i - 1) + " (" +
                         std::to_string(static_cast<long>(tables.timeline[i - 1].time)) +
                         " ms): the part is never shown");
    }
    if (!hasScene(part.name)) problems.push_back(where + ": scene '" + part.name + "' is not in [scenes]");
    // The last entry is never drawn: its camera does not matter.
    if (i + 1 < tables.timeline.size()) checkCamera(where, part.name, part.camera);
    for (const std::string* picture : {&part.background, &part.foreground}) {
      if (*picture != "standard" && !hasPicture(*picture))
        problems.push_back(where + ": picture '" + *picture + "' is not in [textures]");
    }
    if (part.foreground != "standard" && tables.imageTable.count(part.foreground) == 0 &&
        tables.textureTable.count(part.foreground) != 0) {
      problems.push_back(where + ": foreground '" + part.foreground +
                         "' is a texture, not a fullscreen image (add 'fullscreen' to its [textures] line)");
    }
    // Follow the chain, bounded in case it loops.
    int32_t next = part.next;
    for (size_t steps = 0; next >= 0 && static_cast<size_t>(next) < tables.addedEntries.size() &&
                           steps < tables.addedEntries.size();
         ++steps) {
      const PartEntry& entry = tables.addedEntries[static_cast<size_t>(next)];
      if (entry.isEffect) {
        std::fprintf(out, "         + effect %s  texture %s  start frame %d  speed %d  field of view %d\n",
                     entry.name.c_str(), entry.background.c_str(), entry.startFrame, entry.speed, entry.fieldOfView);
        if (FindEffect(names, entry.name) < 0)
          problems.push_back(where + ": effect '" + entry.name + "' is not a built-in effect");
        if (tables.textureTable.count(entry.background) == 0)
          problems.push_back(where + ": effect texture '" + entry.background + "' is not in [textures]");
      } else {
        std::fprintf(out, "         + scene %s  start frame %d  camera %s\n", entry.name.c_str(), entry.startFrame,
                     entry.camera.c_str());
        if (!hasScene(entry.name)) problems.push_back(where + ": added scene '" + entry.name + "' is not in [scenes]");
        if (i + 1 < tables.timeline.size()) checkCamera(where + " added scene", entry.name, entry.camera);
      }
      next = entry.next;
    }
  }

  std::fprintf(out, "textures: %zu\n", tables.textureTable.size());
  for (const std::string& name : SortedKeys(tables.textureTable))
    std::fprintf(out, "  %s%s\n", name.c_str(), tables.textureTable.at(name) == 0 ? "  (not loaded)" : "");
  std::fprintf(out, "fullscreen images: %zu\n", tables.imageTable.size());
  for (const std::string& name : SortedKeys(tables.imageTable)) {
    const int32_t index = tables.imageTable.at(name);
    const bool loaded = index >= 0 && index < static_cast<int32_t>(tables.images.size()) &&
                        tables.images[static_cast<size_t>(index)].texture != 0;
    std::fprintf(out, "  %4d  %s%s\n", index, name.c_str(), loaded ? "" : "  (not loaded)");
  }
  std::fprintf(out, "scenes: %zu\n", tables.sceneTable.size());
  for (const std::string& name : SortedKeys(tables.sceneTable)) std::fprintf(out, "  %s\n", name.c_str());

  if (problems.empty()) {
    std::fprintf(out, "everything the script names is loaded\n");
    return 0;
  }
  std::fprintf(out, "missing or failed: %zu\n", problems.size());
  for (const std::string& problem : problems) std::fprintf(out, "  %s\n", problem.c_str());
  return 1;
}
