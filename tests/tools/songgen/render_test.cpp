// Rendering the show's soundtrack: length, level, determinism, timing and the section envelope.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tools/songgen/score.h"
#include "tools/songgen/synth.h"

namespace {

constexpr int kRate = 44100;

std::string ShowScore() {
  std::ifstream in(QUILLON_SOURCE_DIR "/content/music/soundtrack.score", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Load(const std::string& text, Song& song, Arrangement& arr) {
  std::string error;
  if (!ParseScore(text, song, &error)) {
    ADD_FAILURE() << error;
    return false;
  }
  if (!Expand(song, kRate, arr, &error)) {
    ADD_FAILURE() << error;
    return false;
  }
  return true;
}

// RMS of both channels over [a, b) seconds, in dB full scale.
double RmsDb(const std::vector<int16_t>& pcm, double a, double b) {
  const int64_t i0 = static_cast<int64_t>(a * kRate), i1 = static_cast<int64_t>(b * kRate);
  double sum = 0;
  for (int64_t i = 2 * i0; i < 2 * i1; ++i) sum += static_cast<double>(pcm[i]) * pcm[i];
  const double rms = std::sqrt(sum / static_cast<double>(2 * (i1 - i0))) / 32768.0;
  return rms > 0 ? 20 * std::log10(rms) : -200.0;
}

class ShowRender : public ::testing::Test {
 protected:
  struct Full {
    Song song;
    Arrangement arr;
    std::vector<int16_t> pcm;
    RenderStats stats;
    int64_t frames = 0;
  };
  static void SetUpTestSuite() {
    full_ = std::make_unique<Full>();
    if (Load(ShowScore(), full_->song, full_->arr))
      full_->frames = Render(full_->song, full_->arr, RenderOptions(), full_->pcm, &full_->stats);
  }
  static void TearDownTestSuite() { full_.reset(); }
  static std::unique_ptr<Full> full_;
};
std::unique_ptr<ShowRender::Full> ShowRender::full_;

TEST_F(ShowRender, LengthMatchesTheArrangement) {
  EXPECT_EQ(full_->frames, 285 * kRate);
  EXPECT_EQ(full_->pcm.size(), static_cast<size_t>(2 * 285 * kRate));
}

TEST_F(ShowRender, StaysUnderTheCeilingWithoutDeadAir) {
  const std::vector<int16_t>& pcm = full_->pcm;
  ASSERT_FALSE(pcm.empty());
  const int limit = static_cast<int>(std::lround(RenderOptions().ceiling * 32767.0f));
  int peak = 0;
  for (int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_LE(peak, limit);
  EXPECT_EQ(full_->stats.nonFinite, 0);
  EXPECT_GT(peak, limit - 400) << "the loud parts should reach the limiter's ceiling";
  // Every second has sound, apart from the silence after the second hit and the last fade.
  for (int s = 2; s < 282; ++s) {
    if (s >= 142 && s < 144) continue;
    EXPECT_GT(RmsDb(pcm, s, s + 1), -40.0) << "near-silent second at " << s << " s";
  }
}

TEST_F(ShowRender, LoudnessRisesAndFallsWithTheSections) {
  const std::vector<int16_t>& pcm = full_->pcm;
  ASSERT_FALSE(pcm.empty());
  const double intro = RmsDb(pcm, 2, 18), logo = RmsDb(pcm, 22, 88), main = RmsDb(pcm, 92, 138);
  const double macro = RmsDb(pcm, 146, 183), buildEarly = RmsDb(pcm, 187, 201), buildLate = RmsDb(pcm, 217, 233);
  const double climax = RmsDb(pcm, 241, 267);
  EXPECT_LT(intro, logo - 4) << "drums and bass enter with the logo";
  EXPECT_LT(macro, main - 4) << "the breakdown drops the drums";
  EXPECT_LT(buildEarly, buildLate - 1) << "the build rises";
  EXPECT_GE(climax, main - 0.5) << "the climax is the loudest stretch";
  EXPECT_GE(climax, logo);
  // The two hits, then silence before the breakdown.
  EXPECT_GT(RmsDb(pcm, 140.0, 140.5), -20.0);
  EXPECT_GT(RmsDb(pcm, 142.0, 142.5), -20.0);
  EXPECT_LT(RmsDb(pcm, 143.2, 144.0), RmsDb(pcm, 142.0, 142.5) - 20);
  // The outro fades to nothing at the very end.
  EXPECT_LT(RmsDb(pcm, 270, 275) - 3, climax);
  EXPECT_LT(RmsDb(pcm, 284, 285), -45.0);
  EXPECT_LT(RmsDb(pcm, 284.95, 285), -70.0);
}

TEST_F(ShowRender, ExcerptsRepeatExactlyAndMatchTheFullRender) {
  ASSERT_FALSE(full_->pcm.empty());
  RenderOptions opt;
  opt.frames = 12 * kRate + 17;
  std::vector<int16_t> a, b;
  {
    Song song;
    Arrangement arr;
    ASSERT_TRUE(Load(ShowScore(), song, arr));
    EXPECT_EQ(Render(song, arr, opt, a, nullptr), opt.frames);
  }
  {
    Song song;
    Arrangement arr;
    ASSERT_TRUE(Load(ShowScore(), song, arr));
    Render(song, arr, opt, b, nullptr);
  }
  ASSERT_EQ(a.size(), static_cast<size_t>(2 * opt.frames));
  EXPECT_TRUE(a == b) << "two renders of the same score differ";
  EXPECT_TRUE(std::equal(a.begin(), a.end(), full_->pcm.begin())) << "an excerpt differs from the full render";
}

// Kick onsets found in the audio itself (solo, dry) land on the beat.
TEST(SongRender, KickOnsetsFallOnBeats) {
  Song song;
  Arrangement arr;
  ASSERT_TRUE(Load(ShowScore(), song, arr));
  RenderOptions opt;
  opt.frames = 40 * kRate;
  opt.soloTrack = song.FindTrack("kick");
  ASSERT_GE(opt.soloTrack, 0);
  std::vector<int16_t> pcm;
  Render(song, arr, opt, pcm, nullptr);
  const int window = kRate / 10;
  int onsets = 0;
  int quietRun = window;  // samples since the level was last above the quiet threshold
  bool armed = true;      // quiet long enough that the next loud sample starts a new hit
  for (int64_t i = 0; i < opt.frames; ++i) {
    const int a = std::abs(static_cast<int>(pcm[2 * i]));
    if (quietRun >= window) armed = true;
    if (a > 8000 && armed) {
      armed = false;
      ++onsets;
      const int64_t beat = (i + 11025) / 22050 * 22050;
      EXPECT_LE(std::llabs(i - beat), kRate * 2 / 1000) << "kick onset " << i << " is off the beat";
      EXPECT_GE(i, 20 * kRate + kRate / 2) << "no drums in the intro";
    }
    quietRun = a > 3000 ? 0 : quietRun + 1;
  }
  EXPECT_EQ(onsets, 39);  // four to the bar from 20.5 s on
}

TEST(SongRender, LimiterHoldsTheCeilingOnAnOverloadedMix) {
  Song song;
  Arrangement arr;
  ASSERT_TRUE(Load("tempo 120\nend 16\nchords p Am:4 F:4\n"
                   "track k kick gain 16\ntrack s stab gain 16\n"
                   "grid four X...X...X...X...\ngrid hit X=======\n"
                   "section a at 0 bars 4 chords p\n  k four\n  s hit\n",
                   song, arr));
  std::vector<int16_t> pcm;
  RenderStats stats;
  RenderOptions opt;
  opt.ceiling = 0.5f;
  Render(song, arr, opt, pcm, &stats);
  EXPECT_GT(stats.peakIn, 2.0f);
  EXPECT_GT(stats.limitedFrames, 0);
  EXPECT_LT(stats.minGain, 0.5f);
  int peak = 0;
  for (int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_LE(peak, 16384);
  EXPECT_GT(peak, 15000);
}

}  // namespace
