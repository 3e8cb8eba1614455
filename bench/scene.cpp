// Scene evaluation cost: a scene of a few hundred animated nodes evaluated at steadily rising
// frame times, for tracks of 100 to 1600 keys (a key every 10 frames, so longer tracks are
// longer animations; each run plays the same 1000 frames from the middle of the tracks). The
// tracks remember the segment found last, so the cost per frame should stay flat as the key
// count grows. The peer is the textbook
// stateless evaluation (a binary search of the keys on every call), measured on the same
// scenes in the same run. Allocations made while frames are evaluated are counted (should be 0).
//
//   build/bench/bench_scene
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "io/data_file.h"
#include "scene/scene.h"
#include "scene/scene_writer.h"

namespace {

std::atomic<long> gAllocations{0};

}  // namespace

// These replace the global allocator; GCC cannot tell that free() here pairs with malloc().
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete[](p); }
#pragma GCC diagnostic pop

namespace {
constexpr int kNodes = 240;
constexpr int kKeySpacing = 10;  // frames between keys
constexpr int kFrames = 3000;   // evaluations per run, a third of a frame apart

// Keys spread evenly over span frames, with some tension, continuity and bias.
template <class Key>
void Spread(std::vector<Key>* keys, int count, int span, unsigned* seed, Key (*make)(int32_t, unsigned*)) {
  for (int i = 0; i < count; ++i) keys->push_back(make(static_cast<int32_t>(static_cast<long>(i) * span / count), seed));
}

float Rand(unsigned* seed) {
  *seed = *seed * 1103515245u + 12345u;
  return static_cast<float>((*seed >> 8) & 0xffff) / 65536.0f;
}

VectorKey MakeVector(int32_t frame, unsigned* seed) {
  VectorKey k = StillVectorKey(frame, {Rand(seed) * 10, Rand(seed) * 10, Rand(seed) * 10});
  k.tension = Rand(seed) * 0.5f;
  k.continuity = Rand(seed) - 0.5f;
  k.bias = Rand(seed) - 0.5f;
  return k;
}

RotationKey MakeRotation(int32_t frame, unsigned* seed) {
  float a = Rand(seed) * 3.0f;
  return StillRotationKey(frame, Quaternion(std::cos(a), std::sin(a) * 0.6f, std::sin(a) * 0.8f, 0.0f));
}

std::vector<uint8_t> BuildScene(int keys, int span) {
  unsigned seed = 12345;
  SceneDesc d;
  NodeDesc cam = StillNode(kCameraKind, "cam", {0, -50, 0});
  cam.fieldOfView = {StillScalarKey(0, 0.5f)};
  d.nodes.push_back(cam);
  d.nodes.push_back(StillNode(kTargetKind, "cam", {0, 0, 0}));
  NodeDesc* parent = nullptr;
  for (int i = 0; i < kNodes; ++i) {
    NodeDesc n(i % 3 == 0 ? kDummyKind : kMeshKind, "n" + std::to_string(i));
    Spread(&n.position, keys, span, &seed, MakeVector);
    Spread(&n.rotation, keys, span, &seed, MakeRotation);
    Spread(&n.scale, keys, span, &seed, MakeVector);
    // Small subtrees of four nodes under every dummy.
    if (n.kind == kDummyKind || !parent) {
      d.nodes.push_back(n);
      parent = &d.nodes.back();
    } else {
      parent->children.push_back(n);
    }
  }
  return WriteScene(d);
}

// The peer: a stateless binary search of the keys on every evaluation.
template <class Key>
size_t Segment(const std::vector<Key>& keys, float t, float* s) {
  auto after = std::upper_bound(keys.begin(), keys.end(), t, [](float v, const Key& k) { return v < static_cast<float>(k.frame); });
  size_t i = after == keys.begin() ? 0 : static_cast<size_t>(after - keys.begin()) - 1;
  if (i + 1 >= keys.size()) {
    *s = -1.0f;
    return keys.size() - 1;
  }
  *s = (t - static_cast<float>(keys[i].frame)) / static_cast<float>(keys[i + 1].frame - keys[i].frame);
  return i;
}

Vector3 PeerVector(const VectorTrack& track, float t) {
  if (track.keys.empty()) return {};
  float s;
  size_t i = Segment(track.keys, t, &s);
  if (s < 0.0f) return track.keys[i].value;
  return HermiteSegment(track.keys[i].value, track.keys[i].out, track.keys[i + 1].value, track.keys[i + 1].in, s);
}

Quaternion PeerRotation(const RotationTrack& track, float t) {
  if (track.keys.empty()) return Quaternion::Identity();
  float s;
  size_t i = Segment(track.keys, t, &s);
  if (s < 0.0f) return track.keys[i].value;
  const auto& a = track.keys[i];
  const auto& b = track.keys[i + 1];
  Quaternion l1 = Slerp(a.value, a.out, s), l2 = Slerp(a.out, b.in, s), l3 = Slerp(b.in, b.value, s);
  return Slerp(Slerp(l1, l2, s), Slerp(l2, l3, s), s);
}

float gSink = 0.0f;

void PeerWalk(const SceneNode& node, float t) {
  for (const auto& child : node.children) {
    const SceneNode& k = *child;
    Vector3 p = PeerVector(k.positionTrack, t);
    if (k.kind == kMeshKind || k.kind == kDummyKind) {
      const auto& rot = k.kind == kMeshKind ? static_cast<const MeshNode&>(k).rotationTrack
                                            : static_cast<const DummyNode&>(k).rotationTrack;
      const auto& scl = k.kind == kMeshKind ? static_cast<const MeshNode&>(k).scaleTrack
                                            : static_cast<const DummyNode&>(k).scaleTrack;
      Matrix4 m = NodeMatrix(PeerRotation(rot, t), PeerVector(scl, t), p);
      gSink += m.m[0];
    }
    gSink += p.x;
    PeerWalk(k, t);
  }
}

struct Figures {
  double oursNs = 0, peerNs = 0;
  long allocations = 0;
};

Figures Measure(int keys) {
  const int span = keys * kKeySpacing;
  std::vector<uint8_t> bytes = BuildScene(keys, span);
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Scene scene;
  SceneLoadOptions options;
  options.compileDisplayLists = false;
  scene.LoadFrom(file, options);
  if (!scene.LoadProblem().empty()) std::fprintf(stderr, "bench scene: %s\n", scene.LoadProblem().c_str());

  using Clock = std::chrono::steady_clock;
  Figures f;
  const float step = 1.0f / 3.0f;
  const float start = static_cast<float>(span / 2) - kFrames * step / 2;
  scene.EvaluateTree(start);  // the first search walks from key 0; not timed
  long before = gAllocations.load();
  auto t0 = Clock::now();
  for (int i = 0; i < kFrames; ++i) scene.EvaluateTree(start + static_cast<float>(i) * step);
  auto t1 = Clock::now();
  f.allocations = gAllocations.load() - before;
  for (int i = 0; i < kFrames; ++i) PeerWalk(scene, start + static_cast<float>(i) * step);
  auto t2 = Clock::now();
  f.oursNs = std::chrono::duration<double, std::nano>(t1 - t0).count() / kFrames;
  f.peerNs = std::chrono::duration<double, std::nano>(t2 - t1).count() / kFrames;
  return f;
}

}  // namespace

int main() {
  std::printf("scene evaluation: %d animated nodes (position, rotation, scale), %d rising frames per run\n", kNodes,
              kFrames);
  std::printf("%8s %16s %22s %8s %18s\n", "keys", "ours us/frame", "binary-search us/frame", "ratio", "allocs in frames");
  double first = 0, last = 0;
  for (int keys : {100, 400, 1600}) {
    Figures best;
    for (int run = 0; run < 5; ++run) {
      Figures f = Measure(keys);
      if (run == 0 || f.oursNs < best.oursNs) best.oursNs = f.oursNs;
      if (run == 0 || f.peerNs < best.peerNs) best.peerNs = f.peerNs;
      best.allocations += f.allocations;
    }
    if (keys == 100) first = best.oursNs;
    last = best.oursNs;
    std::printf("%8d %16.1f %22.1f %8.2f %18ld\n", keys, best.oursNs / 1000, best.peerNs / 1000,
                best.oursNs / best.peerNs, best.allocations);
  }
  std::printf("ours at 1600 keys / ours at 100 keys: %.2f (a flat cost per frame is 1.0)\n", last / first);
  return gSink == 12345.0f ? 1 : 0;
}
