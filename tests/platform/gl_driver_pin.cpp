// Keeps Mesa's software GL driver loaded for the whole test run. SDL unloads its GL stack each
// time the last GL window closes; Mesa's driver then goes away with its globals still pointing
// at memory it set up, and the leak checker of the sanitizer build reports that memory. Loading
// the driver once more, never to be unloaded, keeps those pointers visible. Without the driver
// file (another GL stack) this does nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class PinGlDriver : public testing::Environment {
 public:
  void SetUp() override {
    std::string dirs;
    if (const char* env = std::getenv("LIBGL_DRIVERS_PATH")) dirs = std::string(env) + ":";
    dirs += "/usr/lib/x86_64-linux-gnu/dri:/usr/lib/aarch64-linux-gnu/dri:/usr/lib64/dri:/usr/lib/dri";
    size_t start = 0;
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      const std::string path = dirs.substr(start, end - start) + "/swrast_dri.so";
      if (dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE)) return;
      start = end + 1;
    }
  }
};

const testing::Environment* const kPin = testing::AddGlobalTestEnvironment(new PinGlDriver);

}  // namespace
