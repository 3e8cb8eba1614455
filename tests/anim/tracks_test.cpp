// Track records, the cached key search, toggles, morph arrays and malformed records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "anim/tracks.h"
#include "io/data_file.h"
#include "io/record_reader.h"
namespace {

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& I(int32_t v) { return Raw(&v); }
  Bytes& F(float v) { return Raw(&v); }
  Bytes& Header(int32_t frame) { return I(frame).F(0).F(0).F(0).F(0).F(0); }
  template <class T>
  Bytes& Raw(const T* v) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(v);
    data.insert(data.end(), p, p + sizeof(T));
    return *this;
  }
};

// Reads a track from bytes; returns whether the record was well formed.
template <class Track>
bool ReadFrom(Track* track, const Bytes& b, std::string* problem = nullptr, uint32_t* offset = nullptr) {
  DataFile file;
  file.OpenMemory(b.data.data(), static_cast<int32_t>(b.data.size()));
  RecordReader r(file);
  bool ok = track->Read(r);
  if (problem) *problem = r.Problem();
  if (offset) *offset = r.ProblemOffset();
  return ok;
}

ScalarTrack Ramp(int32_t keys) {
  ScalarTrack t;
  for (int32_t i = 0; i < keys; ++i) {
    ScalarKey k;
    k.frame = i * 10;
    k.value = static_cast<float>(i * i);
    t.keys.push_back(k);
  }
  t.Prepare();
  return t;
}

}  // namespace

TEST(TrackRecords, VectorScalarRotationRecordsReadInFieldOrder) {
  Bytes b;
  b.I(0).I(2);
  b.Header(5).F(1).F(2).F(3);
  b.Header(15).F(4).F(5).F(6);
  VectorTrack v;
  ASSERT_TRUE(ReadFrom(&v, b));
  EXPECT_EQ(v.flags, 0);
  ASSERT_EQ(v.KeyCount(), 2);
  EXPECT_EQ(v.keys[1].frame, 15);
  EXPECT_EQ(v.keys[1].value, Vector3(4, 5, 6));

  Bytes s;
  s.I(7).I(1).I(3).F(0.25f).F(0.5f).F(-0.5f).F(11).F(12).F(42);
  ScalarTrack st;
  ASSERT_TRUE(ReadFrom(&st, s));
  EXPECT_EQ(st.flags, 7);
  EXPECT_FLOAT_EQ(st.keys[0].tension, 0.25f);
  EXPECT_FLOAT_EQ(st.keys[0].continuity, 0.5f);
  EXPECT_FLOAT_EQ(st.keys[0].bias, -0.5f);
  EXPECT_FLOAT_EQ(st.keys[0].extra2, 12.0f);
  EXPECT_FLOAT_EQ(st.keys[0].value, 42.0f);

  Bytes q;
  q.I(0).I(1).Header(0).F(0.5f).F(0.1f).F(0.2f).F(0.3f);
  RotationTrack rt;
  ASSERT_TRUE(ReadFrom(&rt, q));
  EXPECT_EQ(rt.keys[0].value, Quaternion(0.5f, 0.1f, 0.2f, 0.3f));
}

TEST(TrackRecords, MalformedRecordsStopWithoutReadingPastTheData) {
  std::string problem;
  uint32_t offset = 0;
  // A key count the data cannot hold is refused before anything is allocated for it.
  Bytes huge;
  huge.I(0).I(0x10000000).Header(0).F(1).F(2).F(3);
  VectorTrack v;
  EXPECT_FALSE(ReadFrom(&v, huge, &problem, &offset));
  EXPECT_EQ(v.KeyCount(), 0);
  EXPECT_EQ(offset, 4u);
  EXPECT_NE(problem.find("key count"), std::string::npos);

  Bytes negative;
  negative.I(0).I(-3);
  ScalarTrack s;
  EXPECT_FALSE(ReadFrom(&s, negative));

  // A toggle list cut off before its -1.
  Bytes open;
  open.I(10).I(20);
  ToggleTrack t;
  EXPECT_FALSE(ReadFrom(&t, open));
  EXPECT_TRUE(t.Evaluate(100.0f));

  // Morph keys must all hold key 0's vertex count. The record is still read whole (the file
  // stays in step), the problem is noted at the odd count, and the track is dropped.
  Bytes morph;
  morph.I(0).I(2);
  morph.Header(0).I(2).F(0).F(0).F(0).F(1).F(1).F(1);
  morph.Header(10).I(1).F(5).F(5).F(5);
  morph.I(1234);  // what follows the record
  MorphTrack m;
  {
    DataFile file;
    file.OpenMemory(morph.data.data(), static_cast<int32_t>(morph.data.size()));
    RecordReader r(file);
    EXPECT_TRUE(m.Read(r));
    EXPECT_FALSE(r.Failed());
    EXPECT_TRUE(r.HasProblem());
    EXPECT_EQ(r.ProblemOffset(), 8u + 28u + 24u + 24u);
    int32_t next = 0;
    EXPECT_TRUE(r.Int(&next));
    EXPECT_EQ(next, 1234);
  }
  EXPECT_EQ(m.KeyCount(), 0);
  EXPECT_TRUE(m.Evaluate(5.0f).empty());
  // Cut off inside the odd key: a failure; the key read whole before the cut stays.
  Bytes cut;
  cut.data.assign(morph.data.begin(), morph.data.end() - 8);
  MorphTrack c;
  EXPECT_FALSE(ReadFrom(&c, cut));
  EXPECT_EQ(c.KeyCount(), 1) << "the keys before the cut agree with each other";
}

TEST(KeySearch, MovesBothWaysAndMatchesAFreshTrack) {
  ScalarTrack cached = Ramp(11);
  const float times[] = {50.0f, 5.0f, 50.0f, 99.5f, -3.0f, 100.0f, 37.2f, 0.0f};
  for (float t : times) {
    ScalarTrack fresh = Ramp(11);
    EXPECT_FLOAT_EQ(cached.Evaluate(t), fresh.Evaluate(t)) << t;
  }
  cached.Evaluate(37.2f);
  EXPECT_EQ(cached.CurrentIndex(), 3);
  cached.Evaluate(100.0f);
  EXPECT_EQ(cached.CurrentIndex(), 10);
  cached.Evaluate(-50.0f);
  EXPECT_EQ(cached.CurrentIndex(), 0);
}

TEST(KeySearch, KeysOnOneFrameNeverInterpolateAZeroLengthSegment) {
  ScalarTrack t;
  const int32_t frames[] = {0, 10, 10, 20};
  const float values[] = {0, 5, 7, 9};
  for (int i = 0; i < 4; ++i) {
    ScalarKey k;
    k.frame = frames[i];
    k.value = values[i];
    t.keys.push_back(k);
  }
  t.Prepare();
  EXPECT_FLOAT_EQ(t.Evaluate(10.0f), 7.0f);  // the segment that begins at key 2
  EXPECT_EQ(t.CurrentIndex(), 2);
  EXPECT_FLOAT_EQ(t.Evaluate(20.0f), 9.0f);
  EXPECT_FLOAT_EQ(t.Evaluate(10.0f), 7.0f);  // coming back down
  EXPECT_LT(t.Evaluate(9.0f), 7.0f);
  EXPECT_EQ(t.CurrentIndex(), 0);

  // Two keys on one frame and a time before them: the key's value, not 0/0.
  ScalarTrack same;
  ScalarKey a, b;
  a.frame = b.frame = 10;
  a.value = 1.0f;
  b.value = 2.0f;
  same.keys = {a, b};
  same.Prepare();
  EXPECT_FLOAT_EQ(same.Evaluate(0.0f), 1.0f);
}

TEST(KeySearch, SingleKeyAndEmptyTracks) {
  ScalarTrack one = Ramp(1);
  EXPECT_FLOAT_EQ(one.Evaluate(-100.0f), 0.0f);
  one.keys[0].value = 3.0f;
  EXPECT_FLOAT_EQ(one.Evaluate(1e6f), 3.0f);

  // Tracks without keys give neutral values.
  VectorTrack v;
  ScalarTrack s;
  RotationTrack r;
  ToggleTrack t;
  MorphTrack m;
  v.Prepare();
  r.Prepare();
  m.Prepare();
  EXPECT_EQ(v.Evaluate(3.0f), Vector3());
  EXPECT_FLOAT_EQ(s.Evaluate(3.0f), 0.0f);
  EXPECT_EQ(r.Evaluate(3.0f), Quaternion::Identity());
  EXPECT_TRUE(t.Evaluate(3.0f));
  EXPECT_TRUE(m.Evaluate(3.0f).empty());
}

TEST(ToggleTrack, FlipsForwardOnlyAndNeedsTwoKeys) {
  Bytes b;
  b.I(0).I(100).I(-1);
  ToggleTrack t;
  ASSERT_TRUE(ReadFrom(&t, b));
  EXPECT_EQ(t.KeyCount(), 2);
  EXPECT_TRUE(t.Evaluate(-1.0f));
  EXPECT_FALSE(t.Evaluate(0.0f));
  EXPECT_FALSE(t.Evaluate(99.9f));
  EXPECT_TRUE(t.Evaluate(100.0f));
  // Going back in time changes nothing.
  EXPECT_TRUE(t.Evaluate(50.0f));

  ToggleTrack jump;
  ReadFrom(&jump, b);
  EXPECT_TRUE(jump.Evaluate(-1.0f));
  EXPECT_TRUE(jump.Evaluate(150.0f));  // flipped twice

  Bytes single;
  single.I(30).I(-1);
  ToggleTrack one;
  ReadFrom(&one, single);
  EXPECT_TRUE(one.Evaluate(0.0f));
  EXPECT_TRUE(one.Evaluate(60.0f));

  Bytes none;
  none.I(-1);
  ToggleTrack empty;
  ASSERT_TRUE(ReadFrom(&empty, none));
  EXPECT_EQ(empty.KeyCount(), 0);
  EXPECT_TRUE(empty.Evaluate(1e9f));
}

TEST(MorphTrack, OneKeyGivesItsOwnArrayAndSeveralInterpolateIntoOneOutput) {
  Bytes one;
  one.I(0).I(1).Header(0).I(2).F(1).F(2).F(3).F(4).F(5).F(6);
  MorphTrack single;
  ASSERT_TRUE(ReadFrom(&single, one));
  single.Prepare();
  const std::vector<Vector3>& own = single.Evaluate(12.0f);
  EXPECT_EQ(&own, &single.keys[0].value);

  Bytes two;
  two.I(0).I(2).Header(0).I(2).F(0).F(0).F(0).F(10).F(0).F(0);
  two.Header(10).I(2).F(10).F(0).F(0).F(20).F(0).F(0);
  MorphTrack m;
  ASSERT_TRUE(ReadFrom(&m, two));
  m.Prepare();
  const std::vector<Vector3>& mid = m.Evaluate(5.0f);
  ASSERT_EQ(mid.size(), 2u);
  EXPECT_FLOAT_EQ(mid[0].x, 5.0f);
  EXPECT_FLOAT_EQ(mid[1].x, 15.0f);
  const std::vector<Vector3>* first = &mid;
  EXPECT_EQ(&m.Evaluate(6.0f), first);  // the same output array every frame
  EXPECT_EQ(&m.Evaluate(10.0f), &m.keys[1].value);
}
