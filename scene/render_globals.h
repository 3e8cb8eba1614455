// The process-wide values the scene renderer reads and the part renderer sets: the clipping
// planes and whether see-through textured groups keep back-face culling.
// One instance per process (CurrentRenderGlobals); tests install their own values and put the
// old ones back (RenderGlobalsScope).
//
//   CurrentRenderGlobals().NearPlane = 1.0f;
//   scene.Render(frame, nullptr);
#pragma once

#include <cstdint>

struct RenderGlobals {
  float NearPlane = 2.0f;
  float FarPlane = 10000.0f;
  int32_t TransparentCulling = 0;  // 1: see-through textured groups stay back-face culled
};

RenderGlobals& CurrentRenderGlobals();

// Installs values for the lifetime of the object, restoring the previous ones after.
class RenderGlobalsScope {
 public:
  explicit RenderGlobalsScope(const RenderGlobals& values) : saved_(CurrentRenderGlobals()) {
    CurrentRenderGlobals() = values;
  }
  ~RenderGlobalsScope() { CurrentRenderGlobals() = saved_; }
  RenderGlobalsScope(const RenderGlobalsScope&) = delete;
  RenderGlobalsScope& operator=(const RenderGlobalsScope&) = delete;

 private:
  RenderGlobals saved_;
};
