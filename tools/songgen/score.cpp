#include "tools/songgen/score.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace {

struct KindEntry {
  const char* name;
  Kind kind;
};
constexpr KindEntry kKinds[] = {
    {"kick", Kind::Kick}, {"snare", Kind::Snare}, {"clap", Kind::Clap},   {"hat", Kind::Hat},
    {"openhat", Kind::OpenHat}, {"crash", Kind::Crash}, {"bass", Kind::Bass}, {"pad", Kind::Pad},
    {"arp", Kind::Arp},   {"lead", Kind::Lead},   {"bell", Kind::Bell},   {"stab", Kind::Stab},
    {"riser", Kind::Riser}, {"master", Kind::Master},
};

bool IsMelodicKind(Kind k) { return k == Kind::Lead || k == Kind::Bell; }
bool IsChordKind(Kind k) {
  return k == Kind::Bass || k == Kind::Pad || k == Kind::Arp || k == Kind::Stab;
}

// Characters a grid on a track of this kind may hold.
bool GridCharAllowed(Kind k, char c) {
  if (c == '.' || c == '=') return true;
  if (k == Kind::Arp) return c >= '0' && c <= '9';
  if (c == 'x' || c == 'X' || c == 'o') return true;
  if (k == Kind::Bass) return c == 'r' || c == 'R' || c == 'f' || c == 'F' || c == 'u' || c == 'U';
  return false;
}

bool IsGridChar(char c) {
  return c == '.' || c == '=' || c == 'x' || c == 'X' || c == 'o' || c == 'r' || c == 'R' ||
         c == 'f' || c == 'F' || c == 'u' || c == 'U' || (c >= '0' && c <= '9');
}

bool ParseInt(std::string_view s, int& out) {
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e;
}

bool ParseFloat(std::string_view s, float& out) {
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e && out == out && out < 1e6f && out > -1e6f;
}

// "0.2>0.8" or "0.5".
bool ParseRamp(std::string_view s, Ramp& out) {
  size_t gt = s.find('>');
  if (gt == std::string_view::npos) {
    if (!ParseFloat(s, out.from)) return false;
    out.to = out.from;
    return true;
  }
  return ParseFloat(s.substr(0, gt), out.from) && ParseFloat(s.substr(gt + 1), out.to);
}

int PitchClassOf(char letter) {
  switch (letter) {
    case 'C': return 0;
    case 'D': return 2;
    case 'E': return 4;
    case 'F': return 5;
    case 'G': return 7;
    case 'A': return 9;
    case 'B': return 11;
    default: return -1;
  }
}

// "A4", "F#5", "Bb3" -> MIDI note number (A4 = 69).
bool ParseNote(std::string_view s, int& midi) {
  if (s.size() < 2) return false;
  int pc = PitchClassOf(s[0]);
  if (pc < 0) return false;
  size_t i = 1;
  if (s[i] == '#') { ++pc; ++i; }
  else if (s[i] == 'b') { --pc; ++i; }
  int octave = 0;
  if (!ParseInt(s.substr(i), octave) || octave < 0 || octave > 8) return false;
  midi = 12 * (octave + 1) + pc;
  return midi >= 0 && midi <= 127;
}

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;  // a token starting with '#' opens a comment
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

bool ValidName(std::string_view s) {
  if (s.empty() || s.size() > 40) return false;
  for (char c : s) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(Song& song, std::string* why) : song_(song), why_(why) {}

  bool Run(std::string_view text) {
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string_view::npos) nl = text.size();
      ++line_;
      if (!Line(text.substr(pos, nl - pos))) return false;
      pos = nl + 1;
    }
    line_ = 0;
    if (song_.endBeat <= 0) return Fail("the score sets no end beat");
    if (song_.sections.empty()) return Fail("the score has no sections");
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    *why_ = line_ > 0 ? "line " + std::to_string(line_) + ": " + what : what;
    return false;
  }

  bool Line(std::string_view raw) {
    std::vector<std::string_view> t = Tokens(raw);
    if (t.empty()) return true;
    std::string_view cmd = t[0];
    if (cmd == "tempo") return Tempo(t);
    if (cmd == "end") return End(t);
    if (cmd == "chords") return Chords(t);
    if (cmd == "grid") return Grid(t);
    if (cmd == "melody") return Melody(t);
    if (cmd == "track") return TrackLine(t);
    if (cmd == "section") return SectionLine(t);
    if (song_.FindTrack(cmd) >= 0) return ClipLine(t);
    return Fail("unknown statement or track '" + std::string(cmd) + "'");
  }

  bool Tempo(const std::vector<std::string_view>& t) {
    if (t.size() != 2 || !ParseInt(t[1], song_.tempo) || song_.tempo < 20 || song_.tempo > 400)
      return Fail("tempo needs a whole number of beats per minute (20 to 400)");
    return true;
  }

  bool End(const std::vector<std::string_view>& t) {
    if (t.size() != 2 || !ParseInt(t[1], song_.endBeat) || song_.endBeat <= 0 || song_.endBeat > 4000)
      return Fail("end needs a beat number (1 to 4000)");
    return true;
  }

  bool Chords(const std::vector<std::string_view>& t) {
    if (t.size() < 3 || !ValidName(t[1])) return Fail("chords needs a name and at least one chord");
    if (song_.FindProgression(t[1]) >= 0) return Fail("progression '" + std::string(t[1]) + "' defined twice");
    Progression p;
    p.name = std::string(t[1]);
    for (size_t i = 2; i < t.size(); ++i) {
      size_t colon = t[i].find(':');
      ChordStep step;
      if (colon == std::string_view::npos || !ParseChord(t[i].substr(0, colon), step.chord) ||
          !ParseInt(t[i].substr(colon + 1), step.beats) || step.beats < 1 || step.beats > 64)
        return Fail("bad chord '" + std::string(t[i]) + "' (want NAME:BEATS, e.g. Am:4)");
      p.steps.push_back(step);
    }
    song_.progressions.push_back(std::move(p));
    return true;
  }

  Pattern* PatternFor(std::string_view name, bool melodic) {
    int i = song_.FindPattern(name);
    if (i >= 0) {
      if (song_.patterns[i].melodic != melodic) return nullptr;
      return &song_.patterns[i];
    }
    Pattern p;
    p.name = std::string(name);
    p.melodic = melodic;
    song_.patterns.push_back(std::move(p));
    return &song_.patterns.back();
  }

  bool Grid(const std::vector<std::string_view>& t) {
    if (t.size() < 3 || !ValidName(t[1])) return Fail("grid needs a name and steps");
    Pattern* p = PatternFor(t[1], false);
    if (!p) return Fail("'" + std::string(t[1]) + "' is already a melody");
    for (size_t i = 2; i < t.size(); ++i) {
      for (char c : t[i]) {
        if (!IsGridChar(c)) return Fail(std::string("bad grid character '") + c + "'");
        p->grid.push_back(c);
      }
    }
    if (p->grid.size() > 4096) return Fail("grid is too long");
    return true;
  }

  bool Melody(const std::vector<std::string_view>& t) {
    if (t.size() < 3 || !ValidName(t[1])) return Fail("melody needs a name and notes");
    Pattern* p = PatternFor(t[1], true);
    if (!p) return Fail("'" + std::string(t[1]) + "' is already a grid");
    const int bar = song_.stepsPerBeat * song_.beatsPerBar;
    int inBar = 0;
    for (size_t i = 2; i < t.size(); ++i) {
      if (t[i] == "|") {
        if (inBar != bar) return Fail("bar before '|' lasts " + std::to_string(inBar) + " steps, not " + std::to_string(bar));
        inBar = 0;
        continue;
      }
      size_t colon = t[i].find(':');
      MelodyNote n;
      bool ok = colon != std::string_view::npos && ParseInt(t[i].substr(colon + 1), n.steps) &&
                n.steps >= 1 && n.steps <= 256;
      if (ok) {
        std::string_view name = t[i].substr(0, colon);
        ok = name == "r" || ParseNote(name, n.pitch);
      }
      if (!ok) return Fail("bad note '" + std::string(t[i]) + "' (want NOTE:STEPS, e.g. E5:4 or r:2)");
      inBar += n.steps;
      p->notes.push_back(n);
    }
    if (inBar != 0 && inBar != bar)
      return Fail("last bar lasts " + std::to_string(inBar) + " steps, not " + std::to_string(bar));
    if (p->notes.size() > 4096) return Fail("melody is too long");
    return true;
  }

  bool TrackLine(const std::vector<std::string_view>& t) {
    if (t.size() < 3 || !ValidName(t[1])) return Fail("track needs a name and a kind");
    if (t[1] == "tempo" || t[1] == "end" || t[1] == "chords" || t[1] == "grid" || t[1] == "melody" ||
        t[1] == "track" || t[1] == "section")
      return Fail("a track cannot be called '" + std::string(t[1]) + "'");
    if (song_.FindTrack(t[1]) >= 0) return Fail("track '" + std::string(t[1]) + "' defined twice");
    Track tr;
    tr.name = std::string(t[1]);
    if (!KindFromName(t[2], tr.kind)) return Fail("unknown instrument kind '" + std::string(t[2]) + "'");
    if ((t.size() - 3) % 2 != 0) return Fail("track options come in pairs (gain 0.5 pan -0.2 ...)");
    for (size_t i = 3; i + 1 < t.size(); i += 2) {
      float v = 0;
      if (!ParseFloat(t[i + 1], v)) return Fail("bad number '" + std::string(t[i + 1]) + "'");
      if (t[i] == "gain" && v >= 0 && v <= 16) tr.gain = v;
      else if (t[i] == "pan" && v >= -1 && v <= 1) tr.pan = v;
      else if (t[i] == "delay" && v >= 0 && v <= 2) tr.delay = v;
      else if (t[i] == "reverb" && v >= 0 && v <= 2) tr.reverb = v;
      else if (t[i] == "duck" && v >= 0 && v <= 1) tr.duck = v;
      else return Fail("bad track option '" + std::string(t[i]) + " " + std::string(t[i + 1]) + "'");
    }
    song_.tracks.push_back(std::move(tr));
    return true;
  }

  bool SectionLine(const std::vector<std::string_view>& t) {
    if (t.size() < 2 || !ValidName(t[1])) return Fail("section needs a name");
    if (song_.FindSection(t[1]) >= 0) return Fail("section '" + std::string(t[1]) + "' defined twice");
    if (song_.endBeat <= 0) return Fail("set the end beat before the first section");
    Section s;
    s.name = std::string(t[1]);
    s.line = line_;
    s.progression = -1;
    bool haveAt = false, haveBars = false;
    if ((t.size() - 2) % 2 != 0) return Fail("section options come in pairs (at 40 bars 8 chords main)");
    for (size_t i = 2; i + 1 < t.size(); i += 2) {
      if (t[i] == "at") {
        if (!ParseInt(t[i + 1], s.startBeat) || s.startBeat < 0) return Fail("bad start beat");
        haveAt = true;
      } else if (t[i] == "bars") {
        float bars = 0;
        if (!ParseFloat(t[i + 1], bars) || bars <= 0) return Fail("bad bar count");
        float beats = bars * static_cast<float>(song_.beatsPerBar);
        s.beats = static_cast<int>(beats);
        if (static_cast<float>(s.beats) != beats) return Fail("a section must last a whole number of beats");
        haveBars = true;
      } else if (t[i] == "chords") {
        s.progression = song_.FindProgression(t[i + 1]);
        if (s.progression < 0) return Fail("unknown progression '" + std::string(t[i + 1]) + "'");
      } else {
        return Fail("bad section option '" + std::string(t[i]) + "'");
      }
    }
    if (!haveAt || !haveBars) return Fail("section needs 'at BEAT' and 'bars N'");
    if (s.startBeat + s.beats > song_.endBeat) return Fail("section runs past the end of the song");
    if (!song_.sections.empty()) {
      const Section& prev = song_.sections.back();
      if (s.startBeat < prev.startBeat + prev.beats)
        return Fail("section starts before the previous one ends");
    }
    song_.sections.push_back(std::move(s));
    return true;
  }

  bool ClipLine(const std::vector<std::string_view>& t) {
    if (song_.sections.empty()) return Fail("a clip must follow a section line");
    if (t.size() < 2) return Fail("a clip needs a pattern (or '-' for automation only)");
    const int sectionIndex = static_cast<int>(song_.sections.size()) - 1;
    const Section& sec = song_.sections.back();
    Clip c;
    c.line = line_;
    c.section = sectionIndex;
    c.track = song_.FindTrack(t[0]);
    const Track& tr = song_.tracks[c.track];
    if (t[1] == "-") {
      c.pattern = -1;
    } else {
      c.pattern = song_.FindPattern(t[1]);
      if (c.pattern < 0) return Fail("unknown pattern '" + std::string(t[1]) + "'");
      const Pattern& p = song_.patterns[c.pattern];
      if (tr.kind == Kind::Master) return Fail("the master track takes automation only ('-')");
      if (p.melodic != IsMelodicKind(tr.kind))
        return Fail(std::string("track '") + tr.name + "' (" + KindName(tr.kind) + ") cannot play " +
                    (p.melodic ? "a melody" : "a grid"));
      if (p.Steps() == 0) return Fail("pattern '" + p.name + "' is empty");
      for (char ch : p.grid) {
        if (!GridCharAllowed(tr.kind, ch))
          return Fail(std::string("a ") + KindName(tr.kind) + " track cannot play grid character '" + ch + "'");
      }
    }
    int firstBar = 1;
    int lastBar = (sec.beats + song_.beatsPerBar - 1) / song_.beatsPerBar;
    const int sectionBars = lastBar;
    if ((t.size() - 2) % 2 != 0) return Fail("clip options come in pairs (bars 1-8 gain 0>1 ...)");
    for (size_t i = 2; i + 1 < t.size(); i += 2) {
      std::string_view key = t[i], val = t[i + 1];
      if (key == "bars") {
        size_t dash = val.find('-');
        bool ok = dash == std::string_view::npos
                      ? (ParseInt(val, firstBar) && ParseInt(val, lastBar))
                      : (ParseInt(val.substr(0, dash), firstBar) && ParseInt(val.substr(dash + 1), lastBar));
        if (!ok || firstBar < 1 || lastBar < firstBar || lastBar > sectionBars)
          return Fail("bad bar range '" + std::string(val) + "' (the section has " +
                      std::to_string(sectionBars) + " bars)");
      } else if (key == "gain") {
        if (!ParseRamp(val, c.gain) || c.gain.from < 0 || c.gain.to < 0 || c.gain.from > 16 || c.gain.to > 16)
          return Fail("bad gain '" + std::string(val) + "'");
      } else if (key == "cut") {
        if (!ParseRamp(val, c.cut) || c.cut.from <= 0 || c.cut.to <= 0 || c.cut.from > 16 || c.cut.to > 16)
          return Fail("bad cut '" + std::string(val) + "'");
      } else if (key == "oct") {
        if (!ParseInt(val, c.octave) || c.octave < -3 || c.octave > 3) return Fail("bad octave shift");
      } else {
        return Fail("bad clip option '" + std::string(key) + "'");
      }
    }
    c.startBeat = sec.startBeat + (firstBar - 1) * song_.beatsPerBar;
    c.endBeat = std::min(sec.startBeat + lastBar * song_.beatsPerBar, sec.startBeat + sec.beats);
    if (IsChordKind(tr.kind) && c.pattern >= 0 && sec.progression < 0)
      return Fail("section '" + sec.name + "' has no chords for track '" + tr.name + "'");
    song_.clips.push_back(c);
    return true;
  }

  Song& song_;
  std::string* why_;
  int line_ = 0;
};

struct Hit {
  int64_t step;
  int64_t length;
  char c;
};

// Walks a looping grid over [begin, end) steps and collects its notes with their held lengths.
std::vector<Hit> GridHits(const std::string& grid, int64_t begin, int64_t end) {
  std::vector<Hit> hits;
  bool open = false;
  const int64_t n = static_cast<int64_t>(grid.size());
  for (int64_t s = begin; s < end; ++s) {
    char c = grid[static_cast<size_t>((s - begin) % n)];
    if (c == '.') {
      open = false;
    } else if (c == '=') {
      if (open) ++hits.back().length;
    } else {
      hits.push_back({s, 1, c});
      open = true;
    }
  }
  return hits;
}

float GridVelocity(char c) {
  if (c == 'X' || c == 'R' || c == 'F' || c == 'U') return 1.0f;
  if (c == 'o') return 0.55f;
  return 0.8f;
}

// Bass roots sit between G1 and F#2.
int BassNote(int rootPc) {
  int n = 24 + rootPc;
  if (n < 31) n += 12;
  return n;
}

}  // namespace

bool KindFromName(std::string_view name, Kind& kind) {
  for (const KindEntry& e : kKinds) {
    if (name == e.name) {
      kind = e.kind;
      return true;
    }
  }
  return false;
}

const char* KindName(Kind kind) {
  for (const KindEntry& e : kKinds) {
    if (e.kind == kind) return e.name;
  }
  return "?";
}

bool ParseChord(std::string_view text, Chord& chord) {
  if (text.empty()) return false;
  int root = PitchClassOf(text[0]);
  if (root < 0) return false;
  size_t i = 1;
  if (i < text.size() && text[i] == '#') { ++root; ++i; }
  else if (i < text.size() && text[i] == 'b') { --root; ++i; }
  root = (root + 12) % 12;
  std::string_view q = text.substr(i);
  struct Quality {
    const char* name;
    std::vector<int> intervals;
  };
  static const Quality kQualities[] = {
      {"", {0, 4, 7}},          {"m", {0, 3, 7}},         {"7", {0, 4, 7, 10}},
      {"m7", {0, 3, 7, 10}},    {"maj7", {0, 4, 7, 11}},  {"sus2", {0, 2, 7}},
      {"sus4", {0, 5, 7}},      {"dim", {0, 3, 6}},       {"add9", {0, 4, 7, 14}},
      {"madd9", {0, 3, 7, 14}}, {"m9", {0, 3, 7, 10, 14}}, {"6", {0, 4, 7, 9}},
  };
  for (const Quality& qu : kQualities) {
    if (q == qu.name) {
      chord.name = std::string(text);
      chord.root = root;
      chord.tones.clear();
      for (int iv : qu.intervals) chord.tones.push_back((root + iv) % 12);
      return true;
    }
  }
  return false;
}

int Pattern::Steps() const {
  if (!melodic) return static_cast<int>(grid.size());
  int n = 0;
  for (const MelodyNote& m : notes) n += m.steps;
  return n;
}

template <typename T>
static int FindByName(const std::vector<T>& v, std::string_view name) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int Song::FindTrack(std::string_view name) const { return FindByName(tracks, name); }
int Song::FindPattern(std::string_view name) const { return FindByName(patterns, name); }
int Song::FindSection(std::string_view name) const { return FindByName(sections, name); }
int Song::FindProgression(std::string_view name) const { return FindByName(progressions, name); }

bool ParseScore(std::string_view text, Song& song, std::string* why) {
  song = Song();
  Parser parser(song, why);
  return parser.Run(text);
}

int64_t Arrangement::StepToSample(int64_t step) const {
  return (2 * step * stepNum + stepDen) / (2 * stepDen);
}

std::vector<int> VoiceLead(const Chord& chord, const std::vector<int>& previous) {
  const size_t n = chord.tones.size();
  std::vector<int> best;
  long bestScore = 0;
  if (n == 0) return best;
  for (size_t rot = 0; rot < n; ++rot) {
    for (int low = 50; low <= 61; ++low) {
      if (low % 12 != chord.tones[rot]) continue;
      std::vector<int> cand;
      cand.push_back(low);
      for (size_t k = 1; k < n; ++k) {
        int pc = chord.tones[(rot + k) % n];
        int note = cand.back() + 1;
        while (note % 12 != pc) ++note;
        cand.push_back(note);
      }
      long score = 0;
      if (previous.empty()) {
        long sum = 0;
        for (int v : cand) sum += v;
        score = std::labs(sum - 62L * static_cast<long>(n));
      } else if (previous.size() == n) {
        for (size_t k = 0; k < n; ++k) score += std::labs(static_cast<long>(cand[k] - previous[k]));
      } else {
        for (int c : cand) {
          long d = 1000;
          for (int p : previous) d = std::min(d, std::labs(static_cast<long>(c - p)));
          score += d;
        }
        for (int p : previous) {
          long d = 1000;
          for (int c : cand) d = std::min(d, std::labs(static_cast<long>(c - p)));
          score += d;
        }
      }
      if (best.empty() || score < bestScore) {
        best = cand;
        bestScore = score;
      }
    }
  }
  return best;
}

bool Expand(const Song& song, int sampleRate, Arrangement& arr, std::string* why) {
  arr = Arrangement();
  arr.sampleRate = sampleRate;
  arr.stepNum = static_cast<int64_t>(sampleRate) * 60;
  arr.stepDen = static_cast<int64_t>(song.tempo) * song.stepsPerBeat;
  const int64_t spb = song.stepsPerBeat;
  arr.totalSamples = arr.StepToSample(song.endBeat * spb);
  if (arr.totalSamples > static_cast<int64_t>(sampleRate) * 60 * 30) {
    *why = "the song lasts more than 30 minutes";
    return false;
  }
  arr.lanes.assign(song.tracks.size(), {});

  // Chord timeline, voice-led across section boundaries.
  std::vector<int> voicing;
  for (const Section& sec : song.sections) {
    if (sec.progression < 0) continue;
    const Progression& prog = song.progressions[sec.progression];
    int64_t s = sec.startBeat * spb;
    const int64_t end = (sec.startBeat + sec.beats) * spb;
    size_t i = 0;
    while (s < end) {
      const ChordStep& cs = prog.steps[i % prog.steps.size()];
      ChordSpan span;
      span.startStep = s;
      span.endStep = std::min(end, s + cs.beats * spb);
      span.chord = cs.chord;
      voicing = VoiceLead(cs.chord, voicing);
      span.voicing = voicing;
      arr.chords.push_back(span);
      s = span.endStep;
      ++i;
    }
  }
  auto chordAt = [&arr](int64_t step) -> const ChordSpan* {
    auto it = std::upper_bound(arr.chords.begin(), arr.chords.end(), step,
                               [](int64_t v, const ChordSpan& c) { return v < c.startStep; });
    if (it == arr.chords.begin()) return nullptr;
    --it;
    return step < it->endStep ? &*it : nullptr;
  };

  for (const Clip& clip : song.clips) {
    const Track& tr = song.tracks[clip.track];
    const int64_t begin = clip.startBeat * spb;
    const int64_t end = clip.endBeat * spb;
    LaneSegment seg;
    seg.start = arr.StepToSample(begin);
    seg.end = arr.StepToSample(end);
    seg.gain = clip.gain;
    seg.cut = clip.cut;
    arr.lanes[clip.track].push_back(seg);
    if (clip.pattern < 0) continue;
    const Pattern& pat = song.patterns[clip.pattern];
    auto emit = [&](int64_t step, int64_t len, float pitch, float vel) {
      NoteEvent e;
      e.start = arr.StepToSample(step);
      e.length = arr.StepToSample(step + len) - e.start;
      e.track = clip.track;
      e.pitch = pitch;
      e.velocity = vel;
      arr.notes.push_back(e);
    };
    if (pat.melodic) {
      int64_t s = begin;
      size_t i = 0;
      while (s < end) {
        const MelodyNote& m = pat.notes[i % pat.notes.size()];
        int64_t len = std::min<int64_t>(m.steps, end - s);
        if (m.pitch >= 0) emit(s, len, static_cast<float>(m.pitch + 12 * clip.octave), s % spb == 0 ? 1.0f : 0.85f);
        s += m.steps;
        ++i;
      }
      continue;
    }
    for (const Hit& h : GridHits(pat.grid, begin, end)) {
      if (!IsChordKind(tr.kind)) {
        emit(h.step, h.length, 60.0f, GridVelocity(h.c));
        continue;
      }
      // Chord-following notes restart when the chord changes under a held note.
      int64_t s = h.step;
      const int64_t hitEnd = h.step + h.length;
      bool first = true;
      while (s < hitEnd) {
        const ChordSpan* cs = chordAt(s);
        if (!cs) {
          *why = "line " + std::to_string(clip.line) + ": no chord at beat " + std::to_string(s / spb);
          return false;
        }
        const int64_t e = std::min(hitEnd, cs->endStep);
        const float vel = (first ? 1.0f : 0.85f) * GridVelocity(h.c);
        const int shift = 12 * clip.octave;
        if (tr.kind == Kind::Bass) {
          int note = BassNote(cs->chord.root);
          if (h.c == 'f' || h.c == 'F') note += 7;
          if (h.c == 'u' || h.c == 'U') note += 12;
          emit(s, e - s, static_cast<float>(note + shift), vel);
        } else if (tr.kind == Kind::Arp) {
          const int d = h.c - '0';
          const int n = static_cast<int>(cs->voicing.size());
          const int note = cs->voicing[d % n] + 12 * (d / n) + 12 + shift;
          emit(s, e - s, static_cast<float>(note), (s % spb == 0 ? 0.95f : 0.72f));
        } else {
          for (int v : cs->voicing) emit(s, e - s, static_cast<float>(v + shift), vel);
        }
        s = e;
        first = false;
      }
    }
  }

  std::stable_sort(arr.notes.begin(), arr.notes.end(), [](const NoteEvent& a, const NoteEvent& b) {
    if (a.start != b.start) return a.start < b.start;
    if (a.track != b.track) return a.track < b.track;
    return a.pitch < b.pitch;
  });
  for (auto& lane : arr.lanes) {
    std::stable_sort(lane.begin(), lane.end(),
                     [](const LaneSegment& a, const LaneSegment& b) { return a.start < b.start; });
  }
  return true;
}
