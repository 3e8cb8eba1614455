#include "scene/render_globals.h"

RenderGlobals& CurrentRenderGlobals() {
  static RenderGlobals globals;
  return globals;
}
