// Human-readable summaries of a loaded scene, for the scene tool and diagnostics: the node tree
// with key counts and frame ranges per track, mesh sizes, the materials with their maps and style
// codes, the camera and its target, the light count; and the warnings a scene that loaded
// cleanly may still deserve (no camera, a camera without a target, more lights than GL has).
//
//   std::string text = DescribeScene(scene);
//   for (const std::string& w : SceneWarnings(scene)) ...
#pragma once

#include <string>
#include <vector>

class Scene;

std::string DescribeScene(const Scene& scene);
std::vector<std::string> SceneWarnings(const Scene& scene);
