// Scheduling priority for the audio refill thread.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include "platform/audio_device.h"

bool RaiseCurrentThreadPriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  if (param.sched_priority > 0 && pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
    return true;
  // Without real-time rights: the best nice value this process may take (per thread on Linux).
  for (int nice = -20; nice < 0; ++nice)
    if (setpriority(PRIO_PROCESS, 0, nice) == 0) return true;
  return false;
}
