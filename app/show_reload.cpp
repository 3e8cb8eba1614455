#include "app/show_reload.h"

#include <GL/gl.h>

#include <set>

#include "io/data_file.h"
#include "platform/log.h"
#include "scene/scene.h"
#include "show/ob3.h"
#include "show/pictures.h"
#include "show/script.h"
#include "show/show_loaders.h"

namespace {

const char kPreviousStays[] = " (the previous version stays)";

std::string Key(const std::string& file, bool png) { return (png ? "png " : "jpg ") + file; }

// The bytes of a file as DataFile finds it; empty with *problem set when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::string& file, OpenProblem* problem = nullptr) {
  DataFile data;
  data.Open(file.c_str(), "rb");
  if (problem) *problem = data.Problem();
  if (data.HasError()) return {};
  return std::vector<uint8_t>(data.Data(), data.Data() + data.GetSize());
}

uint64_t HashOf(const std::vector<uint8_t>& bytes) { return bytes.empty() ? 0 : HashBytes(bytes.data(), bytes.size()); }

void DeleteTexture(uint32_t texture) {
  if (texture != 0) glDeleteTextures(1, &texture);
}

// A scene read from bytes, its materials finding their textures in `textures`.
std::shared_ptr<Scene> SceneFromBytes(const std::vector<uint8_t>* bytes, const TextureTableLookup* textures) {
  auto scene = std::make_shared<Scene>();
  if (!bytes || bytes->empty()) return scene;
  DataFile data;
  data.OpenMemory(bytes->data(), static_cast<int32_t>(bytes->size()));
  SceneLoadOptions options;
  options.textures = textures;
  options.compileDisplayLists = true;
  scene->LoadFrom(data, options);
  return scene;
}

// The first part's scene draws its second mesh through its styles every frame, as after a load.
void PrepareFirstScene(ShowTables& tables) {
  if (tables.timeline.empty()) return;
  auto found = tables.sceneTable.find(tables.timeline[0].name);
  if (found == tables.sceneTable.end() || !found->second) return;
  if (MeshNode* mesh = found->second->FindMesh(1)) mesh->displayListInUse = false;
}

// The script's loaders for a reload: a resource whose file holds what it held last time is the
// one already made; a changed one is made anew; one that fails keeps the version before.
class ReloadLoaders final : public GlScriptLoaders {
 public:
  ReloadLoaders(ShowTables& fresh, EffectsState& effects, const ResourceCache& old, ResourceCache* next)
      : GlScriptLoaders(fresh, effects, nullptr), fresh_(fresh), old_(old), next_(next) {}

  // The loading screen is not shown again; its slot is kept.
  void ShowLoadingScreen(ShowTables& tables) override {
    next_->loading = old_.loading;
    tables.images[0] = old_.loading;
    tables.imageTable["loading"] = 0;
    tables.imageCount = 1;
  }
  // The effects stay; their mesh is reloaded on its own.
  void InitEffects() override {}

  uint32_t MakeTexture(const std::string& file, bool png) override {
    const std::string key = Key(file, png);
    if (auto made = next_->textures.find(key); made != next_->textures.end()) return made->second.texture;
    const uint64_t hash = HashOf(ReadBytes(file));
    auto before = old_.textures.find(key);
    if (before != old_.textures.end() && Unchanged(file, before->second, hash, before->second.texture)) {
      next_->textures[key] = before->second;
      return before->second.texture;
    }
    std::string why;
    const uint32_t texture = ::MakeTexture(file, png, true, &why);
    if (texture != 0 && why.empty()) {
      next_->textures[key] = {hash, texture, ""};
      return texture;
    }
    if (before != old_.textures.end() && before->second.texture != 0) {
      DeleteTexture(texture);
      next_->textures[key] = before->second;
      Fail(file, why + kPreviousStays);
      return before->second.texture;
    }
    Fail(file, why);
    if (texture != 0) next_->textures[key] = {hash, texture, why};
    return texture;
  }

  ImageSlot MakeFullscreenImage(const std::string& file, bool png) override {
    const std::string key = Key(file, png);
    if (auto made = next_->images.find(key); made != next_->images.end()) return made->second.slot;
    const uint64_t hash = HashOf(ReadBytes(file));
    auto before = old_.images.find(key);
    if (before != old_.images.end() && Unchanged(file, before->second, hash, before->second.slot.texture)) {
      next_->images[key] = before->second;
      return before->second.slot;
    }
    std::string why;
    ImageSlot slot = ::MakeFullscreenImage(file, png, &why);
    if (slot.texture != 0 && why.empty()) {
      next_->images[key] = {hash, slot, ""};
      return slot;
    }
    if (before != old_.images.end() && before->second.slot.texture != 0) {
      DeleteTexture(slot.texture);
      next_->images[key] = before->second;
      Fail(file, why + kPreviousStays);
      return before->second.slot;
    }
    Fail(file, why);
    if (slot.texture != 0) next_->images[key] = {hash, slot, why};
    return slot;
  }

  std::shared_ptr<Scene> LoadScene(const std::string& file) override {
    TextureTableLookup lookup(fresh_.textureTable);
    if (auto made = next_->scenes.find(file); made != next_->scenes.end())
      return SceneFromBytes(made->second.bytes.get(), &lookup);
    OpenProblem problem = OpenProblem::kNone;
    auto bytes = std::make_shared<std::vector<uint8_t>>(ReadBytes(file, &problem));
    const uint64_t hash = HashOf(*bytes);
    auto before = old_.scenes.find(file);
    const bool hadOne = before != old_.scenes.end() && before->second.bytes;
    ResourceCache::SceneSource chosen{hash, bytes, ""};
    if (before != old_.scenes.end() && Unchanged(file, before->second, hash, before->second.bytes != nullptr)) {
      chosen = before->second;
    } else {
      // A changed file is read once without GL to see whether it is whole.
      std::string why = bytes->empty() ? OpenProblemText(problem) : "";
      if (why.empty()) {
        Scene check;
        DataFile data;
        data.OpenMemory(bytes->data(), static_cast<int32_t>(bytes->size()));
        SceneLoadOptions options;
        options.compileDisplayLists = false;
        check.LoadFrom(data, options);
        why = SceneProblemText(check);
      }
      if (!why.empty() && hadOne) {
        chosen = before->second;
        Fail(file, why + kPreviousStays);
      } else if (!why.empty()) {
        Fail(file, why);
        chosen.problem = why;
        if (bytes->empty()) chosen.bytes = nullptr;
      }
    }
    next_->scenes[file] = chosen;
    return SceneFromBytes(chosen.bytes.get(), &lookup);
  }

 private:
  // The same bytes as last time give the same resource, and the same problem, said again. One
  // that failed with nothing to say (taken over from the first load) is tried again.
  template <typename Entry>
  bool Unchanged(const std::string& file, const Entry& before, uint64_t hash, bool made) {
    if (hash == 0 || before.hash != hash || (!made && before.problem.empty())) return false;
    if (!before.problem.empty()) Fail(file, before.problem);
    return true;
  }

  ShowTables& fresh_;
  const ResourceCache& old_;
  ResourceCache* next_;
};

// GL textures of a cache (canvas textures of its images included).
std::set<uint32_t> TexturesOf(const ResourceCache& cache) {
  std::set<uint32_t> names;
  for (const auto& [key, t] : cache.textures) names.insert(t.texture);
  for (const auto& [key, i] : cache.images) names.insert(i.slot.texture);
  names.insert(cache.loading.texture);
  names.erase(0u);
  return names;
}

}  // namespace

uint64_t HashBytes(const uint8_t* data, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 1099511628211ull;
  }
  return hash == 0 ? 1 : hash;
}

void ShowReloader::Adopt() {
  const ShowTables& tables = session_.tables;
  cache_ = ResourceCache();
  for (const auto& [name, texture] : tables.textureTable) {
    // A name with both extensions was loaded twice; the table holds the later (PNG) texture.
    const bool png = name.find(".png") != std::string::npos;
    const std::string file = "data\\" + name;
    cache_.textures[Key(file, png)] = {HashOf(ReadBytes(file)), texture, ""};
  }
  for (const auto& [name, index] : tables.imageTable) {
    if (index < 0 || index >= static_cast<int32_t>(tables.images.size())) continue;
    const ImageSlot& slot = tables.images[static_cast<size_t>(index)];
    if (name == "loading") {
      cache_.loading = slot;
      continue;
    }
    const bool png = name.find(".png") != std::string::npos;
    const std::string file = "data\\" + name;
    cache_.images[Key(file, png)] = {HashOf(ReadBytes(file)), slot, ""};
  }
  for (const auto& [name, scene] : tables.sceneTable) {
    const std::string file = "data\\" + name;
    auto bytes = std::make_shared<std::vector<uint8_t>>(ReadBytes(file));
    ResourceCache::SceneSource source{HashOf(*bytes), bytes, ""};
    if (bytes->empty()) source.bytes = nullptr;
    cache_.scenes[file] = source;
  }
  cache_.starHash = HashOf(ReadBytes("data\\star.ob3"));
}

ReloadOutcome ShowReloader::Reload() {
  ReloadOutcome outcome;
  ShowTables fresh;
  ResourceCache next;
  {
    ReloadLoaders loaders(fresh, session_.effects, cache_, &next);
    ParseScript(fresh, loaders);
  }
  if (!fresh.scriptError.empty()) {
    // Everything stays as it was: what this attempt made is released again.
    const std::set<uint32_t> kept = TexturesOf(cache_);
    for (uint32_t texture : TexturesOf(next))
      if (kept.count(texture) == 0) DeleteTexture(texture);
    outcome.error = fresh.scriptError + kPreviousStays;
    Log("reload: %s", outcome.error.c_str());
    return outcome;
  }
  ReloadStarMesh(&fresh.failures);
  const std::set<uint32_t> kept = TexturesOf(next);
  for (uint32_t texture : TexturesOf(cache_))
    if (kept.count(texture) == 0) DeleteTexture(texture);
  cache_ = std::move(next);
  // The renderer holds the session's tables by reference: they are replaced in place.
  session_.tables = std::move(fresh);
  PrepareFirstScene(session_.tables);
  session_.effects.random = EffectRandom();
  outcome.applied = true;
  return outcome;
}

void ShowReloader::ReloadStarMesh(std::vector<std::string>* failures) {
  const char* file = "data\\star.ob3";
  const uint64_t hash = HashOf(ReadBytes(file));
  if (hash == cache_.starHash) return;
  Ob3Mesh mesh;
  LoadOb3(file, 1, &mesh, 3, 1);
  Ob3Mesh& current = session_.effects.starMesh;
  const bool whole = mesh.displayList != 0 && mesh.problem.empty();
  if (!whole && current.displayList != 0) {
    if (mesh.displayList != 0) glDeleteLists(mesh.displayList, 1);
    failures->push_back("star.ob3: " + (mesh.problem.empty() ? std::string("not found") : mesh.problem) +
                        kPreviousStays);
    return;
  }
  if (!whole) failures->push_back("star.ob3: " + (mesh.problem.empty() ? std::string("not found") : mesh.problem));
  if (current.displayList != 0) glDeleteLists(current.displayList, 1);
  current = std::move(mesh);
  cache_.starHash = hash;
}

void ShowReloader::ResetState() {
  ShowTables& tables = session_.tables;
  TextureTableLookup lookup(tables.textureTable);
  for (auto& [name, scene] : tables.sceneTable) {
    auto source = cache_.scenes.find("data\\" + name);
    scene = SceneFromBytes(source != cache_.scenes.end() ? source->second.bytes.get() : nullptr, &lookup);
  }
  PrepareFirstScene(tables);
  session_.effects.random = EffectRandom();
}

std::vector<std::string> ShowReloader::Folders() const {
  const std::string dir = CurrentDataSource().dataDir.empty() ? "." : CurrentDataSource().dataDir;
  std::set<std::string> folders = {dir, DiskPathFor(dir, "data")};
  auto add = [&](const std::string& file) {
    const std::string path = DiskPathFor(dir, file.c_str());
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) folders.insert(path.substr(0, slash));
  };
  for (const auto& [key, t] : cache_.textures) add(key.substr(4));
  for (const auto& [key, i] : cache_.images) add(key.substr(4));
  for (const auto& [file, s] : cache_.scenes) add(file);
  return std::vector<std::string>(folders.begin(), folders.end());
}
