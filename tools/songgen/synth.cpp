#include "tools/songgen/synth.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kBlock = 64;
constexpr double kPi = 3.14159265358979323846;

// One sine cycle, 4096 points plus a guard point for interpolation.
struct SineTable {
  float v[4097];
  SineTable() {
    for (int i = 0; i <= 4096; ++i) v[i] = static_cast<float>(std::sin(2.0 * kPi * i / 4096.0));
  }
};
const SineTable kSine;

// Sine of a phase given in cycles.
inline float Sin1(double phase) {
  double p = phase - std::floor(phase);
  double x = p * 4096.0;
  int i = static_cast<int>(x);
  if (i > 4095) i = 4095;
  float f = static_cast<float>(x - i);
  return kSine.v[i] + (kSine.v[i + 1] - kSine.v[i]) * f;
}

inline double Wrap(double p) { return p >= 1.0 ? p - std::floor(p) : p; }

// Band-limited step correction for saws and squares.
inline float PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return static_cast<float>(t + t - t * t - 1.0);
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return static_cast<float>(t * t + t + t + 1.0);
  }
  return 0.0f;
}

inline float Saw(double ph, double dt) { return static_cast<float>(2.0 * ph - 1.0) - PolyBlep(ph, dt); }

inline float Square(double ph, double dt) {
  float s = ph < 0.5 ? 1.0f : -1.0f;
  return s + PolyBlep(ph, dt) - PolyBlep(Wrap(ph + 0.5), dt);
}

// Soft saturation, close to tanh for |x| < 3 and flat beyond.
inline float Soft(float x) {
  if (x > 3.0f) return 1.0f;
  if (x < -3.0f) return -1.0f;
  const float x2 = x * x;
  return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}

struct Rng {
  uint32_t s = 1;
  float Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return static_cast<float>(static_cast<int32_t>(s)) * (1.0f / 2147483648.0f);
  }
};

inline float DecayPerSample(float seconds, float sr) {
  return static_cast<float>(std::exp(-1.0 / (static_cast<double>(seconds) * sr)));
}

// Topology-preserving state-variable filter.
struct Svf {
  float ic1 = 0, ic2 = 0, a1 = 1, a2 = 0, a3 = 0, k = 1;
  float lp = 0, bp = 0, hp = 0;
  void Set(float fc, float q, float sr) {
    fc = std::clamp(fc, 10.0f, 0.45f * sr);
    const float g = static_cast<float>(std::tan(kPi * fc / sr));
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  void Run(float v0) {
    const float v3 = v0 - ic2;
    const float v1 = a1 * ic1 + a2 * v3;
    const float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    lp = v2;
    bp = v1;
    hp = v0 - k * v1 - v2;
  }
};

struct Adsr {
  float sustain = 1, aInc = 1, dMul = 0, rMul = 0;
  int stage = 0;  // 0 attack, 1 decay/sustain, 2 release, 3 finished
  float level = 0;
  void Init(float a, float d, float s, float r, float sr) {
    aInc = 1.0f / (std::max(a, 0.0005f) * sr);
    dMul = 1.0f - DecayPerSample(d, sr);
    rMul = 1.0f - DecayPerSample(r, sr);
    sustain = s;
  }
  float Next(bool gate) {
    if (!gate && stage < 2) stage = 2;
    switch (stage) {
      case 0:
        level += aInc;
        if (level >= 1.0f) {
          level = 1.0f;
          stage = 1;
        }
        break;
      case 1:
        level += (sustain - level) * dMul;
        break;
      case 2:
        level -= level * rMul;
        if (level < 1e-3f) {
          level = 0.0f;
          stage = 3;
        }
        break;
      default:
        break;
    }
    return level;
  }
};

struct Voice {
  Kind kind = Kind::Pad;
  int64_t start = 0;
  int64_t gate = 0;  // gate length in samples
  int64_t age = 0;
  float freq = 440.0f;
  float vel = 1.0f;
  double ph[3] = {0, 0, 0};
  double lfo = 0;
  Adsr env;
  Svf fl, fr, f2;
  Rng rng, rng2;
  float e1 = 1, e2 = 1, m1 = 1, m2 = 1;  // kind-specific decaying envelopes and their multipliers
  bool done = false;
};

float MidiToHz(float m) { return 440.0f * static_cast<float>(std::exp2((static_cast<double>(m) - 69.0) / 12.0)); }

void StartVoice(Voice& v, const NoteEvent& n, Kind kind, uint32_t seed, float sr) {
  v.kind = kind;
  v.start = n.start;
  v.gate = n.length;
  v.freq = MidiToHz(n.pitch);
  v.vel = n.velocity;
  v.rng.s = seed * 2654435761u + 0x9E3779B9u;
  if (v.rng.s == 0) v.rng.s = 1;
  v.rng2.s = v.rng.s ^ 0x5bd1e995u;
  if (v.rng2.s == 0) v.rng2.s = 7;
  for (double& p : v.ph) p = (v.rng.Next() + 1.0f) * 0.5f;
  v.lfo = (v.rng.Next() + 1.0f) * 0.5f;
  switch (kind) {
    case Kind::Kick:
      v.ph[0] = 0;
      v.e1 = 1; v.m1 = DecayPerSample(0.16f, sr);   // body
      v.e2 = 1; v.m2 = DecayPerSample(0.028f, sr);  // pitch sweep
      v.fl.Set(3500, 0.7f, sr);
      break;
    case Kind::Snare:
      v.e1 = 1; v.m1 = DecayPerSample(0.045f, sr);  // tone
      v.e2 = 1; v.m2 = DecayPerSample(0.075f, sr);  // noise
      v.fl.Set(1900, 0.7f, sr);
      v.fr.Set(5200, 0.9f, sr);
      break;
    case Kind::Clap:
      v.fl.Set(1250, 1.8f, sr);
      v.fr.Set(1250, 1.8f, sr);
      break;
    case Kind::Hat:
    case Kind::OpenHat:
      v.e1 = 1; v.m1 = DecayPerSample(kind == Kind::Hat ? 0.032f : 0.2f, sr);
      v.fl.Set(7600, 0.8f, sr);
      v.f2.Set(10800, 1.2f, sr);
      break;
    case Kind::Crash:
      v.e1 = 1; v.m1 = DecayPerSample(0.75f, sr);
      v.fl.Set(4800, 0.7f, sr);
      v.fr.Set(4900, 0.7f, sr);
      break;
    case Kind::Bass:
      v.env.Init(0.003f, 0.25f, 0.75f, 0.05f, sr);
      v.e1 = 1; v.m1 = DecayPerSample(0.08f, sr);
      v.ph[1] = v.ph[0];
      break;
    case Kind::Pad:
      v.env.Init(0.7f, 1.5f, 0.8f, 0.7f, sr);
      break;
    case Kind::Arp:
      v.env.Init(0.002f, 0.3f, 0.0f, 0.06f, sr);
      v.ph[0] = 0; v.ph[1] = 0;
      v.e1 = 1; v.m1 = DecayPerSample(0.12f, sr);
      break;
    case Kind::Lead:
      v.env.Init(0.012f, 0.45f, 0.65f, 0.22f, sr);
      v.e1 = 1; v.m1 = DecayPerSample(0.28f, sr);
      break;
    case Kind::Bell:
      v.env.Init(0.003f, 0.9f, 0.0f, 0.45f, sr);
      v.ph[0] = 0; v.ph[1] = 0; v.ph[2] = 0;
      v.e1 = 1; v.m1 = DecayPerSample(0.45f, sr);
      break;
    case Kind::Stab:
      v.env.Init(0.003f, 0.55f, 0.0f, 0.2f, sr);
      v.e1 = 1; v.m1 = DecayPerSample(0.14f, sr);
      break;
    case Kind::Riser:
      v.e1 = 1; v.m1 = DecayPerSample(0.05f, sr);
      break;
    case Kind::Master:
      v.done = true;
      break;
  }
}

// Adds samples [from, to) of the current block (indices into L and R) for one voice.
// Each instrument renders samples [from, to) of its voice into L and R (adding to what is
// there) and marks the voice done once it has died away. `cut` is the track's filter opening.

void RunKick(Voice& v, float* L, float* R, int from, int to, float sr) {
  for (int i = from; i < to; ++i) {
    const float f = 44.0f + 125.0f * v.e2;
    v.ph[0] += f / sr;
    const float att = std::min(1.0f, static_cast<float>(v.age) * (1.0f / 40.0f));
    const float body = Sin1(v.ph[0]) * v.e1 * att;
    v.fl.Run(v.rng.Next());
    const float click = v.fl.lp * v.e2 * v.e2 * 0.6f;
    const float x = Soft((body * 1.25f + click) * v.vel) * 0.95f;
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    v.e2 *= v.m2;
    ++v.age;
  }
  if (v.e1 < 1e-4f) v.done = true;
}

void RunSnare(Voice& v, float* L, float* R, int from, int to, float sr) {
  for (int i = from; i < to; ++i) {
    const float f = 180.0f * (1.0f + 0.5f * v.e1 * v.e1);
    v.ph[0] += f / sr;
    const float tone = Sin1(v.ph[0]) * v.e1;
    const float n = v.rng.Next();
    v.fl.Run(n);
    v.fr.Run(n);
    const float noise = (v.fl.hp * 0.7f + v.fr.bp * 0.5f) * v.e2;
    const float x = (tone * 0.7f + noise * 0.9f) * v.vel;
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    v.e2 *= v.m2;
    ++v.age;
  }
  if (v.e2 < 1e-4f) v.done = true;
}

void RunClap(Voice& v, float* L, float* R, int from, int to, float sr) {
  const float t0 = static_cast<float>(v.age) / sr;
  for (int i = from; i < to; ++i) {
    const float t = static_cast<float>(v.age) / sr;
    float env;
    if (t < 0.03f) env = std::exp(-std::fmod(t, 0.01f) * 300.0f);
    else env = std::exp(-(t - 0.03f) * 13.0f);
    v.fl.Run(v.rng.Next());
    v.fr.Run(v.rng2.Next());
    L[i] += v.fl.bp * env * v.vel * 1.6f;
    R[i] += v.fr.bp * env * v.vel * 1.6f;
    ++v.age;
  }
  if (t0 > 0.6f) v.done = true;
}

void RunHat(Voice& v, float* L, float* R, int from, int to) {
  for (int i = from; i < to; ++i) {
    const float n = v.rng.Next();
    v.fl.Run(n);
    v.f2.Run(n);
    const float x = (v.fl.hp * 0.6f + v.f2.bp * 0.5f) * v.e1 * v.vel;
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.e1 < 1e-4f) v.done = true;
}

void RunCrash(Voice& v, float* L, float* R, int from, int to) {
  for (int i = from; i < to; ++i) {
    v.fl.Run(v.rng.Next());
    v.fr.Run(v.rng2.Next());
    const float att = std::min(1.0f, static_cast<float>(v.age) * (1.0f / 100.0f));
    L[i] += v.fl.hp * v.e1 * att * v.vel * 0.6f;
    R[i] += v.fr.hp * v.e1 * att * v.vel * 0.6f;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.e1 < 1e-3f) v.done = true;
}

void RunBass(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  const double dt = v.freq / sr;
  for (int i = from; i < to; ++i) {
    if ((v.age & 15) == 0) v.fl.Set((95.0f + 1500.0f * v.e1 * v.vel) * cut, 1.15f, sr);
    const float saw = Saw(v.ph[0], dt);
    const float sub = Sin1(v.ph[1]);
    v.ph[0] = Wrap(v.ph[0] + dt);
    v.ph[1] += dt;
    v.fl.Run(saw * 0.6f + sub * 0.45f);
    const float amp = v.env.Next(v.age < v.gate);
    const float x = Soft((v.fl.lp + sub * 0.45f) * amp * v.vel * 1.2f);
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.env.stage == 3) v.done = true;
}

// The pad and the stab: three saws detuned about the note, mixed heavier on the low one into
// the left filter and on the high one into the right.
struct SawTrio {
  double low, high;      // the outer saws' frequency ratios
  float outer, inner;    // a side's weight of its own outer saw and of the other side's
  float gain;
  int retuneMask;        // the filters are retuned every retuneMask + 1 samples
};

// `retune(fl, fr)` sets both filters; `step()` runs after every sample.
template <typename Retune, typename Step>
void RunSawTrio(Voice& v, float* L, float* R, int from, int to, float sr, const SawTrio& trio, Retune retune,
                Step step) {
  const double f = v.freq;
  const double dt0 = f * trio.low / sr, dt1 = f / sr, dt2 = f * trio.high / sr;
  for (int i = from; i < to; ++i) {
    if ((v.age & trio.retuneMask) == 0) retune(v.fl, v.fr);
    const float s0 = Saw(v.ph[0], dt0), s1 = Saw(v.ph[1], dt1), s2 = Saw(v.ph[2], dt2);
    v.ph[0] = Wrap(v.ph[0] + dt0);
    v.ph[1] = Wrap(v.ph[1] + dt1);
    v.ph[2] = Wrap(v.ph[2] + dt2);
    v.fl.Run(s0 * trio.outer + s1 * 0.5f + s2 * trio.inner);
    v.fr.Run(s0 * trio.inner + s1 * 0.5f + s2 * trio.outer);
    const float amp = v.env.Next(v.age < v.gate) * v.vel * trio.gain;
    L[i] += v.fl.lp * amp;
    R[i] += v.fr.lp * amp;
    step();
    ++v.age;
  }
}

void RunPad(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  // A slow LFO breathes through the filters.
  RunSawTrio(
      v, L, R, from, to, sr, SawTrio{0.9956, 1.0044, 0.65f, 0.35f, 0.3f, 31},
      [&](Svf& fl, Svf& fr) {
        const float fc = 650.0f * cut * (1.0f + 0.3f * Sin1(v.lfo)) + v.freq * 0.5f;
        fl.Set(fc, 0.8f, sr);
        fr.Set(fc * 1.07f, 0.8f, sr);
      },
      [&] { v.lfo += 0.09 / sr; });
  if (v.env.stage == 3) v.done = true;
}

void RunStab(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  // The filters close as the stab's envelope decays.
  RunSawTrio(
      v, L, R, from, to, sr, SawTrio{0.994, 1.006, 0.7f, 0.3f, 0.35f, 15},
      [&](Svf& fl, Svf& fr) {
        const float fc = (280.0f + 6500.0f * v.e1) * cut;
        fl.Set(fc, 1.1f, sr);
        fr.Set(fc, 1.1f, sr);
      },
      [&] { v.e1 *= v.m1; });
  if (v.env.stage == 3 || (v.env.stage == 1 && v.env.level < 1e-3f)) v.done = true;
}

void RunArp(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  const double dc = v.freq / sr, dm = 2.0 * v.freq / sr;
  const float depth = std::min(cut, 2.0f);
  for (int i = from; i < to; ++i) {
    const float index = (0.25f + 1.9f * v.e1) * depth;
    const float mod = Sin1(v.ph[1]) * index * (1.0f / 6.2831853f);
    const float x = Sin1(v.ph[0] + mod) * v.env.Next(v.age < v.gate) * v.vel * 0.5f;
    v.ph[0] += dc;
    v.ph[1] += dm;
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.env.stage == 3 || (v.env.stage == 1 && v.env.level < 1e-3f)) v.done = true;
}

void RunLead(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  for (int i = from; i < to; ++i) {
    const float t = static_cast<float>(v.age) / sr;
    const float vibDepth = std::clamp((t - 0.22f) * 2.5f, 0.0f, 1.0f) * 0.0055f;
    const float bend = 1.0f + vibDepth * Sin1(v.lfo);
    v.lfo += 5.3 / sr;
    const double dt = v.freq * bend / sr;
    if ((v.age & 15) == 0) {
      const float fc = (900.0f + 3200.0f * v.e1 * v.vel) * cut;
      v.fl.Set(fc, 1.3f, sr);
      v.fr.Set(fc, 1.3f, sr);
    }
    const float a = Saw(v.ph[0], dt * 0.997), b = Saw(v.ph[1], dt * 1.003);
    const float sq = Square(v.ph[2], dt * 0.5);
    v.ph[0] = Wrap(v.ph[0] + dt * 0.997);
    v.ph[1] = Wrap(v.ph[1] + dt * 1.003);
    v.ph[2] = Wrap(v.ph[2] + dt * 0.5);
    v.fl.Run(a * 0.7f + b * 0.3f + sq * 0.3f);
    v.fr.Run(a * 0.3f + b * 0.7f + sq * 0.3f);
    const float amp = v.env.Next(v.age < v.gate) * v.vel * 0.45f;
    L[i] += v.fl.lp * amp;
    R[i] += v.fr.lp * amp;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.env.stage == 3) v.done = true;
}

void RunBell(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  const double dc = v.freq / sr, dm = 3.5 * v.freq / sr, d2 = 2.001 * v.freq / sr;
  for (int i = from; i < to; ++i) {
    const float index = (0.3f + 2.2f * v.e1) * std::min(cut, 2.0f);
    const float mod = Sin1(v.ph[1]) * index * (1.0f / 6.2831853f);
    const float amp = v.env.Next(v.age < v.gate) * v.vel * 0.4f;
    const float x = (Sin1(v.ph[0] + mod) + 0.25f * Sin1(v.ph[2]) * v.e1) * amp;
    v.ph[0] += dc;
    v.ph[1] += dm;
    v.ph[2] += d2;
    L[i] += x;
    R[i] += x;
    v.e1 *= v.m1;
    ++v.age;
  }
  if (v.env.stage == 3 || (v.env.stage == 1 && v.env.level < 1e-3f)) v.done = true;
}

void RunRiser(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  const float len = static_cast<float>(std::max<int64_t>(v.gate, 1));
  for (int i = from; i < to; ++i) {
    const float p = std::min(1.0f, static_cast<float>(v.age) / len);
    if ((v.age & 31) == 0) {
      const float fc = 220.0f * static_cast<float>(std::exp(p * 3.6f)) * std::min(cut, 2.0f);
      v.fl.Set(fc, 2.2f, sr);
      v.fr.Set(fc * 1.05f, 2.2f, sr);
    }
    float amp = p * p;
    if (v.age >= v.gate) {
      amp = v.e1;
      v.e1 *= v.m1;
    }
    v.fl.Run(v.rng.Next());
    v.fr.Run(v.rng2.Next());
    L[i] += v.fl.bp * amp * v.vel;
    R[i] += v.fr.bp * amp * v.vel;
    ++v.age;
  }
  if (v.age >= v.gate && v.e1 < 1e-4f) v.done = true;
}

void RunVoice(Voice& v, float* L, float* R, int from, int to, float cut, float sr) {
  switch (v.kind) {
    case Kind::Kick: RunKick(v, L, R, from, to, sr); break;
    case Kind::Snare: RunSnare(v, L, R, from, to, sr); break;
    case Kind::Clap: RunClap(v, L, R, from, to, sr); break;
    case Kind::Hat:
    case Kind::OpenHat: RunHat(v, L, R, from, to); break;
    case Kind::Crash: RunCrash(v, L, R, from, to); break;
    case Kind::Bass: RunBass(v, L, R, from, to, cut, sr); break;
    case Kind::Pad: RunPad(v, L, R, from, to, cut, sr); break;
    case Kind::Arp: RunArp(v, L, R, from, to, cut, sr); break;
    case Kind::Lead: RunLead(v, L, R, from, to, cut, sr); break;
    case Kind::Bell: RunBell(v, L, R, from, to, cut, sr); break;
    case Kind::Stab: RunStab(v, L, R, from, to, cut, sr); break;
    case Kind::Riser: RunRiser(v, L, R, from, to, cut, sr); break;
    case Kind::Master: v.done = true; break;
  }
}

// Gain and filter scale of a track at sample t: the latest segment that has started, moving
// linearly over its span and holding its last value after it.
void LaneAt(const std::vector<LaneSegment>& lane, int64_t t, float& gain, float& cut) {
  auto it = std::upper_bound(lane.begin(), lane.end(), t,
                             [](int64_t v, const LaneSegment& s) { return v < s.start; });
  if (it == lane.begin()) {
    gain = 1.0f;
    cut = 1.0f;
    return;
  }
  --it;
  if (t >= it->end || it->end <= it->start) {
    gain = it->gain.to;
    cut = it->cut.to;
    return;
  }
  const float u = static_cast<float>(static_cast<double>(t - it->start) / static_cast<double>(it->end - it->start));
  gain = it->gain.from + (it->gain.to - it->gain.from) * u;
  cut = it->cut.from + (it->cut.to - it->cut.from) * u;
}

// Stereo ping-pong delay with a darkened feedback path.
struct PingPong {
  std::vector<float> l, r;
  size_t pos = 0;
  float fb = 0.42f, lpL = 0, lpR = 0;
  explicit PingPong(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
  void Run(float in, float& outL, float& outR) {
    const float yl = l[pos], yr = r[pos];
    lpL += (yr - lpL) * 0.35f;
    lpR += (yl - lpR) * 0.35f;
    l[pos] = in + lpL * fb;
    r[pos] = lpR * fb;
    if (++pos == l.size()) pos = 0;
    outL = yl;
    outR = yr;
  }
};

struct Comb {
  std::vector<float> buf;
  size_t pos = 0;
  float store = 0;
  float Run(float in, float feedback, float damp) {
    const float out = buf[pos];
    store = out * (1.0f - damp) + store * damp;
    buf[pos] = in + store * feedback;
    if (++pos == buf.size()) pos = 0;
    return out;
  }
};

struct Allpass {
  std::vector<float> buf;
  size_t pos = 0;
  float Run(float in) {
    const float b = buf[pos];
    buf[pos] = in + b * 0.5f;
    if (++pos == buf.size()) pos = 0;
    return b - in;
  }
};

// A Schroeder-Moorer reverb: eight damped combs and four allpasses per side, the right side
// tuned a little longer for width.
struct Reverb {
  Comb combL[8], combR[8];
  Allpass apL[4], apR[4];
  float feedback = 0.84f, damp = 0.3f;
  explicit Reverb(float sr) {
    static const int kComb[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAp[4] = {556, 441, 341, 225};
    const double scale = sr / 44100.0;
    for (int i = 0; i < 8; ++i) {
      combL[i].buf.assign(static_cast<size_t>(kComb[i] * scale), 0.0f);
      combR[i].buf.assign(static_cast<size_t>((kComb[i] + 23) * scale), 0.0f);
    }
    for (int i = 0; i < 4; ++i) {
      apL[i].buf.assign(static_cast<size_t>(kAp[i] * scale), 0.0f);
      apR[i].buf.assign(static_cast<size_t>((kAp[i] + 23) * scale), 0.0f);
    }
  }
  void Run(float inL, float inR, float& outL, float& outR) {
    const float in = (inL + inR) * 0.015f + 1e-18f;
    float l = 0, r = 0;
    for (int i = 0; i < 8; ++i) {
      l += combL[i].Run(in, feedback, damp);
      r += combR[i].Run(in, feedback, damp);
    }
    for (int i = 0; i < 4; ++i) {
      l = apL[i].Run(l);
      r = apR[i].Run(r);
    }
    outL = l;
    outR = r;
  }
};

// Look-ahead limiter over the whole mix: the gain at each frame is the average over the
// look-ahead window of a release-smoothed minimum of the gains the coming frames need, so it
// is never above what any frame in reach needs and the output never passes the ceiling.
void Limit(std::vector<float>& mix, int64_t frames, float ceiling, float sr, RenderStats* stats) {
  const int64_t la = static_cast<int64_t>(0.002f * sr);
  std::vector<float> need(static_cast<size_t>(frames));
  float peak = 0.0f;
  std::vector<float> secondPeaks(static_cast<size_t>((frames + static_cast<int64_t>(sr) - 1) / static_cast<int64_t>(sr)), 0.0f);
  for (int64_t i = 0; i < frames; ++i) {
    float a = std::max(std::fabs(mix[2 * i]), std::fabs(mix[2 * i + 1]));
    if (!std::isfinite(a)) a = 0.0f;
    peak = std::max(peak, a);
    float& sp = secondPeaks[static_cast<size_t>(i / static_cast<int64_t>(sr))];
    sp = std::max(sp, a);
    need[i] = a > ceiling ? ceiling / a : 1.0f;
  }
  // Minimum over [i, i + la) (a monotonic queue keeps this linear).
  std::vector<float> held(static_cast<size_t>(frames));
  std::vector<int64_t> q(static_cast<size_t>(frames) + 1);
  size_t qh = 0, qt = 0;
  int64_t next = 0;
  for (int64_t i = 0; i < frames; ++i) {
    while (next < frames && next < i + la) {
      while (qt > qh && need[q[qt - 1]] >= need[next]) --qt;
      q[qt++] = next++;
    }
    while (q[qh] < i) ++qh;
    held[i] = need[q[qh]];
  }
  const float rel = 1.0f - DecayPerSample(0.12f, sr);
  float g = 1.0f;
  for (int64_t i = 0; i < frames; ++i) {
    g = held[i] < g ? held[i] : g + (held[i] - g) * rel;
    held[i] = g;
  }
  // Box average over [i - la + 1, i].
  double sum = 0.0;
  float minGain = 1.0f;
  int64_t limited = 0;
  std::vector<float> avg(static_cast<size_t>(frames));
  for (int64_t i = 0; i < frames; ++i) {
    sum += held[i];
    if (i >= la) sum -= held[i - la];
    const int64_t n = std::min<int64_t>(i + 1, la);
    // Frames before the first full window count as 1.0 (no reduction needed before the start).
    const float gi = static_cast<float>((sum + static_cast<double>(la - n)) / static_cast<double>(la));
    avg[i] = std::min(gi, need[i]);
  }
  for (int64_t i = 0; i < frames; ++i) {
    mix[2 * i] *= avg[i];
    mix[2 * i + 1] *= avg[i];
    minGain = std::min(minGain, avg[i]);
    if (avg[i] < 0.891f) ++limited;
  }
  if (stats) {
    stats->peakIn = peak;
    stats->minGain = minGain;
    stats->limitedFrames = limited;
    stats->secondPeaks = std::move(secondPeaks);
  }
}

}  // namespace

int64_t Render(const Song& song, const Arrangement& arr, const RenderOptions& opt, std::vector<int16_t>& pcm,
               RenderStats* stats) {
  const float sr = static_cast<float>(arr.sampleRate);
  const int64_t total = arr.totalSamples;
  const int64_t outFrames = opt.frames < 0 ? total : std::min(total, opt.frames);
  // Render a little past the excerpt so the limiter sees what comes next, as in a full render.
  const int64_t frames = std::min(total, outFrames + static_cast<int64_t>(0.01f * sr));
  const size_t nTracks = song.tracks.size();
  const bool solo = opt.soloTrack >= 0;

  std::vector<float> mix(static_cast<size_t>(frames) * 2, 0.0f);
  std::vector<std::vector<Voice>> voices(nTracks);
  int master = -1;
  std::vector<int64_t> kicks;
  for (size_t t = 0; t < nTracks; ++t) {
    if (song.tracks[t].kind == Kind::Master && master < 0) master = static_cast<int>(t);
  }
  for (const NoteEvent& n : arr.notes) {
    if (song.tracks[n.track].kind == Kind::Kick) kicks.push_back(n.start);
  }

  PingPong delay(static_cast<size_t>(std::lround(0.375 * sr)));  // a dotted eighth at 120 bpm
  Reverb reverb(sr);
  float tL[kBlock], tR[kBlock], dSend[kBlock], rL[kBlock], rR[kBlock], duck[kBlock];
  float dcxL = 0, dcyL = 0, dcxR = 0, dcyR = 0;
  const float dcR = 1.0f - static_cast<float>(2.0 * kPi * 20.0 / sr);
  size_t nextNote = 0;
  size_t kickIdx = 0;

  for (int64_t b0 = 0; b0 < frames; b0 += kBlock) {
    const int n = static_cast<int>(std::min<int64_t>(kBlock, frames - b0));
    const int64_t b1 = b0 + n;
    std::fill(dSend, dSend + n, 0.0f);
    std::fill(rL, rL + n, 0.0f);
    std::fill(rR, rR + n, 0.0f);
    float* out = &mix[static_cast<size_t>(b0) * 2];

    // Side-chain shape: dips right after each kick and comes back over about 200 ms.
    for (int i = 0; i < n; ++i) {
      const int64_t t = b0 + i;
      while (kickIdx + 1 < kicks.size() && kicks[kickIdx + 1] <= t) ++kickIdx;
      float d = 0.0f;
      if (!kicks.empty() && kicks[kickIdx] <= t) {
        const float age = static_cast<float>(t - kicks[kickIdx]);
        const float att = 0.004f * sr;
        d = age < att ? age / att : std::exp(-(age - att) / (0.09f * sr));
      }
      duck[i] = d;
    }

    while (nextNote < arr.notes.size() && arr.notes[nextNote].start < b1) {
      const NoteEvent& e = arr.notes[nextNote];
      if (e.start + e.length > 0 && (!solo || e.track == opt.soloTrack) &&
          song.tracks[e.track].kind != Kind::Master) {
        Voice v;
        StartVoice(v, e, song.tracks[e.track].kind, static_cast<uint32_t>(nextNote + 1), sr);
        voices[e.track].push_back(v);
      }
      ++nextNote;
    }

    for (size_t t = 0; t < nTracks; ++t) {
      if (voices[t].empty()) continue;
      const Track& tr = song.tracks[t];
      float g0, c0, g1, c1;
      LaneAt(arr.lanes[t], b0, g0, c0);
      LaneAt(arr.lanes[t], b1, g1, c1);
      std::fill(tL, tL + n, 0.0f);
      std::fill(tR, tR + n, 0.0f);
      for (Voice& v : voices[t]) {
        const int from = static_cast<int>(std::max<int64_t>(0, v.start - b0));
        RunVoice(v, tL, tR, from, n, c0, sr);
      }
      voices[t].erase(std::remove_if(voices[t].begin(), voices[t].end(), [](const Voice& v) { return v.done; }),
                      voices[t].end());
      const double angle = (static_cast<double>(tr.pan) + 1.0) * kPi * 0.25;
      const float pl = static_cast<float>(std::cos(angle) * std::sqrt(2.0));
      const float pr = static_cast<float>(std::sin(angle) * std::sqrt(2.0));
      for (int i = 0; i < n; ++i) {
        float g = (g0 + (g1 - g0) * (static_cast<float>(i) / static_cast<float>(n))) * tr.gain;
        if (!solo) g *= 1.0f - tr.duck * duck[i];
        const float l = tL[i] * g * pl, r = tR[i] * g * pr;
        out[2 * i] += l;
        out[2 * i + 1] += r;
        dSend[i] += (l + r) * 0.5f * tr.delay;
        rL[i] += l * tr.reverb;
        rR[i] += r * tr.reverb;
      }
    }

    if (solo) continue;
    float mg0 = 1.0f, mg1 = 1.0f, unused;
    if (master >= 0) {
      LaneAt(arr.lanes[master], b0, mg0, unused);
      LaneAt(arr.lanes[master], b1, mg1, unused);
      mg0 *= song.tracks[master].gain;
      mg1 *= song.tracks[master].gain;
    }
    for (int i = 0; i < n; ++i) {
      float dl, dr, vl, vr;
      delay.Run(dSend[i] + 1e-18f, dl, dr);
      reverb.Run(rL[i] + dl * 0.25f, rR[i] + dr * 0.25f, vl, vr);
      const float mg = mg0 + (mg1 - mg0) * (static_cast<float>(i) / static_cast<float>(n));
      const float l = (out[2 * i] + dl + vl * 2.5f) * mg;
      const float r = (out[2 * i + 1] + dr + vr * 2.5f) * mg;
      dcyL = l - dcxL + dcR * dcyL;
      dcxL = l;
      dcyR = r - dcxR + dcR * dcyR;
      dcxR = r;
      out[2 * i] = dcyL;
      out[2 * i + 1] = dcyR;
    }
  }

  Limit(mix, frames, opt.ceiling, sr, stats);
  pcm.resize(static_cast<size_t>(outFrames) * 2);
  int64_t nonFinite = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    float x = mix[i];
    if (!std::isfinite(x)) {
      x = 0.0f;
      ++nonFinite;
    }
    x = std::clamp(x, -1.0f, 1.0f) * 32767.0f;
    pcm[i] = static_cast<int16_t>(std::lround(x));
  }
  if (stats) stats->nonFinite = nonFinite;
  return outFrames;
}
