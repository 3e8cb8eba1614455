// The units of the show's clock. Show time runs in seconds; part and scene time run in frames at
// 30 per second of measured frame time, whatever the display's frame rate; the see-through
// style of a late part fades by 0.055 opacity per second of frame time.
//
//   partFrames += frameSeconds * kFramesPerSecond;
//   renderer.RenderPart(part, partFrames, showTime, frameSeconds * kOpacityStepPerSecond);
#pragma once

inline constexpr float kFramesPerSecond = 30.0f;
inline constexpr float kOpacityStepPerSecond = 0.055f;
