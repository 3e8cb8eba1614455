// Score format, chord voicing and expansion into timed notes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tools/songgen/score.h"

namespace {

std::string ShowScore() {
  std::ifstream in(QUILLON_SOURCE_DIR "/content/music/soundtrack.score", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr char kHeader[] =
    "tempo 120\nend 16\nchords p Am:4 F:4\n"
    "track k kick\ntrack b bass\ntrack a arp\ntrack l lead\ntrack p pad\ntrack m master\n";

bool Parse(const std::string& text, Song& song, std::string* why) { return ParseScore(text, song, why); }

TEST(SongScore, ShowScoreKeepsTheShowsTimeline) {
  Song song;
  std::string error;
  ASSERT_TRUE(ParseScore(ShowScore(), song, &error)) << error;
  EXPECT_EQ(song.tempo, 120);
  EXPECT_EQ(song.endBeat, 570);  // 285 s
  // Section starts in seconds: cuts in the picture are placed on these.
  const struct {
    const char* name;
    double start;
  } kExpected[] = {{"intro", 0},   {"logo", 20.5},   {"main", 90},   {"hits", 140}, {"macro", 144},
                   {"build", 185}, {"rise", 233},  {"climax", 239}, {"outro", 269}};
  ASSERT_EQ(song.sections.size(), std::size(kExpected));
  for (size_t i = 0; i < song.sections.size(); ++i) {
    EXPECT_EQ(song.sections[i].name, kExpected[i].name);
    EXPECT_DOUBLE_EQ(song.sections[i].startBeat * 0.5, kExpected[i].start) << kExpected[i].name;
  }
  const Section& last = song.sections.back();
  EXPECT_EQ(last.startBeat + last.beats, song.endBeat);

  Arrangement arr;
  ASSERT_TRUE(Expand(song, 44100, arr, &error)) << error;
  EXPECT_EQ(arr.totalSamples, 285 * 44100);
  EXPECT_GT(arr.notes.size(), 2000u);
  for (size_t i = 1; i < arr.notes.size(); ++i) ASSERT_LE(arr.notes[i - 1].start, arr.notes[i].start);
}

TEST(SongScore, KicksSitOnTheBeatGrid) {
  Song song;
  std::string error;
  ASSERT_TRUE(ParseScore(ShowScore(), song, &error)) << error;
  Arrangement arr;
  ASSERT_TRUE(Expand(song, 44100, arr, &error)) << error;
  const int kick = song.FindTrack("kick");
  const int rise = song.FindSection("rise");
  ASSERT_GE(kick, 0);
  ASSERT_GE(rise, 0);
  const int64_t riseStart = arr.StepToSample(song.sections[rise].startBeat * 4);
  const int64_t riseEnd = arr.StepToSample((song.sections[rise].startBeat + song.sections[rise].beats) * 4);
  int kicks = 0;
  for (const NoteEvent& n : arr.notes) {
    if (n.track != kick) continue;
    ++kicks;
    if (n.start >= riseStart && n.start < riseEnd) {
      const int64_t twice = 2 * n.start, grid = (twice + 5512) / 11025 * 11025;  // 5512.5 samples a step
      EXPECT_LE(std::llabs(twice - grid), 1) << "off the sixteenth grid at sample " << n.start;
    } else {
      EXPECT_EQ(n.start % 22050, 0) << "kick off the beat at sample " << n.start;
    }
  }
  EXPECT_GT(kicks, 300);
  // The drop: a kick right at 239 s.
  bool drop = false;
  for (const NoteEvent& n : arr.notes) drop |= n.track == kick && n.start == 239 * 44100;
  EXPECT_TRUE(drop);
}

TEST(SongScore, RejectsBadScoresWithTheLine) {
  const struct {
    const char* body;
    int line;  // counted from the first line after the header
    const char* what;
  } kCases[] = {
      {"bogus 1\n", 1, "unknown statement"},
      {"chords q Xm:4\n", 1, "bad chord"},
      {"chords q Am:0\n", 1, "bad chord"},
      {"melody t E5:4 D5:4 |\n", 1, "bar before '|'"},
      {"melody t E5:4 D5:4\n", 1, "last bar"},
      {"melody t H5:16\n", 1, "bad note"},
      {"grid g x..Q\n", 1, "bad grid character"},
      {"k four\n", 1, "must follow a section"},
      {"grid g 0123\nsection s at 0 bars 4 chords p\n  b g\n", 3, "cannot play grid character"},
      {"melody t E5:16\nsection s at 0 bars 4 chords p\n  k t\n", 3, "cannot play a melody"},
      {"grid g x...\nsection s at 0 bars 4 chords p\n  l g\n", 3, "cannot play a grid"},
      {"grid g x...\nsection s at 0 bars 4 chords p\n  k g bars 2-5\n", 3, "bad bar range"},
      {"grid g x...\nsection s at 0 bars 4 chords p\n  k nope\n", 3, "unknown pattern"},
      {"grid g x...\nsection s at 0 bars 4 chords p\n  k g gain 0.5>x\n", 3, "bad gain"},
      {"grid g x...\nsection s at 0 bars 4\n  b g\n", 3, "has no chords"},
      {"section s at 0 bars 2\nsection t at 4 bars 2\n", 2, "before the previous one ends"},
      {"section s at 0 bars 5\n", 1, "past the end"},
      {"section s at 0 bars 1.1\n", 1, "whole number of beats"},
      {"track x drum\n", 1, "unknown instrument kind"},
      {"track k kick\n", 1, "defined twice"},
      {"track y kick gain\n", 1, "pairs"},
      {"tempo 0\n", 1, "tempo"},
      {"grid g x...\nsection s at 0 bars 4 chords p\n  m g\n", 3, "automation only"},
  };
  const int headerLines = 9;
  for (const auto& c : kCases) {
    Song song;
    std::string error;
    EXPECT_FALSE(Parse(std::string(kHeader) + c.body, song, &error)) << c.body;
    EXPECT_NE(error.find("line " + std::to_string(headerLines + c.line) + ":"), std::string::npos)
        << c.body << " -> " << error;
    EXPECT_NE(error.find(c.what), std::string::npos) << c.body << " -> " << error;
  }
  Song song;
  std::string error;
  // Parses, but would take hours to render.
  ASSERT_TRUE(ParseScore("tempo 20\nend 4000\nsection s at 0 bars 4\n", song, &error)) << error;
  Arrangement arr;
  EXPECT_FALSE(Expand(song, 44100, arr, &error));
  EXPECT_NE(error.find("30 minutes"), std::string::npos) << error;
  EXPECT_FALSE(ParseScore("tempo 120\nend 8\n", song, &error));
  EXPECT_NE(error.find("no sections"), std::string::npos) << error;
  EXPECT_FALSE(ParseScore("", song, &error));
}

TEST(SongScore, SurvivesDamagedScores) {
  const std::string good = ShowScore();
  uint32_t s = 12345;
  auto next = [&s] {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  };
  int parsed = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text = good.substr(0, next() % (good.size() + 1));
    const int flips = static_cast<int>(next() % 8);
    for (int f = 0; f < flips && !text.empty(); ++f) text[next() % text.size()] = static_cast<char>(next() & 0xff);
    Song song;
    std::string error;
    if (!ParseScore(text, song, &error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    ++parsed;
    Arrangement arr;
    if (Expand(song, 44100, arr, &error)) {
      for (const NoteEvent& n : arr.notes) {
        ASSERT_GE(n.start, 0);
        ASSERT_GT(n.length, 0);
        ASSERT_LE(n.start, arr.totalSamples);
      }
    }
  }
  EXPECT_GT(parsed, 0);
}

TEST(SongScore, GridHoldsAndChordChangesShapeNotes) {
  Song song;
  std::string error;
  const std::string text = std::string(kHeader) +
                           "grid bassline R==.f=u.\n"
                           "grid chord X=======\n"
                           "grid arps 0123\n"
                           "melody tune E5:4 r:4 A5:8\n"
                           "section s at 0 bars 4 chords p\n"
                           "  b bassline bars 1\n"
                           "  p chord bars 2\n"
                           "  a arps bars 3\n"
                           "  l tune bars 4 oct 1\n";
  ASSERT_TRUE(Parse(text, song, &error)) << error;
  Arrangement arr;
  ASSERT_TRUE(Expand(song, 44100, arr, &error)) << error;
  const double step = 44100.0 * 60 / 480;  // 5512.5 samples
  auto at = [&](int64_t st) { return static_cast<int64_t>(st * step + 0.5); };
  std::vector<NoteEvent> bass, pad, arp, lead;
  for (const NoteEvent& n : arr.notes) {
    const Kind k = song.tracks[n.track].kind;
    if (k == Kind::Bass) bass.push_back(n);
    if (k == Kind::Pad) pad.push_back(n);
    if (k == Kind::Arp) arp.push_back(n);
    if (k == Kind::Lead) lead.push_back(n);
  }
  // Bar 1 over Am: root held three steps, fifth held two, octave one; the grid loops twice.
  ASSERT_EQ(bass.size(), 6u);
  EXPECT_EQ(bass[0].start, 0);
  EXPECT_EQ(bass[0].length, at(3));
  EXPECT_FLOAT_EQ(bass[0].pitch, 33);   // A1
  EXPECT_FLOAT_EQ(bass[1].pitch, 40);   // E2
  EXPECT_EQ(bass[1].length, at(6) - at(4));
  EXPECT_FLOAT_EQ(bass[2].pitch, 45);   // A2
  EXPECT_FLOAT_EQ(bass[0].velocity, 1.0f);
  EXPECT_LT(bass[1].velocity, 1.0f);
  // Bar 2 is F: three voiced notes held for the looped eight steps, twice.
  ASSERT_EQ(pad.size(), 6u);
  std::set<int> pcs;
  for (const NoteEvent& n : pad) {
    pcs.insert(static_cast<int>(n.pitch) % 12);
    EXPECT_EQ(n.length, 44100);
  }
  EXPECT_EQ(pcs, (std::set<int>{5, 9, 0}));
  EXPECT_EQ(pad[0].start, at(16));
  // Bar 3 is Am again: digit 3 wraps to the lowest voiced note an octave up.
  ASSERT_EQ(arp.size(), 16u);
  EXPECT_FLOAT_EQ(arp[3].pitch, arp[0].pitch + 12);
  EXPECT_EQ(arp[0].start, at(32));
  // Bar 4: E6 (octave up), a rest, then A6.
  ASSERT_EQ(lead.size(), 2u);
  EXPECT_FLOAT_EQ(lead[0].pitch, 88);
  EXPECT_EQ(lead[1].start, at(56));
  EXPECT_FLOAT_EQ(lead[1].pitch, 93);
  EXPECT_EQ(lead[1].length, at(64) - at(56));
}

TEST(SongScore, HeldNotesRestartOnChordChange) {
  Song song;
  std::string error;
  ASSERT_TRUE(Parse(std::string(kHeader) + "grid long X=============== ================\n"
                                            "section s at 0 bars 2 chords p\n  p long\n",
                    song, &error))
      << error;
  Arrangement arr;
  ASSERT_TRUE(Expand(song, 44100, arr, &error)) << error;
  ASSERT_EQ(arr.notes.size(), 6u);
  EXPECT_EQ(arr.notes[0].start, 0);
  EXPECT_EQ(arr.notes[3].start, 88200);  // F enters on bar 2
  EXPECT_EQ(arr.notes[0].length, 88200);
}

TEST(SongScore, ChordsAreVoicedWithSmallSteps) {
  Chord c;
  ASSERT_TRUE(ParseChord("F#m7", c));
  EXPECT_EQ(c.root, 6);
  EXPECT_EQ(c.tones, (std::vector<int>{6, 9, 1, 4}));
  ASSERT_TRUE(ParseChord("Bbmaj7", c));
  EXPECT_EQ(c.tones, (std::vector<int>{10, 2, 5, 9}));
  EXPECT_FALSE(ParseChord("Am13", c));
  EXPECT_FALSE(ParseChord("", c));
  EXPECT_FALSE(ParseChord("H", c));

  Song song;
  std::string error;
  ASSERT_TRUE(ParseScore(ShowScore(), song, &error)) << error;
  Arrangement arr;
  ASSERT_TRUE(Expand(song, 44100, arr, &error)) << error;
  ASSERT_GT(arr.chords.size(), 50u);
  for (size_t i = 0; i < arr.chords.size(); ++i) {
    const ChordSpan& cs = arr.chords[i];
    ASSERT_EQ(cs.voicing.size(), cs.chord.tones.size());
    std::set<int> want(cs.chord.tones.begin(), cs.chord.tones.end()), got;
    for (int v : cs.voicing) {
      got.insert(v % 12);
      EXPECT_GE(v, 50);
      EXPECT_LE(v, 86);
    }
    EXPECT_EQ(got, want) << cs.chord.name;
    if (i > 0 && arr.chords[i - 1].voicing.size() == cs.voicing.size()) {
      int moved = 0;
      for (size_t k = 0; k < cs.voicing.size(); ++k) moved += std::abs(cs.voicing[k] - arr.chords[i - 1].voicing[k]);
      EXPECT_LE(moved, 6) << arr.chords[i - 1].chord.name << " -> " << cs.chord.name;
    }
  }
}

}  // namespace
