#include "tools/contentgen/timeline.h"

#include <algorithm>

namespace {

ChainPlan Scene(const std::string& name, const std::string& camera, int32_t startFrame = kContinuous) {
  ChainPlan c;
  c.name = name;
  c.camera = camera;
  c.startFrame = startFrame;
  return c;
}

ChainPlan Effect(const std::string& name, const std::string& texture, int32_t speed, int32_t fov,
                 int32_t startFrame = kContinuous) {
  ChainPlan c;
  c.effect = true;
  c.name = name;
  c.texture = texture;
  c.speed = speed;
  c.fieldOfView = fov;
  c.startFrame = startFrame;
  return c;
}

// The sprite field ("droid3", field of view fixed at 90), its clock shifted by `shift` frames.
ChainPlan Sprites(const std::string& texture, int32_t speed, int32_t shift) {
  ChainPlan c = Effect("droid3", texture, speed, 90);
  c.shift = shift;
  return c;
}

struct Builder {
  std::vector<PartPlan> parts;
  PartPlan& Part(const std::string& scene, const std::string& camera, int32_t endMs,
                 const std::string& background = "standard", const std::string& foreground = "standard") {
    PartPlan p;
    p.scene = scene;
    p.camera = camera;
    p.startMs = parts.empty() ? 0 : parts.back().endMs;
    p.endMs = endMs;
    p.background = background;
    p.foreground = foreground;
    parts.push_back(p);
    return parts.back();
  }
};

}  // namespace

void ResolveStartFrames(std::vector<PartPlan>* parts, std::map<std::string, int32_t>* durations);

std::vector<PartPlan> ShowTimeline() {
  Builder b;
  // Intro, 0 - 20.5 s: the title over a slow flight; glass in part 1; the first tunnel rings.
  b.Part("intro.scx", "cam_fly", 4000, "sky.jpg", "presents.png");                      // 0
  b.Part("glass.scx", "cam_glass", 6000, "nebula.jpg");                                 // 1: culled glass
  b.Part("intro.scx", "cam_fly", 8000, "sky.jpg", "title.png");                         // 2
  b.Part("intro.scx", "cam_low", 9000, "sky.jpg", "title.png");                         // 3
  b.Part("glass.scx", "cam_spin", 10000, "nebula.jpg");                                 // 4
  b.Part("intro.scx", "cam_fly", 11000, "sky.jpg");                                     // 5
  b.Part("intro.scx", "cam_high", 12000, "sky.jpg");                                    // 6
  b.Part("shaft.scx", "cam_shaft", 13000).chain = {Effect("tunnel", "rings.png", 120, 80)};  // 7
  b.Part("intro.scx", "cam_low", 14000, "sky.jpg");                                     // 8
  b.Part("glass.scx", "cam_glass", 15000, "nebula.jpg");                                // 9
  b.Part("shaft.scx", "cam_shaft", 16000).chain = {Effect("tunnel", "rings.png", 160, 80)};  // 10
  b.Part("intro.scx", "cam_fly", 17000, "stars.jpg").chain = {Scene("glass.scx", "cam_spin")};  // 11
  b.Part("shaft.scx", "cam_shaft", 18000).chain = {Effect("tunnel", "rings.png", 200, 80)};  // 12
  b.Part("intro.scx", "cam_high", 19000, "stars.jpg");                                  // 13
  b.Part("shaft.scx", "cam_shaft", 19500).chain = {Effect("tunnel", "flare.png", 260, 90)};  // 14
  b.Part("shaft.scx", "cam_dive", 20500).chain = {Effect("tunnel", "flare.png", 320, 100)};  // 15

  // Logo ride, 20.5 - 90 s: the logo rides over everything.
  b.Part("city.scx", "cam_street", 24000, "sky.jpg");                                   // 16: logo arrives
  b.Part("city.scx", "cam_street", 28000, "sky.jpg");                                   // 17
  b.Part("knots.scx", "cam_knots", 30000, "nebula.jpg");                                // 18
  b.Part("city.scx", "cam_top", 32000, "sky.jpg");                                      // 19
  b.Part("knots.scx", "cam_zoom", 34000, "nebula.jpg");                                 // 20
  b.Part("city.scx", "cam_orbit", 38000, "sky.jpg").chain = {Effect("droid3", "sparkle.png", 1000, 90)};  // 21
  b.Part("starfield.scx", "cam_star", 40000, "stars.jpg").chain = {Effect("droid1", "flare.png", 200, 90)};  // 22
  b.Part("city.scx", "cam_street", 42000, "sky.jpg");                                   // 23
  b.Part("knots.scx", "cam_knots", 44000, "nebula.jpg").chain = {Sprites("glow.png", 1000, 15)};  // 24
  b.Part("city.scx", "cam_top", 48000, "sky.jpg");                                      // 25
  b.Part("starfield.scx", "cam_star", 50000, "stars.jpg").chain = {Effect("droid1", "rings.png", 240, 90)};  // 26
  b.Part("knots.scx", "cam_zoom", 52000, "nebula.jpg");                                 // 27
  b.Part("city.scx", "cam_orbit", 56000, "dusk.jpg").chain = {Sprites("sparkle.png", 1000, 45)};  // 28
  b.Part("starfield.scx", "cam_star", 58000, "stars.jpg").chain = {Effect("droid1", "flare.png", 280, 80)};  // 29
  b.Part("city.scx", "cam_street", 60000, "dusk.jpg");                                  // 30
  b.Part("knots.scx", "cam_knots", 64000, "nebula.jpg").chain = {Scene("starfield.scx", "cam_star")};  // 31
  b.Part("city.scx", "cam_top", 66000, "dusk.jpg");                                     // 32
  b.Part("starfield.scx", "cam_star", 68000, "stars.jpg").chain = {Effect("droid1", "rings.png", 300, 90)};  // 33
  b.Part("knots.scx", "cam_zoom", 72000, "nebula.jpg").chain = {Sprites("violetglow.png", 1000, -45)};  // 34
  b.Part("city.scx", "cam_orbit", 74000, "dusk.jpg");                                   // 35
  b.Part("city.scx", "cam_street", 78000, "dusk.jpg").chain = {Sprites("sparkle.png", 1000, 60)};  // 36
  b.Part("starfield.scx", "cam_star", 80000, "stars.jpg").chain = {Effect("droid1", "flare.png", 320, 90)};  // 37
  b.Part("knots.scx", "cam_knots", 84000, "nebula.jpg");                                // 38
  b.Part("city.scx", "cam_top", 86000, "dusk.jpg");                                     // 39
  b.Part("starfield.scx", "cam_star", 90000, "stars.jpg").chain = {Effect("droid1", "rings.png", 360, 90)};  // 40: logo leaves

  // Main, 90 - 140 s: the landscape, lit rooms with a morphing object, the temple.
  b.Part("landscape.scx", "cam_valley", 93000, "dusk.jpg");                            // 41
  b.Part("orbs.scx", "cam_orbs", 96000);                                                // 42
  b.Part("knots.scx", "cam_knots", 99000, "nebula.jpg");                                // 43
  b.Part("orbs.scx", "cam_close", 102000);                                              // 44
  b.Part("temple.scx", "cam_nave", 104000, "sky.jpg");                                  // 45
  b.Part("orbs.scx", "cam_orbs", 106000).chain = {Sprites("glow.png", 1000, -90)};  // 46
  b.Part("landscape.scx", "cam_valley", 108000, "dusk.jpg");                            // 47
  b.Part("landscape.scx", "cam_ridge", 114000, "dusk.jpg");                             // 48: near 20, far 4500
  b.Part("orbs.scx", "cam_close", 117000);                                              // 49
  b.Part("knots.scx", "cam_zoom", 120000, "nebula.jpg").chain = {Scene("orbs.scx", "cam_orbs")};  // 50
  b.Part("temple.scx", "cam_nave", 123000, "sky.jpg");                                  // 51
  b.Part("orbs.scx", "cam_orbs", 126000, "stars.jpg");                                  // 52
  b.Part("landscape.scx", "cam_valley", 129000, "dusk.jpg").chain = {Effect("droid1", "flare.png", 240, 90)};  // 53
  b.Part("orbs.scx", "cam_close", 132000);                                              // 54
  b.Part("temple.scx", "cam_aisle", 135000, "sky.jpg");                                 // 55
  b.Part("temple.scx", "cam_columns", 140000, "sky.jpg");                               // 56: near 10

  // Two hits: "2.jpg" and "4.jpg" flash, then the frame goes dark.
  b.Part("star.scx", "cam_hit", 142000, "nebula.jpg");                                  // 57
  b.Part("star.scx", "cam_hit2", 144000, "nebula.jpg");                                 // 58

  // Macro, 144 - 185 s: tiny worlds, near plane 0.05.
  b.Part("macro.scx", "cam_crystal", 148000, "haze.jpg", "small.png");                  // 59
  b.Part("macro.scx", "cam_board", 152000, "nebula.jpg");                                             // 60
  b.Part("macro.scx", "cam_seed", 156000, "stars.jpg");                                              // 61
  b.Part("macro.scx", "cam_crystal", 160000, "haze.jpg");                                           // 62
  b.Part("macro.scx", "cam_board", 164000).chain = {Sprites("sparkle.png", 600, 60)};  // 63
  b.Part("macro.scx", "cam_seed", 168000, "stars.jpg");                                              // 64
  b.Part("macro.scx", "cam_crystal", 172000, "haze.jpg");                                           // 65
  b.Part("macro.scx", "cam_board", 176000, "nebula.jpg");                                             // 66
  b.Part("macro.scx", "cam_seed", 180000, "stars.jpg").chain = {Sprites("glow.png", 600, 120)};  // 67
  b.Part("macro.scx", "cam_crystal", 182500, "haze.jpg");                                           // 68
  b.Part("macro.scx", "cam_seed", 185000, "stars.jpg");                                              // 69: 5 frames behind

  // Build, 185 - 242 s: rising; the cage vanishes on the drop at 239 s.
  b.Part("shaft.scx", "cam_shaft", 189000, "standard", "rise.png").chain = {Effect("tunnel", "rings.png", 300, 90)};  // 70
  b.Part("city.scx", "cam_street", 193000, "dusk.jpg").chain = {Scene("cage.scx", "cam_cage")};  // 71
  b.Part("knots.scx", "cam_zoom", 197000, "nebula.jpg").chain = {Sprites("sparkle.png", 1400, 15)};  // 72
  b.Part("shaft.scx", "cam_dive", 201000).chain = {Effect("tunnel", "flare.png", 360, 90)};  // 73
  b.Part("city.scx", "cam_top", 205000, "dusk.jpg").chain = {Scene("cage.scx", "cam_cage")};  // 74
  b.Part("starfield.scx", "cam_star", 209000, "stars.jpg").chain = {Effect("droid1", "flare.png", 400, 90)};  // 75
  b.Part("orbs.scx", "cam_orbs", 213000).chain = {Scene("cage.scx", "cam_cage")};       // 76
  b.Part("knots.scx", "cam_knots", 217000, "nebula.jpg").chain = {Effect("droid1", "rings.png", 420, 100)};  // 77
  b.Part("shaft.scx", "cam_shaft", 221000).chain = {Effect("tunnel", "rings.png", 460, 100)};  // 78
  b.Part("city.scx", "cam_orbit", 225000, "dusk.jpg").chain = {Effect("droid2", "flare.png", 0, 90)};  // 79: flicker
  b.Part("starfield.scx", "cam_star", 229000, "stars.jpg").chain = {Effect("droid2", "rings.png", 0, 100)};  // 80
  b.Part("shaft.scx", "cam_dive", 232000).chain = {Effect("droid2", "flare.png", 0, 110)};  // 81
  b.Part("knots.scx", "cam_zoom", 235000, "nebula.jpg").chain = {Effect("droid2", "rings.png", 0, 110)};  // 82
  b.Part("city.scx", "cam_top", 242000, "dusk.jpg").chain = {Scene("cage.scx", "cam_cage"),
                                                              Effect("droid1", "flare.png", 500, 100)};  // 83

  // Climax, 242 - 269 s: everything at once.
  b.Part("star.scx", "cam_hero", 246000, "nebula.jpg", "title.png")
      .chain = {Effect("droid1", "flare.png", 500, 100), Sprites("sparkle.png", 1500, 108)};  // 84
  b.Part("orbs.scx", "cam_orbs", 250000, "stars.jpg")
      .chain = {Effect("tunnel", "rings.png", 500, 100), Scene("knots.scx", "cam_knots")};  // 85
  b.Part("city.scx", "cam_orbit", 255000, "dusk.jpg")
      .chain = {Sprites("glow.png", 1500, 66), Scene("star.scx", "cam_hero")};  // 86
  b.Part("landscape.scx", "cam_valley", 260000, "dusk.jpg")
      .chain = {Effect("droid1", "flare.png", 520, 100), Scene("cage.scx", "cam_cage")};  // 87
  b.Part("knots.scx", "cam_zoom", 265000, "nebula.jpg")
      .chain = {Scene("orbs.scx", "cam_close"), Effect("droid3", "sparkle.png", 1500, 90)};  // 88
  b.Part("star.scx", "cam_hero", 269000, "nebula.jpg", "title.png")
      .chain = {Effect("tunnel", "flare.png", 560, 110), Sprites("glow.png", 1500, -144)};  // 89

  // Outro, 269 - 285 s: the city dissolves under the credits; fade to black.
  auto outro = [](const std::string& texture, int32_t shift) {
    return std::vector<ChainPlan>{Sprites(texture, 700, shift), Scene("city_dusk.scx", "cam_leave")};
  };
  b.Part("star.scx", "cam_far", 274500, "dusk.jpg", "credits1.png").chain = outro("sparkle.png", -105);  // 90
  b.Part("star.scx", "cam_far", 279500, "dusk.jpg", "credits2.png").chain = outro("violetglow.png", 105);  // 91
  b.Part("star.scx", "cam_far", 285000, "dusk.jpg", "credits3.png").chain = outro("sparkle.png", 0);  // 92
  // The last entry is never drawn: reaching it ends the show.
  b.Part("star.scx", "cam_far", 290000);  // 93
  ResolveStartFrames(&b.parts, nullptr);
  return b.parts;
}

void ResolveStartFrames(std::vector<PartPlan>* parts, std::map<std::string, int32_t>* durations) {
  std::map<std::string, int32_t> clock;
  for (PartPlan& p : *parts) {
    int32_t frames = (p.endMs - p.startMs) * 3 / 100;
    auto scene = [&](const std::string& name, int32_t* start) {
      if (*start == kContinuous) *start = clock[name];
      clock[name] = std::max(clock[name], *start + frames);
    };
    scene(p.scene, &p.startFrame);
    for (ChainPlan& c : p.chain) {
      if (c.effect) {
        if (c.startFrame == kContinuous) c.startFrame = p.startMs * 3 / 100 + c.shift;
      } else {
        scene(c.name, &c.startFrame);
      }
    }
  }
  if (durations) *durations = clock;
}

std::map<std::string, int32_t> SceneDurations(const std::vector<PartPlan>& parts) {
  std::map<std::string, int32_t> d;
  for (const PartPlan& p : parts) {
    int32_t frames = (p.endMs - p.startMs) * 3 / 100;
    d[p.scene] = std::max(d[p.scene], p.startFrame + frames);
    for (const ChainPlan& c : p.chain)
      if (!c.effect) d[c.name] = std::max(d[c.name], c.startFrame + frames);
  }
  return d;
}
