// Keyframe tracks: lists of keys stamped with whole frame numbers from which a value is computed
// for any (fractional) frame time. Five kinds: VectorTrack, ScalarTrack, RotationTrack (TCB
// splines), ToggleTrack (a shown/hidden flag flipping at each key passed) and MorphTrack (a whole
// vertex array per key).
//
//   VectorTrack t;
//   RecordReader r(file);
//   if (!t.Read(r)) ...;   // keeps the keys read before a problem
//   t.Prepare();           // tangents / controls, once
//   Vector3 p = t.Evaluate(12.5f);
//
// Evaluation keeps the index of the segment found last, so a steadily rising time costs a step
// per call; it is not const. A track without keys evaluates to a neutral value: the zero
// vector, 0, the identity rotation, shown, an empty vertex array.
#pragma once

#include <cstdint>
#include <vector>

#include "anim/vecmath.h"
#include "io/record_reader.h"

// The header every key but a toggle key starts with.
struct TrackKey {
  int32_t frame = 0;
  float tension = 0.0f;
  float continuity = 0.0f;
  float bias = 0.0f;
  float extra1 = 0.0f;  // stored with the key, used by nothing
  float extra2 = 0.0f;
};

struct VectorKey : TrackKey {
  Vector3 in, value, out;
};
struct ScalarKey : TrackKey {
  float in = 0.0f, value = 0.0f, out = 0.0f;
};
struct RotationKey : TrackKey {
  Quaternion in, value, out;  // incoming control A, value, outgoing control B
};
struct MorphKey : TrackKey {
  std::vector<Vector3> in, value, out;
};

// Adjustments for uneven key gaps (gaps as whole frames). Equal frames on both sides give 0.5.
void GapAdjustments(int32_t prevGap, int32_t nextGap, float continuity, float* adjIn, float* adjOut);

class KeyTrack {
 public:
  virtual ~KeyTrack() = default;
  virtual void Prepare() = 0;
  // Parses the track record at the reader's cursor. Returns false (the problem recorded in the
  // reader) when the data is malformed; the keys read before the problem are kept.
  virtual bool Read(RecordReader& reader) = 0;
  virtual int32_t KeyCount() const = 0;

  int32_t flags = 1;

 protected:
  // Moves the cached index to the segment holding t; true with *s set when there is a segment
  // to interpolate, false when key index_ itself is the answer.
  template <class Keys>
  bool Search(const Keys& keys, float t, float* s);

  int32_t index_ = 0;
};

// Shared by the three kinds whose keys are header + value.
template <class Key>
class ListTrack : public KeyTrack {
 public:
  int32_t KeyCount() const override { return static_cast<int32_t>(keys.size()); }
  int32_t CurrentIndex() const { return index_; }
  std::vector<Key> keys;
};

class VectorTrack : public ListTrack<VectorKey> {
 public:
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  Vector3 Evaluate(float t);
};

class ScalarTrack : public ListTrack<ScalarKey> {
 public:
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  float Evaluate(float t);
};

class RotationTrack : public ListTrack<RotationKey> {
 public:
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  Quaternion Evaluate(float t);
};

class ToggleTrack : public KeyTrack {
 public:
  bool Read(RecordReader& reader) override;
  void Prepare() override {}
  int32_t KeyCount() const override { return static_cast<int32_t>(frames.size()); }
  // Flips at each key frame reached; index and state only move forward.
  bool Evaluate(float t);
  bool State() const { return state_; }

  std::vector<int32_t> frames;

 private:
  bool state_ = true;
};

class MorphTrack : public ListTrack<MorphKey> {
 public:
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  // Valid until the next Evaluate on this track: the output array, or one key's own values.
  const std::vector<Vector3>& Evaluate(float t);
  // Vertex count every key holds (0 without keys).
  int32_t VertexCount() const { return keys.empty() ? 0 : static_cast<int32_t>(keys[0].value.size()); }
  void Clear();

 private:
  std::vector<Vector3> output_;
  std::vector<Vector3> empty_;
};
