#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool ParseLong(const std::string& text, long lo, long hi, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || value < lo || value > hi) return false;
  *out = value;
  return true;
}

bool ParseSeconds(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (*end != 0 || !std::isfinite(value) || value < 0.0 || value > 86400.0) return false;
  *out = value;
  return true;
}

bool ParseSize(const std::string& text, int* w, int* h) {
  size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  long a, b;
  if (!ParseLong(text.substr(0, x), 1, 16384, &a) || !ParseLong(text.substr(x + 1), 1, 16384, &b)) return false;
  *w = static_cast<int>(a);
  *h = static_cast<int>(b);
  return true;
}

// The switches that only turn something on; null for any other name.
bool* SwitchOf(const std::string& name, DemoOptions* o) {
  if (name == "--help" || name == "-h") return &o->help;
  if (name == "--version") return &o->version;
  if (name == "--no-sound") return &o->noSound;
  if (name == "--loop") return &o->loop;
  if (name == "--no-launcher") return &o->noLauncher;
  if (name == "--info") return &o->info;
  if (name == "--no-archive") return &o->noArchive;
  if (name == "--verbose") return &o->verbose;
  if (name == "--headless") return &o->headless;
  if (name == "--edit") return &o->edit;
  if (name == "--no-vsync") return &o->noVsync;
  return nullptr;
}

bool TakesValue(const std::string& name) {
  for (const char* known : {"--mode", "--data-dir", "--render", "--from", "--to", "--start", "--frame", "--export",
                            "--frames", "--size", "--fps"}) {
    if (name == known) return true;
  }
  return false;
}

// Sets the option `name` (one that TakesValue) from its value; false with *why set when the
// value does not fit.
bool SetValue(const std::string& name, const std::string& v, DemoOptions* o, std::string* why) {
  if (name == "--mode") {
    long mode;
    if (!ParseLong(v, 0, 3, &mode)) {
      *why = "--mode wants 0, 1, 2 or 3, not '" + v + "'";
      return false;
    }
    o->mode = static_cast<int>(mode);
    o->modeGiven = true;
  } else if (name == "--data-dir" || name == "--export") {
    if (v.empty()) {
      *why = name + " wants a directory";
      return false;
    }
    (name == "--data-dir" ? o->dataDir : o->exportDir) = v;
  } else if (name == "--render") {
    if (v.empty()) {
      *why = "--render wants an output file or directory";
      return false;
    }
    o->renderOut = v;
  } else if (name == "--from" || name == "--to" || name == "--start" || name == "--frame") {
    double seconds;
    if (!ParseSeconds(v, &seconds)) {
      *why = name + " wants a time in seconds, not '" + v + "'";
      return false;
    }
    (name == "--from" ? o->from : name == "--to" ? o->to : name == "--start" ? o->start : o->frameAt) = seconds;
  } else if (name == "--frames") {
    long frames;
    if (!ParseLong(v, 0, 100000000L, &frames)) {
      *why = "--frames wants a count of frames, not '" + v + "'";
      return false;
    }
    o->frames = frames;
  } else if (name == "--size") {
    if (!ParseSize(v, &o->width, &o->height)) {
      *why = "--size wants WIDTHxHEIGHT (1 to 16384 each), not '" + v + "'";
      return false;
    }
    o->sizeGiven = true;
  } else if (name == "--fps") {
    char* end = nullptr;
    double fps = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != 0 || !std::isfinite(fps) || fps < 1.0 || fps > 1000.0) {
      *why = "--fps wants a rate between 1 and 1000, not '" + v + "'";
      return false;
    }
    o->fps = fps;
  }
  return true;
}

// The rules between options, once all are read.
bool CheckCombinations(const DemoOptions& o, std::string* why) {
  const bool offscreen = o.headless || !o.renderOut.empty() || o.frameGiven;
  if (o.fps != 60.0 && !offscreen) {
    *why = "--fps goes with --headless, --render or --frame";
    return false;
  }
  if (o.edit && (!o.renderOut.empty() || o.frameGiven || o.info || !o.exportDir.empty() || o.loop ||
                 (o.modeGiven && o.mode != 1))) {
    *why = "--edit plays the loose files in a window: it does not go with --render, --frame, --info, --export, "
             "--loop or a fullscreen --mode";
    return false;
  }
  if (o.frames >= 0 && !o.headless) {
    *why = "--frames goes with --headless";
    return false;
  }
  if ((o.from != 0.0 || o.to >= 0.0) && o.renderOut.empty()) {
    *why = "--from and --to go with --render";
    return false;
  }
  if (o.to >= 0.0 && o.to <= o.from) {
    *why = "--to must be later than --from";
    return false;
  }
  return true;
}

}  // namespace

std::string UsageText() {
  return "Usage: quillon [OPTION]...\n"
         "Plays the Veltrum show: a real-time demo with its soundtrack, from data carried in the program.\n"
         "\n"
         "      --mode N          display mode: 0 = 640x480 fullscreen, 1 = window, 2 = 800x600 fullscreen,\n"
         "                        3 = 1024x768 fullscreen (default 0)\n"
         "      --window          same as --mode 1\n"
         "      --no-sound        play without the soundtrack (the show keeps its speed)\n"
         "      --loop            start again when the show ends (Escape still quits)\n"
         "      --no-launcher     skip the launcher window and run with the given or default choices\n"
         "      --data-dir DIR    look for loose files (script.txt, data/...) under DIR\n"
         "      --no-archive      ignore the embedded show: play loose files from the data directory\n"
         "      --verbose         print the log to standard error\n"
         "      --headless        draw offscreen (no display or GPU needed) on a virtual clock\n"
         "      --frames N        with --headless: stop after N frames (default: the whole show)\n"
         "      --size WxH        picture size: offscreen (default 640x480), the window's inside, or the\n"
         "                        fullscreen mode to switch to\n"
         "      --fps F           with --headless or --render: frames per second (default 60)\n"
         "      --render OUT      render the show offscreen to OUT: a .mkv, .mp4 or .mov video (needs ffmpeg),\n"
         "                        or a directory that receives numbered PNG frames and soundtrack.wav\n"
         "      --from SEC        with --render: start at this show time (default 0)\n"
         "      --to SEC          with --render: stop at this show time (default: the end)\n"
         "      --frame SEC OUT.png  write the one frame shown at SEC\n"
         "      --start SEC       live player: begin at this show time (the soundtrack starts there too)\n"
         "      --info            load the show, print its timeline, tables and anything missing, and exit\n"
         "      --export DIR      write the embedded show to DIR: show.ace, soundtrack.mp3 and every file\n"
         "      --edit            play the loose files of the data directory in a window, reloading them\n"
         "                        as they change (Space, Left/Right, PgUp/PgDn, Home, R, Tab, Escape)\n"
         "      --no-vsync        do not wait for the display's refresh between frames\n"
         "      --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Escape ends the show. Without a display, use --headless.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, DemoOptions* o, std::string* why) {
  for (size_t i = 0; i < args.size(); ++i) {
    // "--name=value" gives the value in the same word.
    std::string name = args[i];
    std::string value;
    bool inlineValue = false;
    if (name.rfind("--", 0) == 0) {
      size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        inlineValue = true;
      }
    }
    bool* on = SwitchOf(name, o);
    if (on || name == "--window") {
      if (inlineValue) {
        *why = "option '" + name + "' takes no value";
        return false;
      }
      if (on) {
        *on = true;
      } else {
        o->mode = 1;
        o->modeGiven = true;
      }
      continue;
    }
    if (!TakesValue(name)) {
      *why = "unknown option '" + args[i] + "'";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        *why = "option '" + name + "' needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!SetValue(name, value, o, why)) return false;
    // --frame SEC OUT.png: the picture's path follows the time.
    if (name == "--frame") {
      if (i + 1 >= args.size()) {
        *why = "--frame wants SEC and an output PNG file";
        return false;
      }
      o->framePath = args[++i];
      o->frameGiven = true;
    }
  }
  return CheckCombinations(*o, why);
}
