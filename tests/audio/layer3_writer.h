// A small MPEG audio layer III bitstream writer for the decoder's tests. It writes long-block
// granules with chosen Huffman tables and quantised values, no scale factors, and places each
// frame's main data in the bit reservoir either as early as the reservoir allows or at a fixed
// main_data_begin. The Huffman codes come from the standard's tables in audio/mp3_tables.txt,
// read here with a parser of its own, not from the decoder's generated lookup tables.
//
//   layer3::Codes codes;
//   ASSERT_TRUE(codes.Load(&why));
//   layer3::Frame f;  f.granule[0][0].values = {...};  f.granule[0][0].table[0] = 24; ...
//   std::vector<uint8_t> mp3 = layer3::WriteStream(codes, frames, &why);
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace layer3 {

struct Code {
  uint32_t bits = 0;
  int length = 0;
};

// The pair tables 0..31 and the count1 tables A and B.
struct Codes {
  std::vector<Code> pair[32];  // (x, y) at x * (xmax + 1) + y
  int xmax[32] = {};
  int linbits[32] = {};
  Code quad[2][16];

  const Code& Pair(int table, int x, int y) const { return pair[table][x * (xmax[table] + 1) + y]; }

  bool Load(std::string* why) {
    const std::string path = std::string(QUILLON_SOURCE_DIR) + "/audio/mp3_tables.txt";
    std::ifstream in(path);
    if (!in) {
      *why = "cannot read " + path;
      return false;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      line = line.substr(0, line.find('#'));
      if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
    }
    auto parse = [](const std::string& word, Code* c) {
      size_t slash = word.find('/');
      if (slash == std::string::npos) return false;
      c->bits = static_cast<uint32_t>(std::stoul(word.substr(0, slash), nullptr, 16));
      c->length = std::stoi(word.substr(slash + 1));
      return c->length > 0 && c->length <= 20;
    };
    int same[32];
    for (int& s : same) s = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
      std::istringstream words(lines[i]);
      std::string kind;
      words >> kind;
      if (kind == "huff") {
        int n;
        std::string what;
        words >> n >> what;
        if (n < 0 || n > 31) return Fail(why, lines[i]);
        if (what == "empty") continue;
        std::string key;
        words >> linbits[n] >> key;
        if (key == "same") {
          words >> same[n];
          continue;
        }
        words >> xmax[n];
        for (int x = 0; x <= xmax[n]; ++x) {
          std::istringstream row(lines.at(++i));
          for (int y = 0; y <= xmax[n]; ++y) {
            std::string word;
            Code c;
            if (!(row >> word) || !parse(word, &c)) return Fail(why, lines[i]);
            pair[n].push_back(c);
          }
        }
      } else if (kind == "quad") {
        std::string name;
        words >> name;
        for (Code& c : quad[name == "B" ? 1 : 0]) {
          std::string word;
          if (!(words >> word) || !parse(word, &c)) return Fail(why, lines[i]);
        }
      }
    }
    for (int n = 0; n < 32; ++n) {
      if (same[n] < 0) continue;
      pair[n] = pair[same[n]];
      xmax[n] = xmax[same[n]];
    }
    if (pair[1].size() != 4 || pair[31].size() != 256 || quad[1][15].length != 4) return Fail(why, "tables");
    return true;
  }

 private:
  static bool Fail(std::string* why, const std::string& what) {
    *why = "unexpected table text: " + what;
    return false;
  }
};

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
      ++used_;
    }
  }
  void Put(const Code& c) { Put(c.bits, c.length); }
  size_t Bits() const { return used_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
};

// One granule of one channel: long blocks; scale factors of bands 0-10 in slen1 bits and of
// bands 11-20 in slen2 bits, by scalefac_compress (0: none).
struct Granule {
  int globalGain = 150;
  int scalefacCompress = 0;
  int scalefac[21] = {};
  int table[3] = {0, 0, 0};
  int region0Count = 0, region1Count = 0;  // regions end at long bands region0Count + 1 and
                                           // region0Count + region1Count + 2
  int count1Table = 1;                     // 0: table A, 1: table B
  int bigValues = 0;                       // pairs of lines coded with the pair tables
  int bigValuesField = -1;                 // what the side information says (-1: bigValues)
  std::vector<int> values;                 // the quantised lines: big-value pairs, then
                                           // quadruples of -1, 0, 1 (count1 region)
};

struct Frame {
  int mode = 3;            // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  int modeExtension = 0;   // joint stereo: 2 = middle/side
  int bitrateIndex = 5;    // MPEG-1: 64 kbit/s
  int samplingIndex = 0;   // MPEG-1: 44100 Hz
  bool padding = false;
  int mainDataBegin = -1;  // -1: as far back as the reservoir allows
  Granule granule[2][2];   // [granule][channel]
  int Channels() const { return mode == 3 ? 1 : 2; }
};

// Long-band starts at 44100 Hz (the first eight are the same at 48000 and 32000 Hz).
inline int LongBandStart(int band) {
  static const int kStarts[23] = {0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
                                  74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
  return kStarts[band < 22 ? band : 22];
}

// The Huffman data of one granule.
inline bool WriteGranuleData(const Codes& codes, const Granule& g, BitWriter* w, std::string* why) {
  static const int kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                                   {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};
  for (int b = 0; b < 21; ++b) {
    const int bits = kSlen[b < 11 ? 0 : 1][g.scalefacCompress];
    if (g.scalefac[b] >= (1 << bits) && g.scalefac[b] != 0) {
      *why = "scale factor too large for its field";
      return false;
    }
    w->Put(static_cast<uint32_t>(g.scalefac[b]), bits);
  }
  const int r1 = LongBandStart(g.region0Count + 1);
  const int r2 = LongBandStart(g.region0Count + g.region1Count + 2);
  const int bigEnd = 2 * g.bigValues;
  if (static_cast<int>(g.values.size()) < bigEnd || (g.values.size() - bigEnd) % 4 != 0) {
    *why = "granule values do not fill whole pairs and quadruples";
    return false;
  }
  for (int i = 0; i < bigEnd; i += 2) {
    const int t = g.table[i < r1 ? 0 : i < r2 ? 1 : 2];
    const int v[2] = {g.values[i], g.values[i + 1]};
    if (codes.xmax[t] == 0) {
      if (v[0] || v[1]) {
        *why = "table " + std::to_string(t) + " cannot code nonzero values";
        return false;
      }
      continue;
    }
    int mag[2], esc[2];
    for (int k = 0; k < 2; ++k) {
      int a = v[k] < 0 ? -v[k] : v[k];
      mag[k] = a < 15 ? a : 15;
      esc[k] = a - 15;
      const int limit = codes.linbits[t] ? 15 + (1 << codes.linbits[t]) - 1 : codes.xmax[t];
      if (a > limit) {
        *why = "value " + std::to_string(a) + " too large for table " + std::to_string(t);
        return false;
      }
    }
    w->Put(codes.Pair(t, mag[0], mag[1]));
    for (int k = 0; k < 2; ++k) {
      if (codes.linbits[t] && mag[k] == 15) w->Put(static_cast<uint32_t>(esc[k]), codes.linbits[t]);
      if (v[k]) w->Put(v[k] < 0 ? 1 : 0, 1);
    }
  }
  for (size_t i = bigEnd; i < g.values.size(); i += 4) {
    int index = 0;
    for (int k = 0; k < 4; ++k) {
      if (g.values[i + k] < -1 || g.values[i + k] > 1) {
        *why = "count1 values must be -1, 0 or 1";
        return false;
      }
      index = (index << 1) | (g.values[i + k] != 0);
    }
    w->Put(codes.quad[g.count1Table][index]);
    for (int k = 0; k < 4; ++k)
      if (g.values[i + k]) w->Put(g.values[i + k] < 0 ? 1 : 0, 1);
  }
  return true;
}

inline int FrameBytes(const Frame& f) {
  static const int kBitrates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kRates[3] = {44100, 48000, 32000};
  return 144000 * kBitrates[f.bitrateIndex] / kRates[f.samplingIndex] + (f.padding ? 1 : 0);
}

// MPEG-1 layer III frames, without CRC. False (with the reason) when a frame's data cannot be
// placed: more than the reservoir and the frame hold, or a fixed main_data_begin that collides.
inline bool WriteStream(const Codes& codes, const std::vector<Frame>& frames, std::vector<uint8_t>* out,
                        std::string* why) {
  // each frame's main data, and its granules' bit counts
  std::vector<std::vector<uint8_t>> payload(frames.size());
  std::vector<std::vector<int>> part23(frames.size());
  for (size_t k = 0; k < frames.size(); ++k) {
    BitWriter w;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < frames[k].Channels(); ++ch) {
        const size_t before = w.Bits();
        if (!WriteGranuleData(codes, frames[k].granule[gr][ch], &w, why)) return false;
        part23[k].push_back(static_cast<int>(w.Bits() - before));
      }
    payload[k] = w.Bytes();
  }
  // placement in the main-data stream: frame k's own bytes start at `space`
  std::vector<long> start(frames.size());
  std::vector<int> mdb(frames.size());
  long space = 0, end = 0;  // end: first byte after the previous frame's main data
  std::vector<long> spaceStart(frames.size());
  for (size_t k = 0; k < frames.size(); ++k) {
    const int sideInfo = frames[k].Channels() == 1 ? 17 : 32;
    const int own = FrameBytes(frames[k]) - 4 - sideInfo;
    spaceStart[k] = space;
    mdb[k] = frames[k].mainDataBegin >= 0 ? frames[k].mainDataBegin
                                          : static_cast<int>(std::min<long>(511, space - end));
    start[k] = space - mdb[k];
    const long stop = start[k] + static_cast<long>(payload[k].size());
    if (mdb[k] > 511 || (k > 0 && start[k] < end) || stop > space + own) {
      *why = "frame " + std::to_string(k) + "'s main data does not fit";
      return false;
    }
    end = stop;
    space += own;
  }
  std::vector<uint8_t> mainData(static_cast<size_t>(space), 0);
  for (size_t k = 0; k < frames.size(); ++k)
    for (size_t i = 0; i < payload[k].size(); ++i) {
      const long at = start[k] + static_cast<long>(i);
      if (at >= 0) mainData[static_cast<size_t>(at)] = payload[k][i];  // before the stream: lost
    }
  out->clear();
  for (size_t k = 0; k < frames.size(); ++k) {
    const Frame& f = frames[k];
    BitWriter h;
    h.Put(0xFFF, 12);
    h.Put(1, 1);  // MPEG-1
    h.Put(1, 2);  // layer III
    h.Put(1, 1);  // no CRC
    h.Put(static_cast<uint32_t>(f.bitrateIndex), 4);
    h.Put(static_cast<uint32_t>(f.samplingIndex), 2);
    h.Put(f.padding ? 1 : 0, 1);
    h.Put(0, 1);
    h.Put(static_cast<uint32_t>(f.mode), 2);
    h.Put(static_cast<uint32_t>(f.modeExtension), 2);
    h.Put(0, 4);  // copyright, original, emphasis
    const int nch = f.Channels();
    h.Put(static_cast<uint32_t>(mdb[k]), 9);
    h.Put(0, nch == 1 ? 5 : 3);
    h.Put(0, 4 * nch);  // scfsi
    int n = 0;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < nch; ++ch) {
        const Granule& g = f.granule[gr][ch];
        h.Put(static_cast<uint32_t>(part23[k][n++]), 12);
        h.Put(static_cast<uint32_t>(g.bigValuesField >= 0 ? g.bigValuesField : g.bigValues), 9);
        h.Put(static_cast<uint32_t>(g.globalGain), 8);
        h.Put(static_cast<uint32_t>(g.scalefacCompress), 4);
        h.Put(0, 1);  // no window switching
        for (int r = 0; r < 3; ++r) h.Put(static_cast<uint32_t>(g.table[r]), 5);
        h.Put(static_cast<uint32_t>(g.region0Count), 4);
        h.Put(static_cast<uint32_t>(g.region1Count), 3);
        h.Put(0, 1);  // preflag
        h.Put(0, 1);  // scalefac_scale
        h.Put(static_cast<uint32_t>(g.count1Table), 1);
      }
    out->insert(out->end(), h.Bytes().begin(), h.Bytes().end());
    const int own = FrameBytes(f) - 4 - (nch == 1 ? 17 : 32);
    out->insert(out->end(), mainData.begin() + spaceStart[k], mainData.begin() + spaceStart[k] + own);
  }
  return true;
}

}  // namespace layer3
