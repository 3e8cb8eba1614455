// The show's timeline: one PartPlan per script entry, with its chained scenes and effects. The
// script and the scenes are both made from it, so the scenes' animation covers exactly the
// show time in which each scene is on screen.
//
//   std::vector<PartPlan> parts = ShowTimeline();
//   std::string script = ScriptText(parts);   // CR LF lines
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "show/part_rules.h"

// A start frame of kContinuous is resolved by ResolveStartFrames: an effect starts at the part's
// start time in frames, so its motion runs on with the show's clock; a scene starts where its
// previous appearance left off, so every scene has its own clock that runs only while it is on
// screen and each return continues the flight.
constexpr int32_t kContinuous = INT32_MIN;

struct ChainPlan {
  bool effect = false;
  std::string name;     // scene file or effect name
  std::string camera;   // scenes
  std::string texture;  // effects
  int32_t startFrame = kContinuous;
  int32_t speed = 0, fieldOfView = 0;  // effects
  // Effects: frames added to the show's clock. The sprite field wanders between an open spread
  // and a dense knot of sprites piled up in front of the camera; a few seconds' shift shows the
  // open spread, which a software renderer fills at full frame rate.
  int32_t shift = 0;
};

struct PartPlan {
  std::string scene;
  int32_t endMs = 0;
  int32_t startMs = 0;  // the previous part's end
  int32_t startFrame = kContinuous;
  std::string camera;
  std::string background = "standard", foreground = "standard";
  std::vector<ChainPlan> chain;
};

// The timeline with every start frame resolved.
std::vector<PartPlan> ShowTimeline();
// Frames of its own clock each scene is on screen for (the logo scene not included).
std::map<std::string, int32_t> SceneDurations(const std::vector<PartPlan>& parts);

// The logo scene and the parts it is drawn over.
constexpr int kLogoFirstPart = kLogoParts.first, kLogoLastPart = kLogoParts.last;
