// A seek lands on the very frame a full run draws, random effects included; and a run frees
// the show's GL objects while its context is still there.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/demo_app.h"
#include "app/offline_render.h"
#include "io/data_file.h"
#include "io/image_decode.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "tests/show/test_show.h"

namespace {

std::vector<uint8_t> Rgb(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  DecodedImage image;
  if (DecodePng(file, &image) != kPngOk) return {};
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < image.pixels.size(); i += 4) rgb.insert(rgb.end(), {image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]});
  return rgb;
}

DemoOptions ShowOptions(const std::string& dir) {
  DemoOptions options;
  options.dataDir = dir;
  options.noArchive = true;
  options.noSound = true;
  options.fps = 10.0;
  options.width = 64;
  options.height = 48;
  return options;
}

// A render of the show the options describe, at their rate and size, into `out`.
RenderRequest RenderOf(const DemoOptions& options, const std::string& out) {
  RenderRequest render;
  render.out = out;
  render.fps = options.fps;
  render.width = options.width;
  render.height = options.height;
  return render;
}

// A headless display that, when it is closed, counts the display lists and textures still
// alive in its context.
class CountingDisplay final : public HeadlessDisplay {
 public:
  bool Open(const WindowRequest& request, std::string* error) override {
    open_ = inner_->Open(request, error);
    return open_;
  }
  void DrawableSize(int* width, int* height) const override { inner_->DrawableSize(width, height); }
  void PumpEvents(WindowEvents& sink) override { inner_->PumpEvents(sink); }
  void SwapBuffers() override { inner_->SwapBuffers(); }
  void* GlFunction(const char* name) const override { return inner_->GlFunction(name); }
  uint32_t Ticks() override { return inner_->Ticks(); }
  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override {
    return inner_->ReadPixels(rgba, width, height);
  }
  void SetTicks(uint32_t ms) override { inner_->SetTicks(ms); }
  void AdvanceTicks(uint32_t ms) override { inner_->AdvanceTicks(ms); }
  void Close() override {
    if (open_) {
      lists = textures = 0;
      for (GLuint name = 1; name < 1000; ++name) {
        lists += glIsList(name) ? 1 : 0;
        textures += glIsTexture(name) ? 1 : 0;
      }
      open_ = false;
    }
    inner_->Close();
  }

  int lists = -1, textures = -1;

 private:
  std::unique_ptr<HeadlessDisplay> inner_ = CreateHeadlessDisplay();
  bool open_ = false;
};

}  // namespace

TEST(Seek, FrameAtATimeIsTheRendersFrameEvenWithRandomEffects) {
  // The test show's third part (4 to 6 s) chains droid2, which draws two random values a frame.
  const std::string dir = testshow::WriteShow("seek-droid2");
  DemoOptions options = ShowOptions(dir);
  RenderRequest render = RenderOf(options, dir + "/frames");
  render.to = 4.65;
  ASSERT_EQ(RenderShow(options, render), 0);
  for (double seconds : {4.5, 4.0}) {
    const std::string png = dir + "/frame.png";
    std::remove(png.c_str());
    ASSERT_EQ(CaptureFrame(options, seconds, png, options.width, options.height), 0);
    const long index = std::lround(seconds * options.fps) + 1;
    const std::vector<uint8_t> rendered = Rgb(render.out + "/" + FrameFileName(index));
    ASSERT_FALSE(rendered.empty()) << FrameFileName(index);
    EXPECT_EQ(Rgb(png), rendered) << "frame at " << seconds << " s";
  }
}

TEST(Close, TheShowsListsAndTexturesAreFreedBeforeTheDisplayCloses) {
  const std::string dir = testshow::WriteShow("close-gl");
  DemoOptions options = ShowOptions(dir);
  options.headless = true;
  options.frames = 3;
  CountingDisplay display;
  ASSERT_EQ(PlayShow(options, &display), 0);
  EXPECT_EQ(display.lists, 0);
  EXPECT_EQ(display.textures, 0);
}

TEST(Render, AFrameThatCannotBeWrittenFailsTheRenderAndLaterFramesStop) {
  // Frames are written by a second thread; its failure must still reach the caller.
  const std::string dir = testshow::WriteShow("render-blocked");
  DemoOptions options = ShowOptions(dir);
  RenderRequest render = RenderOf(options, dir + "/frames");
  render.from = 1.0;
  render.to = 3.0;
  std::string why;
  // A folder where the third frame's file should go.
  ASSERT_TRUE(MakeDirectories(render.out + "/" + FrameFileName(3), &why)) << why;
  EXPECT_EQ(RenderShow(options, render), 1);
  EXPECT_FALSE(Rgb(render.out + "/" + FrameFileName(2)).empty());
  EXPECT_TRUE(Rgb(render.out + "/" + FrameFileName(60)).empty());
}

TEST(Render, AVideoIsTheSameBytesEveryTime) {
  if (FindOnPath("ffmpeg").empty()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string dir = testshow::WriteShow("render-video");
  DemoOptions options = ShowOptions(dir);
  options.noSound = true;
  std::vector<std::vector<uint8_t>> videos;
  for (const char* name : {"/a.mkv", "/b.mkv"}) {
    RenderRequest render = RenderOf(options, dir + name);
    render.to = 0.5;
    ASSERT_EQ(RenderShow(options, render), 0);
    std::FILE* f = std::fopen(render.out.c_str(), "rb");
    ASSERT_TRUE(f);
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    ASSERT_FALSE(bytes.empty());
    videos.push_back(std::move(bytes));
  }
  EXPECT_TRUE(videos[0] == videos[1]) << "the two renders differ";
}
