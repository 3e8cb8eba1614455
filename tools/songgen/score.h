// The soundtrack's score: a small line-based text format (tempo, chord progressions, step
// patterns, melodies, tracks and the arrangement in sections) and its expansion into timed note
// events and automation lanes for the synthesizer (synth.h).
//
// Usage:
//   Song song;
//   std::string error;
//   if (!ParseScore(text, song, error)) { /* error is "line N: ..." */ }
//   Arrangement arr;
//   if (!Expand(song, 44100, arr, error)) { ... }
//
// Format (one statement per line, '#' starts a comment):
//   tempo 120                      beats per minute (whole number); 4 steps per beat, 4 beats per bar
//   end 570                        the song ends at this beat
//   chords NAME Am:8 F:8 ...       progression: chord name and length in beats, looped per section
//   grid NAME x... x.=. ...        step pattern, one character per sixteenth (spaces ignored)
//   melody NAME E5:4 D5:2 | ...    notes (or r for a rest) with lengths in sixteenths; '|' checks bars
//   track NAME KIND [gain G] [pan P] [delay D] [reverb R] [duck K]
//   section NAME at BEAT bars N chords PROG
//     TRACK PATTERN [bars A-B] [gain X>Y] [cut X>Y] [oct N]    one clip inside the section
// Repeating a grid or melody line with the same name appends to it. Grid characters: '.' rest,
// '=' hold, 'x' hit, 'X' accent, 'o' soft; bass also takes r/R (root), f/F (fifth), u/U (octave up);
// an arpeggio takes 0-9 (chord tone, counted up from the chord's lowest voiced note).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Kind { Kick, Snare, Clap, Hat, OpenHat, Crash, Bass, Pad, Arp, Lead, Bell, Stab, Riser, Master };

// Parses a kind's name ("kick", "pad", ...); returns false for an unknown name.
bool KindFromName(std::string_view name, Kind& kind);
const char* KindName(Kind kind);

struct Chord {
  std::string name;
  int root = 0;            // pitch class 0..11, C = 0
  std::vector<int> tones;  // pitch classes, root first
};

// Parses "Am", "F#m7", "Cmaj7", "Gsus4", "E", "Bdim", "Dadd9", "Amadd9"; false when unknown.
bool ParseChord(std::string_view text, Chord& chord);

struct ChordStep {
  Chord chord;
  int beats = 4;
};

struct Progression {
  std::string name;
  std::vector<ChordStep> steps;
};

struct MelodyNote {
  int pitch = -1;  // MIDI note number, -1 for a rest
  int steps = 1;
};

struct Pattern {
  std::string name;
  bool melodic = false;
  std::string grid;                // for step patterns
  std::vector<MelodyNote> notes;   // for melodies
  int Steps() const;
};

struct Track {
  std::string name;
  Kind kind = Kind::Pad;
  float gain = 1.0f;
  float pan = 0.0f;     // -1 left .. +1 right
  float delay = 0.0f;   // send to the stereo delay
  float reverb = 0.0f;  // send to the reverb
  float duck = 0.0f;    // how far the kick pushes this track down (0..1)
};

struct Ramp {
  float from = 1.0f;
  float to = 1.0f;
};

struct Clip {
  int track = 0;
  int pattern = -1;  // -1: automation only (the master track)
  int section = 0;
  int startBeat = 0;
  int endBeat = 0;
  Ramp gain;
  Ramp cut;
  int octave = 0;
  int line = 0;
};

struct Section {
  std::string name;
  int startBeat = 0;
  int beats = 0;
  int progression = 0;
  int line = 0;
};

struct Song {
  int tempo = 120;
  int stepsPerBeat = 4;
  int beatsPerBar = 4;
  int endBeat = 0;
  std::vector<Progression> progressions;
  std::vector<Pattern> patterns;
  std::vector<Track> tracks;
  std::vector<Section> sections;
  std::vector<Clip> clips;

  int FindTrack(std::string_view name) const;
  int FindPattern(std::string_view name) const;
  int FindSection(std::string_view name) const;
  int FindProgression(std::string_view name) const;
};

// Reads a score. On failure returns false and sets error to "line N: what is wrong".
bool ParseScore(std::string_view text, Song& song, std::string* why);

// One note to play: sample positions at the render rate.
struct NoteEvent {
  int64_t start = 0;
  int64_t length = 0;  // gate length in samples
  int track = 0;
  float pitch = 0.0f;  // MIDI note number
  float velocity = 1.0f;
};

// A stretch of a track's automation: values move linearly from the start to the end.
struct LaneSegment {
  int64_t start = 0;
  int64_t end = 0;
  Ramp gain;
  Ramp cut;
};

// A chord as it sounds at one stretch of the song, voiced for the pad.
struct ChordSpan {
  int64_t startStep = 0;
  int64_t endStep = 0;
  Chord chord;
  std::vector<int> voicing;  // MIDI notes, ascending
};

struct Arrangement {
  int sampleRate = 44100;
  int64_t totalSamples = 0;
  std::vector<NoteEvent> notes;                  // sorted by start, then track, then pitch
  std::vector<std::vector<LaneSegment>> lanes;   // per track, sorted by start
  std::vector<ChordSpan> chords;                 // in time order
  int64_t StepToSample(int64_t step) const;
  int64_t stepNum = 0, stepDen = 1;              // samples per step as a fraction
};

// Chooses the inversion and octave of chord whose notes move least from previous (the previous
// voicing, or empty for a first chord, which is then placed around middle C).
std::vector<int> VoiceLead(const Chord& chord, const std::vector<int>& previous);

// Turns the song into note events and lanes. Fails (with a message) on clips that use a pattern
// character the track's kind does not understand.
bool Expand(const Song& song, int sampleRate, Arrangement& arrangement, std::string* why);
