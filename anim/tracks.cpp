#include "anim/tracks.h"

#include <cmath>

namespace {

// Smallest bytes of one key record, used to refuse counts the data cannot hold.
constexpr uint32_t kVectorKeyBytes = 36;
constexpr uint32_t kScalarKeyBytes = 28;
constexpr uint32_t kRotationKeyBytes = 40;
constexpr uint32_t kMorphKeyMinBytes = 28;

bool ReadHeader(RecordReader& r, TrackKey* key) {
  return r.Int(&key->frame) && r.Float(&key->tension) && r.Float(&key->continuity) && r.Float(&key->bias) &&
         r.Float(&key->extra1) && r.Float(&key->extra2);
}

bool ReadVector(RecordReader& r, Vector3* v) { return r.Float(&v->x) && r.Float(&v->y) && r.Float(&v->z); }

// Flags and key count of a record; false on a problem.
bool ReadCount(RecordReader& r, int32_t* flags, int32_t* count, uint32_t keyBytes) {
  return r.Int(flags) && r.Int(count) && r.CheckCount(*count, keyBytes, "key count");
}

float Gap(int32_t later, int32_t earlier) {
  return static_cast<float>(static_cast<int64_t>(later) - static_cast<int64_t>(earlier));
}

// TCB tangents over keys whose value, incoming and outgoing tangent the accessors reach. The
// outgoing tangent of an inner key is scaled by adjOut, or by adjIn when outUsesAdjIn is set
// (the morph track's way).
template <class Value, class Key, class GetValue, class GetIn, class GetOut>
void ComputeTangents(std::vector<Key>& keys, GetValue value, GetIn in, GetOut out, bool outUsesAdjIn) {
  const size_t n = keys.size();
  if (n < 2) return;
  if (n == 2) {
    Value d = value(keys[1]) - value(keys[0]);
    out(keys[0]) = d * (1.0f - keys[0].tension);
    in(keys[1]) = d * (1.0f - keys[1].tension);
    return;
  }
  for (size_t i = 1; i + 1 < n; ++i) {
    Key& k = keys[i];
    float adjIn, adjOut;
    GapAdjustments(static_cast<int32_t>(static_cast<int64_t>(k.frame) - keys[i - 1].frame),
                   static_cast<int32_t>(static_cast<int64_t>(keys[i + 1].frame) - k.frame), k.continuity, &adjIn,
                   &adjOut);
    Value dPrev = value(k) - value(keys[i - 1]);
    Value dNext = value(keys[i + 1]) - value(k);
    float t = k.tension, c = k.continuity, b = k.bias;
    in(keys[i]) = (dPrev + dNext) * (adjIn * (1.0f - t) * (1.0f + b) * (1.0f - b));
    Value mix = dPrev * ((1.0f + c) * (1.0f + b)) + dNext * ((1.0f - c) * (1.0f - b));
    out(keys[i]) = mix * ((outUsesAdjIn ? adjIn : adjOut) * (1.0f - t));
  }
  Value first = (value(keys[1]) - value(keys[0])) * 1.5f - in(keys[1]) * 0.5f;
  out(keys[0]) = first * (1.0f - keys[0].tension);
  Value last = (value(keys[n - 1]) - value(keys[n - 2])) * 1.5f - out(keys[n - 2]) * 0.5f;
  in(keys[n - 1]) = last * (1.0f - keys[n - 1].tension);
}

}  // namespace

void GapAdjustments(int32_t prevGap, int32_t nextGap, float continuity, float* adjIn, float* adjOut) {
  float prev = static_cast<float>(prevGap), next = static_cast<float>(nextGap);
  float sum = static_cast<float>(static_cast<int64_t>(prevGap) + nextGap);
  // Keys at one frame on both sides leave no share to split; take half each rather than 0/0.
  float inShare = sum != 0.0f ? prev / sum : 0.5f;
  float outShare = sum != 0.0f ? next / sum : 0.5f;
  float k = 1.0f - std::fabs(continuity);
  *adjIn = k * (inShare - 0.5f) + 0.5f;
  *adjOut = k * (outShare - 0.5f) + 0.5f;
}

template <class Keys>
bool KeyTrack::Search(const Keys& keys, float t, float* s) {
  const int32_t n = static_cast<int32_t>(keys.size());
  int32_t i = index_;
  if (i > n - 1) i = n - 1;
  if (i < 0) i = 0;
  if (i < n - 1) {
    while (static_cast<float>(keys[i + 1].frame) <= t) {
      ++i;
      if (i == n - 1) break;
    }
  }
  if (i > 0) {
    while (t < static_cast<float>(keys[i].frame)) {
      --i;
      if (i == 0) break;
    }
  }
  index_ = i;
  if (n == 1 || i == n - 1) return false;
  float gap = Gap(keys[i + 1].frame, keys[i].frame);
  // Two keys at one frame (reachable only before the first key): the key's own value.
  if (gap == 0.0f) return false;
  *s = (t - static_cast<float>(keys[i].frame)) / gap;
  return true;
}

// ---------------------------------------------------------------- VectorTrack

bool VectorTrack::Read(RecordReader& r) {
  int32_t count;
  if (!ReadCount(r, &flags, &count, kVectorKeyBytes)) return false;
  keys.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    VectorKey key;
    if (!ReadHeader(r, &key) || !ReadVector(r, &key.value)) return false;
    keys.push_back(key);
  }
  return true;
}

void VectorTrack::Prepare() {
  ComputeTangents<Vector3>(
      keys, [](VectorKey& k) -> Vector3& { return k.value; }, [](VectorKey& k) -> Vector3& { return k.in; },
      [](VectorKey& k) -> Vector3& { return k.out; }, false);
}

Vector3 VectorTrack::Evaluate(float t) {
  if (keys.empty()) return {};
  float s;
  if (!Search(keys, t, &s)) return keys[index_].value;
  const VectorKey& a = keys[index_];
  const VectorKey& b = keys[index_ + 1];
  return HermiteSegment(a.value, a.out, b.value, b.in, s);
}

// ---------------------------------------------------------------- ScalarTrack

bool ScalarTrack::Read(RecordReader& r) {
  int32_t count;
  if (!ReadCount(r, &flags, &count, kScalarKeyBytes)) return false;
  keys.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    ScalarKey key;
    if (!ReadHeader(r, &key) || !r.Float(&key.value)) return false;
    keys.push_back(key);
  }
  return true;
}

void ScalarTrack::Prepare() {
  ComputeTangents<float>(
      keys, [](ScalarKey& k) -> float& { return k.value; }, [](ScalarKey& k) -> float& { return k.in; },
      [](ScalarKey& k) -> float& { return k.out; }, false);
}

float ScalarTrack::Evaluate(float t) {
  if (keys.empty()) return 0.0f;
  float s;
  if (!Search(keys, t, &s)) return keys[index_].value;
  const ScalarKey& a = keys[index_];
  const ScalarKey& b = keys[index_ + 1];
  return HermiteSegment(a.value, a.out, b.value, b.in, s);
}

// ---------------------------------------------------------------- RotationTrack

bool RotationTrack::Read(RecordReader& r) {
  int32_t count;
  if (!ReadCount(r, &flags, &count, kRotationKeyBytes)) return false;
  keys.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    RotationKey key;
    if (!ReadHeader(r, &key) || !r.Float(&key.value.w) || !r.Float(&key.value.x) || !r.Float(&key.value.y) ||
        !r.Float(&key.value.z)) {
      return false;
    }
    keys.push_back(key);
  }
  return true;
}

void RotationTrack::Prepare() {
  const size_t n = keys.size();
  if (n < 2) return;
  if (n == 2) {
    keys[0].out = Slerp(keys[0].value, keys[1].value, (1.0f - keys[0].tension) * kOneThird);
    keys[1].in = Slerp(keys[1].value, keys[0].value, (1.0f - keys[1].tension) * kOneThird);
    return;
  }
  RotationKey& k0 = keys[0];
  k0.out = Slerp(k0.value, keys[1].value, (1.0f + k0.bias * k0.continuity) * (1.0f - k0.tension) * kOneThird);
  for (size_t i = 1; i + 1 < n; ++i) {
    RotationKey& k = keys[i];
    float adjIn, adjOut;
    GapAdjustments(static_cast<int32_t>(static_cast<int64_t>(k.frame) - keys[i - 1].frame),
                   static_cast<int32_t>(static_cast<int64_t>(keys[i + 1].frame) - k.frame), k.continuity, &adjIn,
                   &adjOut);
    float b = k.bias, c = k.continuity, t = k.tension;
    Quaternion x1 = Slerp(k.value, keys[i - 1].value, -(1.0f + b) * kOneThird);
    Quaternion x2 = Slerp(k.value, keys[i + 1].value, (1.0f - b) * kOneThird);
    k.in = Slerp(k.value, Slerp(x1, x2, (1.0f + c) * 0.5f), -2.0f * adjIn * (1.0f - t));
    k.out = Slerp(k.value, Slerp(x1, x2, 0.5f - 0.5f * c), 2.0f * adjOut * (1.0f - t));
  }
  RotationKey& kl = keys[n - 1];
  kl.in = Slerp(kl.value, keys[n - 2].value, (1.0f - kl.bias * kl.continuity) * (1.0f - kl.tension) * kOneThird);
}

Quaternion RotationTrack::Evaluate(float t) {
  if (keys.empty()) return Quaternion::Identity();
  float s;
  if (!Search(keys, t, &s)) return keys[index_].value;
  const RotationKey& a = keys[index_];
  const RotationKey& b = keys[index_ + 1];
  Quaternion l1 = Slerp(a.value, a.out, s);
  Quaternion l2 = Slerp(a.out, b.in, s);
  Quaternion l3 = Slerp(b.in, b.value, s);
  Quaternion m1 = Slerp(l1, l2, s);
  Quaternion m2 = Slerp(l2, l3, s);
  return Slerp(m1, m2, s);
}

// ---------------------------------------------------------------- ToggleTrack

bool ToggleTrack::Read(RecordReader& r) {
  for (;;) {
    int32_t frame;
    if (!r.Int(&frame)) {
      state_ = true;
      return false;
    }
    if (frame == -1) break;
    frames.push_back(frame);
  }
  state_ = true;
  return true;
}

bool ToggleTrack::Evaluate(float t) {
  const int32_t n = static_cast<int32_t>(frames.size());
  if (n <= 1) return state_;
  while (index_ < n && static_cast<float>(frames[index_]) <= t) {
    state_ = !state_;
    ++index_;
  }
  return state_;
}

// ---------------------------------------------------------------- MorphTrack

bool MorphTrack::Read(RecordReader& r) {
  int32_t count;
  Clear();
  if (!ReadCount(r, &flags, &count, kMorphKeyMinBytes)) return false;
  keys.reserve(static_cast<size_t>(count));
  bool ok = true;
  bool mismatch = false;
  uint32_t mismatchAt = 0;
  for (int32_t i = 0; i < count && ok; ++i) {
    MorphKey key;
    int32_t v;
    if (!ReadHeader(r, &key)) {
      ok = false;
      break;
    }
    const uint32_t countAt = r.Offset();
    if (!r.Int(&v) || !r.CheckCount(v, 12, "morph vertex count")) {
      ok = false;
      break;
    }
    key.value.resize(static_cast<size_t>(v));
    for (int32_t j = 0; j < v && ok; ++j) ok = ReadVector(r, &key.value[static_cast<size_t>(j)]);
    if (!ok) break;
    // Evaluation pairs the keys' vertices index by index, so every key must hold as many as
    // the first. The record is still read whole to keep the file in step.
    if (!keys.empty() && key.value.size() != keys[0].value.size() && !mismatch) {
      mismatch = true;
      mismatchAt = countAt;
    }
    key.in.resize(key.value.size());
    key.out.resize(key.value.size());
    keys.push_back(std::move(key));
  }
  if (mismatch) {
    Clear();
    r.Note("morph key vertex count differs from the first key's; the morph track is dropped", mismatchAt);
    return ok;
  }
  if (keys.size() > 1) output_.resize(keys[0].value.size());
  return ok;
}

void MorphTrack::Clear() {
  keys.clear();
  output_.clear();
  index_ = 0;
}

void MorphTrack::Prepare() {
  const size_t vertices = keys.empty() ? 0 : keys[0].value.size();
  for (size_t v = 0; v < vertices; ++v) {
    ComputeTangents<Vector3>(
        keys, [v](MorphKey& k) -> Vector3& { return k.value[v]; }, [v](MorphKey& k) -> Vector3& { return k.in[v]; },
        [v](MorphKey& k) -> Vector3& { return k.out[v]; }, true);
  }
}

const std::vector<Vector3>& MorphTrack::Evaluate(float t) {
  if (keys.empty()) return empty_;
  float s;
  if (!Search(keys, t, &s)) return keys[index_].value;
  const MorphKey& a = keys[index_];
  const MorphKey& b = keys[index_ + 1];
  for (size_t v = 0; v < output_.size(); ++v) output_[v] = HermiteSegment(a.value[v], a.out[v], b.value[v], b.in[v], s);
  return output_;
}
