#include "show/script.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "io/data_file.h"
#include "platform/log.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Contains(const std::string& text, const char* needle) { return text.find(needle) != std::string::npos; }

// The first byte that no text file holds (a control character other than tab, CR, LF and form
// feed), as "byte 0x00 at offset 12"; empty for text.
std::string BinaryByte(const DataFile& file) {
  const uint8_t* bytes = file.Data();
  for (int32_t i = 0; bytes && i < file.GetSize(); ++i) {
    const uint8_t b = bytes[i];
    if (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && b != '\f') {
      char text[48];
      std::snprintf(text, sizeof text, "byte 0x%02x at offset %d", b, i);
      return text;
    }
  }
  return "";
}

// Loose files are looked up under the data folder only. A name that starts at a root of its own
// ("\x", "/x", "\\server\x"), names a drive, or climbs out with ".." is refused before anything
// is opened.
bool LeavesDataDirectory(const std::string& name) {
  if (!name.empty() && (name[0] == '\\' || name[0] == '/')) return true;
  return !NameStaysInside(("data\\" + name).c_str());
}

class Parser {
 public:
  Parser(ShowTables& tables, ScriptLoaders& loaders) : tables_(tables), loaders_(loaders) {}

  void Run() {
    DataFile file;
    file.Open("script.txt", "rb");
    if (file.HasError()) {
      const std::string dir = CurrentDataSource().dataDir;
      if (file.Problem() == OpenProblem::kNoDataDir) {
        tables_.scriptError = "data directory '" + dir + "' does not exist (no script.txt to read)";
      } else {
        tables_.scriptError = DiskPathFor(dir, "script.txt") + ": " + OpenProblemText(file.Problem());
      }
      Log("script: %s", tables_.scriptError.c_str());
      return;
    }
    // Text written without any CR ends its lines with LF alone.
    lfEnds_ = !file.HoldsCr();
    for (;;) {
      std::string line;
      int more = Read(file, &line);
      line = Lower(line);
      if (Contains(line, "[mp3]")) {
        Mp3(file);
      } else if (Contains(line, "[textures]")) {
        Textures(file);
      } else if (Contains(line, "[scenes]")) {
        Scenes(file);
      } else if (Contains(line, "[part]")) {
        Part(file);
      } else if (Contains(line, "[addpart]")) {
        AddPart(file);
      } else if (Contains(line, "[addeffect]")) {
        AddEffect(file);
      }
      if (!more) break;
    }
    if (tables_.timeline.size() < 2) {
      tables_.scriptError = "script.txt has " + std::to_string(tables_.timeline.size()) +
                            " [part] section(s); a show needs at least two";
      const std::string binary = BinaryByte(file);
      if (!binary.empty()) tables_.scriptError += " (it is not text: " + binary + ")";
      Log("script: %s", tables_.scriptError.c_str());
    }
  }

 private:
  // Reads one line, counting lines and noting one longer than a line keeps.
  int Read(DataFile& file, std::string* line) {
    int more = file.ReadLine(line, lfEnds_);
    ++lineNumber_;
    cut_ = file.LastLineCut();
    if (cut_) {
      const std::string where = "script.txt line " + std::to_string(lineNumber_);
      Fail(where, "name too long (more than the 127 characters a line keeps): '" + line->substr(0, 40) + "...'");
    }
    return more;
  }

  // A line of a section; its "more" result is not looked at.
  std::string NextLine(DataFile& file) {
    std::string line;
    Read(file, &line);
    return line;
  }

  void Mp3(DataFile& file) {
    std::string name = "data\\" + Lower(NextLine(file));
    Log("soundtrack named in the script: %s", name.c_str());
    tables_.soundtrackFile = name;
    NextLine(file);
  }

  // Calls handle(line) for each entry line of a list section: it ends at an empty line or at
  // a read that reports no further byte (that last line is not used).
  template <typename Handler>
  void EachEntry(DataFile& file, Handler handle) {
    std::string line;
    if (!Read(file, &line)) return;
    for (;;) {
      if (line.empty()) return;
      handle(line);
      if (!Read(file, &line)) return;
    }
  }

  void Textures(DataFile& file) {
    EachEntry(file, [&](std::string line) {
      // The keyword is looked for before lower-casing: only "fullscreen" in lower case counts.
      bool fullscreen = Contains(line, "fullscreen");
      size_t space = line.find(' ');
      // A name cut off by the line's length would load another file, or none: it is reported
      // (above) and not loaded.
      if (cut_ && space == std::string::npos) return;
      if (space != std::string::npos) line.resize(space);
      std::string name = Lower(line);
      if (LeavesDataDirectory(name)) {
        Fail(name, OpenProblemText(OpenProblem::kOutsideDataDir));
        return;
      }
      std::string path = "data\\" + name;
      bool jpg = Contains(name, ".jpg");
      bool png = Contains(name, ".png");
      if (!fullscreen) {
        if (jpg) AddTexture(name, path, false);
        if (png) AddTexture(name, path, true);
      } else {
        if (jpg) AddImage(name, path, false);
        if (png) AddImage(name, path, true);
      }
      if (!jpg && !png) Fail(name, "not a .jpg or .png picture");
    });
  }

  void AddTexture(const std::string& name, const std::string& path, bool png) {
    uint32_t texture = loaders_.MakeTexture(path, png);
    tables_.textureTable[name] = texture;
  }

  void AddImage(const std::string& name, const std::string& path, bool png) {
    // The slot array is fixed; a script with more images than slots keeps the first ones.
    if (tables_.imageCount >= kImageSlotCount) {
      Fail(name, "too many fullscreen images");
      return;
    }
    tables_.images[tables_.imageCount] = loaders_.MakeFullscreenImage(path, png);
    tables_.imageTable[name] = tables_.imageCount;
    ++tables_.imageCount;
  }

  void Scenes(DataFile& file) {
    EachEntry(file, [&](const std::string& line) {
      if (cut_) return;
      std::string name = Lower(line);
      if (LeavesDataDirectory(name)) {
        Fail(name, OpenProblemText(OpenProblem::kOutsideDataDir));
        return;
      }
      std::shared_ptr<Scene> scene = loaders_.LoadScene("data\\" + name);
      tables_.sceneTable[name] = scene;
    });
  }

  void Part(DataFile& file) {
    PartEntry part;
    part.name = Lower(NextLine(file));
    part.time = static_cast<float>(ParseLeadingInt(NextLine(file)));
    part.startFrame = ParseLeadingInt(NextLine(file));
    part.camera = Lower(NextLine(file));
    part.background = Lower(NextLine(file));
    part.foreground = Lower(NextLine(file));
    part.next = -1;
    part.isEffect = 0;
    tables_.timeline.push_back(part);
    currentPart_ = static_cast<int32_t>(tables_.timeline.size()) - 1;
  }

  void AddPart(DataFile& file) {
    PartEntry entry;
    entry.name = Lower(NextLine(file));
    entry.startFrame = ParseLeadingInt(NextLine(file));
    entry.camera = Lower(NextLine(file));
    Chain(entry);
  }

  void AddEffect(DataFile& file) {
    PartEntry entry;
    entry.name = Lower(NextLine(file));
    entry.background = Lower(NextLine(file));
    entry.startFrame = ParseLeadingInt(NextLine(file));
    entry.speed = ParseLeadingInt(NextLine(file));
    entry.fieldOfView = ParseLeadingInt(NextLine(file));
    entry.isEffect = 1;
    Chain(entry);
  }

  // Appends an added entry to the chain of the current part. One before any [part] has nothing
  // to belong to: it is read (so the script stays in step) and dropped.
  void Chain(PartEntry entry) {
    if (currentPart_ < 0) {
      Log("script: [addpart]/[addeffect] before the first [part] ignored");
      return;
    }
    PartEntry& part = tables_.timeline[static_cast<size_t>(currentPart_)];
    entry.time = part.time;
    entry.next = -1;
    int32_t index = static_cast<int32_t>(tables_.addedEntries.size());
    if (part.next == -1) {
      part.next = index;
    } else {
      tables_.addedEntries[static_cast<size_t>(index - 1)].next = index;
    }
    tables_.addedEntries.push_back(entry);
  }

  void Fail(const std::string& name, const std::string& why) {
    Log("script: %s: %s", name.c_str(), why.c_str());
    tables_.failures.push_back(name + ": " + why);
  }

  ShowTables& tables_;
  ScriptLoaders& loaders_;
  int32_t currentPart_ = -1;
  bool lfEnds_ = false;
  bool cut_ = false;  // the line read last was longer than a line keeps
  int lineNumber_ = 0;
};

}  // namespace

int32_t ParseLeadingInt(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  long long value = 0;
  for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    // Saturate instead of overflowing on absurdly long digit runs.
    if (value < static_cast<long long>(INT_MAX) + 1) value = value * 10 + (line[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int32_t>(value);
}

void ParseScript(ShowTables& tables, ScriptLoaders& loaders) {
  loaders.ShowLoadingScreen(tables);
  loaders.InitEffects();
  Parser(tables, loaders).Run();
  if (!tables.timeline.empty()) {
    auto found = tables.sceneTable.find(tables.timeline[0].name);
    if (found != tables.sceneTable.end() && found->second) loaders.PrepareFirstScene(*found->second);
  }
}
