// Everything a run of the show needs before its first frame: the data source (archive first,
// then loose files), the GL state of a freshly opened display, and the script's tables with
// every texture, image and scene loaded. Shared by the live player and the offline render.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/show_bridge.h"
#include "io/data_file.h"
#include "platform/platform.h"
#include "show/effects.h"
#include "show/part_renderer.h"
#include "show/show_tables.h"

class AceArchive;

class ShowSession {
 public:
  ShowSession();
  ~ShowSession();
  ShowSession(const ShowSession&) = delete;
  ShowSession& operator=(const ShowSession&) = delete;

  // Opens the archive (unless options.noArchive), installs the data source, opens the display
  // with `request`, sets the GL state and parses the script. A display that cannot give a GL
  // context is reported (message box) and the session goes on without drawing.
  void Prepare(const DemoOptions& options, Display& display, const WindowRequest& request);

  // Frees the show's GL objects while the context is still current, then closes the display
  // given to Prepare. Safe to call twice; the session draws nothing afterwards.
  void Close();

  // Draws one frame of timeline part `partIndex`. With draw false nothing reaches GL: only what
  // a frame changes in the scenes happens, so a seek can replay the show quickly.
  void DrawPart(int32_t partIndex, float partFrames, float showTime, float opacityStep, bool draw);

  // The soundtrack's MP3 bytes: the embedded block, or with no archive the file the script's
  // [mp3] section names. Empty when there is none.
  ByteBlock Soundtrack() const { return soundtrack_; }

  ShowTables tables;
  EffectsState effects;
  bool hasGl = false;

 private:
  Display* display_ = nullptr;
  std::unique_ptr<PartRenderer> renderer_;
  std::unique_ptr<AceArchive> archive_;
  std::unique_ptr<DataSourceScope> dataSource_;
  ByteBlock soundtrack_;
  std::vector<uint8_t> soundtrackFile_;
  int32_t trimmedForPart_ = -1;
};
