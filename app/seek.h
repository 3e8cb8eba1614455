// Seeking: the timeline replayed from the start without drawing, so that what the show
// changes as it goes (fading styles, cameras chosen by name, the current part and its frames)
// is as a full run would leave it at the given time.
#pragma once

#include "app/main_loop.h"
#include "app/show_session.h"

// Replays frames at k / fps seconds for every k with k / fps < seconds and returns where the
// loop stands. The next frame can be drawn by continuing RunTimeline from the returned state.
TimelineState ReplayTimeline(ShowSession& session, double seconds, double fps = 60.0);
