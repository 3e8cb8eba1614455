#include "app/show_session.h"

#include "archive/ace_archive.h"
#include "platform/log.h"
#include "show/pictures.h"
#include "show/script.h"
#include "show/show_loaders.h"
#include "show/viewport.h"

ShowSession::ShowSession() = default;
// Frees the GL objects while the display (which outlives the session) still has its context.
ShowSession::~ShowSession() { Close(); }

void ShowSession::Prepare(const DemoOptions& options, Display& display,
                          const WindowRequest& request) {
  ReturnLargeBlocksToSystem();
  DataSource source;
  source.dataDir = options.dataDir;
  if (!options.noArchive) {
    ByteBlock block = EmbeddedArchive();
    if (block.data && block.size) {
      archive_ = std::make_unique<AceArchive>();
      archive_->SetReporter([](void*, const char* message) { Log("archive: %s", message); }, nullptr);
      int32_t members = archive_->Open(block.data, block.size);
      Log("embedded archive: %d members (%s)", members, AceStatusText(archive_->Status()));
      source.archive = archive_.get();
    }
    soundtrack_ = EmbeddedSoundtrack();
  }
  dataSource_ = std::make_unique<DataSourceScope>(source);

  display_ = &display;
  std::string error;
  hasGl = display.Open(request, &error);
  if (!hasGl) ShowErrorBox(error);
  if (hasGl) {
    int x = 0, y = 0, w = request.width, h = request.height;
    display.PictureArea(&x, &y, &w, &h);
    InitGl(w, h);
    if (x != 0 || y != 0) PlaceViewport(x, y, w, h);
  }

  auto present = [&display] { display.SwapBuffers(); };
  std::unique_ptr<ScriptLoaders> loaders;
  if (hasGl) {
    loaders = std::make_unique<GlScriptLoaders>(tables, effects, present);
  } else {
    loaders = std::make_unique<ScriptLoaders>();
  }
  ParseScript(tables, *loaders);

  if (!soundtrack_.data && !tables.soundtrackFile.empty()) {
    DataFile file;
    file.Open(tables.soundtrackFile.c_str(), "rb");
    // An exported show keeps its soundtrack beside the script rather than under data.
    std::string bare = tables.soundtrackFile.substr(tables.soundtrackFile.rfind('\\') + 1);
    if (file.HasError()) file.Open(bare.c_str(), "rb");
    if (!file.HasError()) {
      soundtrackFile_.resize(static_cast<size_t>(file.GetSize()));
      file.Read(soundtrackFile_.data(), static_cast<uint32_t>(soundtrackFile_.size()));
      soundtrack_ = {soundtrackFile_.data(), soundtrackFile_.size()};
    } else {
      Log("soundtrack %s not found: the show runs silent", tables.soundtrackFile.c_str());
    }
  }
  // Everything the show needs is in memory now; the unpacked members can go.
  if (archive_) {
    archive_->FreeMembers();
    const ByteBlock block = EmbeddedArchive();
    DropCleanPages(block.data, block.size);
  }
  TrimFreeMemory();
  renderer_ = std::make_unique<PartRenderer>(tables, effects);
  if (hasGl) renderer_->SetGlLookup([&display](const char* name) { return display.GlFunction(name); });
}

void ShowSession::DrawPart(int32_t partIndex, float partFrames, float showTime, float opacityStep, bool draw) {
  if (!renderer_) return;
  if (draw && hasGl) {
    // The heap keeps the driver's per-frame working blocks from one frame to the next (see
    // ReturnLargeBlocksToSystem); when a part begins, what the last part left free goes back.
    if (partIndex != trimmedForPart_) {
      TrimFreeMemory();
      trimmedForPart_ = partIndex;
    }
    int frameWidth = 0, frameHeight = 0;
    display_->DrawableSize(&frameWidth, &frameHeight);
    const ViewportSize view = CurrentViewport();
    renderer_->SetViewCoversFrame(view.x == 0 && view.y == 0 && view.width == frameWidth && view.height == frameHeight);
    renderer_->RenderPart(partIndex, partFrames, showTime, opacityStep);
    // Pictures loaded behind the loading screen reach their textures one a frame.
    UploadNextPicture(tables);
  } else {
    renderer_->ReplayPart(partIndex, partFrames, showTime, opacityStep);
  }
}

void ShowSession::Close() {
  renderer_.reset();
  if (hasGl) ReleaseShow(tables, effects);
  hasGl = false;
  if (display_) display_->Close();
  display_ = nullptr;
}
