#include "tools/contactsheet/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/show_run.h"
#include "io/image_write.h"
#include "platform/platform.h"
#include "show/part_rules.h"

namespace {

// 3 x 5 dot digits, one row per 3 bits, top row first.
const uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

constexpr double kBlackMean = 6.0;
constexpr double kFlatContrast = 3.0;

// Draws the chosen frames of each part (in show order) while replaying the rest without drawing.
class SheetPlan final : public FramePlan {
 public:
  SheetPlan(Display& display, std::vector<double> times, int perPart, double fps)
      : display_(display), times_(std::move(times)), perPart_(perPart), fps_(fps), frames_(times_.size()),
        seconds_(times_.size()) {}
  bool Done(long) override { return captured_ == times_.size(); }
  bool Draw(long index, int32_t part) override {
    if (part < 0) return false;
    for (int k = 0; k < perPart_; ++k) {
      size_t i = static_cast<size_t>(part) * perPart_ + k;
      if (i >= times_.size()) return false;
      if (frames_[i].empty() && FrameTime(index) >= times_[i]) {
        current_ = i;
        return true;
      }
    }
    return false;
  }
  void Drawn(long index, int32_t) override {
    display_.ReadPixels(&frames_[current_], &width, &height);
    seconds_[current_] = FrameTime(index);
    ++captured_;
  }
  const std::vector<std::vector<uint8_t>>& frames() const { return frames_; }
  double SecondsOf(size_t shot) const { return shot < seconds_.size() ? seconds_[shot] : 0.0; }
  int width = 0, height = 0;

 private:
  double FrameTime(long index) const { return static_cast<double>(index) / fps_; }
  Display& display_;
  std::vector<double> times_;
  int perPart_;
  double fps_;
  std::vector<std::vector<uint8_t>> frames_;
  std::vector<double> seconds_;
  size_t captured_ = 0;
  size_t current_ = 0;
};

void Downscale(const std::vector<uint8_t>& src, int sw, int sh, std::vector<uint8_t>* sheet, int sheetWidth, int x0,
               int y0, int tw, int th) {
  for (int y = 0; y < th; ++y) {
    int sy0 = y * sh / th, sy1 = std::max(sy0 + 1, (y + 1) * sh / th);
    for (int x = 0; x < tw; ++x) {
      int sx0 = x * sw / tw, sx1 = std::max(sx0 + 1, (x + 1) * sw / tw);
      unsigned sum[3] = {0, 0, 0};
      unsigned n = 0;
      for (int sy = sy0; sy < sy1; ++sy) {
        for (int sx = sx0; sx < sx1; ++sx) {
          const uint8_t* p = &src[(static_cast<size_t>(sy) * sw + sx) * 4];
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
          ++n;
        }
      }
      uint8_t* d = &(*sheet)[(static_cast<size_t>(y0 + y) * sheetWidth + x0 + x) * 4];
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(sum[c] / n);
      d[3] = 255;
    }
  }
}

}  // namespace

void MeasureFrame(const std::vector<uint8_t>& rgba, double* mean, double* contrast) {
  size_t n = rgba.size() / 4;
  if (n == 0) {
    *mean = *contrast = 0.0;
    return;
  }
  double sum = 0.0, sum2 = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = &rgba[i * 4];
    double y = 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2];
    sum += y;
    sum2 += y * y;
  }
  *mean = sum / static_cast<double>(n);
  *contrast = std::sqrt(std::max(0.0, sum2 / static_cast<double>(n) - *mean * *mean));
}

void JudgeFrame(PartFrameStats* s) {
  s->fadeIntended = FadesToBlack(s->part);
  s->black = s->mean < kBlackMean;
  s->flat = !s->black && s->contrast < kFlatContrast;
}

void DrawNumber(std::vector<uint8_t>* rgba, int width, int height, int x, int y, int number, int scale) {
  std::string text = std::to_string(number);
  const int boxW = (static_cast<int>(text.size()) * 4 + 1) * scale, boxH = 7 * scale;
  auto put = [&](int px, int py, uint8_t v) {
    if (px < 0 || py < 0 || px >= width || py >= height) return;
    uint8_t* d = &(*rgba)[(static_cast<size_t>(py) * width + px) * 4];
    d[0] = d[1] = d[2] = v;
    d[3] = 255;
  };
  for (int py = 0; py < boxH; ++py)
    for (int px = 0; px < boxW; ++px) put(x + px, y + py, 0);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') continue;
    const uint8_t* glyph = kDigits[text[i] - '0'];
    for (int row = 0; row < 5; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (!(glyph[row] & (4 >> col))) continue;
        for (int dy = 0; dy < scale; ++dy)
          for (int dx = 0; dx < scale; ++dx)
            put(x + (1 + static_cast<int>(i) * 4 + col) * scale + dx, y + (1 + row) * scale + dy, 255);
      }
    }
  }
}

std::vector<double> ShotTimes(double start, double end, int perPart) {
  std::vector<double> times;
  for (int k = 0; k < perPart; ++k) times.push_back(start + (end - start) * (k + 0.5) / perPart);
  return times;
}

int MakeContactSheet(const DemoOptions& options, const std::string& pngPath, std::vector<PartFrameStats>* stats,
                     int perPart, int thumbWidth, int thumbHeight) {
  perPart = std::max(1, perPart);
  ShowRun run;
  WindowRequest window;
  window.width = options.width;
  window.height = options.height;
  const bool canDraw = run.Open(options, window);
  const auto& timeline = run.session().tables.timeline;
  if (!canDraw || timeline.size() < 2) {
    std::fprintf(stderr, "contactsheet: the show has no parts to draw\n");
    return 1;
  }
  // Every part but the last is drawn; its shots are spread evenly between its start and end
  // (one shot: the middle).
  std::vector<double> times;
  double start = 0.0;
  for (size_t i = 0; i + 1 < timeline.size(); ++i) {
    double end = std::max(start, static_cast<double>(timeline[i].time) * 0.001);
    for (double t : ShotTimes(start, end, perPart)) times.push_back(t);
    start = end;
  }
  SheetPlan plan(run.display(), times, perPart, 60.0);
  run.Play(plan, 60.0);
  run.Close();

  // Ten parts a row with one shot a part; with more, each part keeps its shots side by side.
  const int columns = perPart == 1 ? 10 : perPart * std::max(1, 12 / perPart);
  const int count = static_cast<int>(times.size());
  const int rows = (count + columns - 1) / columns;
  const int gap = 4;
  const int sheetW = columns * (thumbWidth + gap) + gap, sheetH = rows * (thumbHeight + gap) + gap;
  std::vector<uint8_t> sheet(static_cast<size_t>(sheetW) * sheetH * 4, 40);
  stats->clear();
  for (int i = 0; i < count; ++i) {
    PartFrameStats s;
    s.part = i / perPart;
    s.shot = i % perPart;
    s.seconds = plan.SecondsOf(static_cast<size_t>(i));
    const std::vector<uint8_t>& frame = plan.frames()[static_cast<size_t>(i)];
    int x0 = gap + (i % columns) * (thumbWidth + gap), y0 = gap + (i / columns) * (thumbHeight + gap);
    if (!frame.empty()) {
      MeasureFrame(frame, &s.mean, &s.contrast);
      Downscale(frame, plan.width, plan.height, &sheet, sheetW, x0, y0, thumbWidth, thumbHeight);
    }
    JudgeFrame(&s);
    if (s.shot == 0) DrawNumber(&sheet, sheetW, sheetH, x0, y0, s.part, 2);
    stats->push_back(s);
  }
  std::string why;
  if (!WritePng(pngPath, sheet.data(), sheetW, sheetH, 4, &why)) {
    std::fprintf(stderr, "contactsheet: %s\n", why.c_str());
    return 1;
  }
  return 0;
}
