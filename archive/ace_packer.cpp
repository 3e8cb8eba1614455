#include "archive/ace_packer.h"

#include <algorithm>
#include <cstring>

#include "archive/ace_format.h"

namespace {

constexpr int64_t kWindow = int64_t{1} << kDictionaryBits;
constexpr int kHashBits = 17;
constexpr int kMaxChain = 128;
constexpr int kNiceLength = 160;
constexpr int kGoodLength = 32;   // past this, the rest of a chain is searched a quarter as deep
constexpr int kLazyLimit = 32;       // matches at least this long are taken without looking ahead
constexpr int kSegmentTokens = 2048; // blocks are built from segments of this many symbols
constexpr int kMaxBlockTokens = 32767;

// Rough bit costs that steer the parse; the Huffman coder decides the real ones.
constexpr int kLiteralBits = 6;
constexpr int kNewMatchBits = 11;
constexpr int kReuseMatchBits = 8;

struct Token {
  uint16_t symbol;      // main-code symbol
  uint8_t lengthSymbol; // length-code symbol (matches only)
  uint8_t extraCount;   // distance bits after a new-distance symbol
  uint32_t extra;
};

int BitLength(uint32_t v) {
  int n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(uint32_t value, int n) {
    if (n == 0) return;
    count_ += static_cast<uint64_t>(n);
    if (!out_) return;
    acc_ = (acc_ << n) | (value & ((n == 32) ? 0xFFFFFFFFu : ((1u << n) - 1)));
    bits_ += n;
    if (bits_ >= 32) {
      bits_ -= 32;
      Word(static_cast<uint32_t>(acc_ >> bits_));
    }
  }
  void Flush() {
    if (out_ && bits_ > 0) Word(static_cast<uint32_t>(acc_ << (32 - bits_)));
    bits_ = 0;
  }
  uint64_t Count() const { return count_; }

 private:
  // Words go out little-endian; the first bit of the stream is the top bit of a word.
  void Word(uint32_t w) {
    out_->push_back(static_cast<uint8_t>(w));
    out_->push_back(static_cast<uint8_t>(w >> 8));
    out_->push_back(static_cast<uint8_t>(w >> 16));
    out_->push_back(static_cast<uint8_t>(w >> 24));
  }
  std::vector<uint8_t>* out_;
  uint64_t acc_ = 0;
  int bits_ = 0;
  uint64_t count_ = 0;
};

// Optimal code lengths of at most maxBits for symbols 0..n-1 (package-merge).
void LimitedLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
  struct Node {
    uint64_t weight;
    int left;    // children in the previous list, or -1
    int symbol;  // leaf symbol, or -1
  };
  std::memset(lengths, 0, static_cast<size_t>(n));
  std::vector<Node> leaves;
  for (int s = 0; s < n; ++s)
    if (freq[s]) leaves.push_back({freq[s], -1, s});
  if (leaves.empty()) return;
  if (leaves.size() == 1) {
    lengths[leaves[0].symbol] = 1;
    return;
  }
  std::stable_sort(leaves.begin(), leaves.end(), [](const Node& a, const Node& b) { return a.weight < b.weight; });
  std::vector<std::vector<Node>> lists(static_cast<size_t>(maxBits));
  lists[0] = leaves;
  for (int level = 1; level < maxBits; ++level) {
    const std::vector<Node>& prev = lists[static_cast<size_t>(level - 1)];
    std::vector<Node>& cur = lists[static_cast<size_t>(level)];
    size_t li = 0;
    size_t pi = 0;
    const size_t packages = prev.size() / 2;
    while (li < leaves.size() || pi < packages) {
      const uint64_t pw = pi < packages ? prev[2 * pi].weight + prev[2 * pi + 1].weight : UINT64_MAX;
      if (li < leaves.size() && leaves[li].weight <= pw) {
        cur.push_back(leaves[li++]);
      } else {
        cur.push_back({pw, static_cast<int>(2 * pi), -1});
        ++pi;
      }
    }
  }
  // Each chosen item adds one to the length of every leaf below it.
  std::vector<std::pair<int, int>> stack;  // (level, index)
  const size_t take = 2 * leaves.size() - 2;
  for (size_t i = 0; i < take; ++i) stack.push_back({maxBits - 1, static_cast<int>(i)});
  while (!stack.empty()) {
    auto [level, index] = stack.back();
    stack.pop_back();
    const Node& node = lists[static_cast<size_t>(level)][static_cast<size_t>(index)];
    if (node.symbol >= 0) {
      ++lengths[node.symbol];
    } else {
      stack.push_back({level - 1, node.left});
      stack.push_back({level - 1, node.left + 1});
    }
  }
}

int Highest(const uint8_t* lengths, int maxSymbol) {
  int n = maxSymbol;
  while (n > 0 && lengths[n] == 0) --n;
  return n;
}

// The decoder gives a lone code one bit and reads nothing useful from an empty one; every
// code written has at least two symbols.
void EnsureTwoCodes(uint8_t* lengths, int maxSymbol) {
  int used = 0;
  int first = -1;
  for (int s = 0; s <= maxSymbol; ++s)
    if (lengths[s]) {
      ++used;
      if (first < 0) first = s;
    }
  if (used >= 2) return;
  const int a = first < 0 ? 0 : first;
  const int b = a == 0 ? 1 : 0;
  lengths[a] = 1;
  lengths[b] = 1;
}

// Codes exactly as the decoder's table builder hands them out.
void AssignCodes(int bits, const uint8_t* lengths, int highest, uint32_t* codes) {
  uint8_t copy[kMaxMainSymbol + 1];
  uint16_t table[1 << kTableBits];
  int32_t first[kMaxMainSymbol + 1];
  std::memcpy(copy, lengths, static_cast<size_t>(highest) + 1);
  MakeCode(bits, highest, copy, table, first);
  for (int s = 0; s <= highest; ++s)
    codes[s] = lengths[s] && first[s] >= 0 ? static_cast<uint32_t>(first[s]) >> (bits - lengths[s]) : 0;
}

// Writes one code's lengths in the form the decoder's length reader expects.
void WriteLengths(BitWriter& w, const uint8_t* lengths, int maxSymbol) {
  const int n = Highest(lengths, maxSymbol);
  int minL = 255;
  int maxL = 0;
  for (int i = 0; i <= n; ++i)
    if (lengths[i]) {
      minL = std::min<int>(minL, lengths[i]);
      maxL = std::max<int>(maxL, lengths[i]);
    }
  const int low = minL - 1;
  const int up = maxL - minL + 2;
  // Values above `low`, sent as differences modulo `up`; symbol `up` repeats the last value.
  std::vector<std::pair<int, int>> items;  // (symbol, run length)
  int previous = 0;
  std::vector<int> delta(static_cast<size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    const int v = lengths[i] ? lengths[i] - low : 0;
    delta[static_cast<size_t>(i)] = (v - previous + up) % up;
    previous = v;
  }
  for (int i = 0; i <= n;) {
    if (delta[static_cast<size_t>(i)] == 0) {
      int run = 0;
      while (i + run <= n && delta[static_cast<size_t>(i + run)] == 0) ++run;
      while (run >= 4) {
        const int take = std::min(run, 19);
        items.push_back({up, take});
        run -= take;
        i += take;
      }
      for (; run > 0; --run, ++i) items.push_back({0, 0});
    } else {
      items.push_back({delta[static_cast<size_t>(i)], 0});
      ++i;
    }
  }
  uint32_t freq[kMaxCodeLengthUp + 1] = {};
  for (const auto& item : items) ++freq[item.first];
  uint8_t codeLength[kMaxCodeLengthUp + 1];
  LimitedLengths(freq, up + 1, kCodeLengthTableBits, codeLength);
  EnsureTwoCodes(codeLength, up);
  uint32_t code[kMaxCodeLengthUp + 1];
  AssignCodes(kCodeLengthTableBits, codeLength, up, code);

  w.Put(static_cast<uint32_t>(n), 9);
  w.Put(static_cast<uint32_t>(low), 4);
  w.Put(static_cast<uint32_t>(up), 4);
  for (int i = 0; i <= up; ++i) w.Put(codeLength[i], 3);
  for (const auto& item : items) {
    w.Put(code[item.first], codeLength[item.first]);
    if (item.first == up) w.Put(static_cast<uint32_t>(item.second - 4), 4);
  }
}

struct BlockCode {
  uint8_t mainLength[kMaxMainSymbol + 1];
  uint8_t lengthLength[kMaxLengthSymbol + 1];
};

struct Frequencies {
  uint32_t main[kMaxMainSymbol + 1] = {};
  uint32_t length[kMaxLengthSymbol + 1] = {};
  int tokens = 0;

  void Add(const Token& t) {
    ++main[t.symbol];
    if (t.symbol >= kFirstReuseSymbol) ++length[t.lengthSymbol];
    ++tokens;
  }
  void Add(const Frequencies& f) {
    for (int i = 0; i <= kMaxMainSymbol; ++i) main[i] += f.main[i];
    for (int i = 0; i <= kMaxLengthSymbol; ++i) length[i] += f.length[i];
    tokens += f.tokens;
  }
};

void BuildCode(const Frequencies& f, BlockCode* code) {
  LimitedLengths(f.main, kMaxMainSymbol + 1, kTableBits, code->mainLength);
  EnsureTwoCodes(code->mainLength, kMaxMainSymbol);
  LimitedLengths(f.length, kMaxLengthSymbol + 1, kTableBits, code->lengthLength);
  EnsureTwoCodes(code->lengthLength, kMaxLengthSymbol);
}

// Bits a block with these statistics costs: its tables, its count and its symbols (the
// distance bits do not depend on the blocks and are left out).
uint64_t BlockBits(const Frequencies& f) {
  BlockCode code;
  BuildCode(f, &code);
  BitWriter counter(nullptr);
  WriteLengths(counter, code.mainLength, kMaxMainSymbol);
  WriteLengths(counter, code.lengthLength, kMaxLengthSymbol);
  uint64_t bits = counter.Count() + kBlockCountBits;
  for (int i = 0; i <= kMaxMainSymbol; ++i) bits += uint64_t{f.main[i]} * code.mainLength[i];
  for (int i = 0; i <= kMaxLengthSymbol; ++i) bits += uint64_t{f.length[i]} * code.lengthLength[i];
  return bits;
}

void WriteBlock(BitWriter& w, const Token* tokens, int count, const Frequencies& f) {
  BlockCode code;
  BuildCode(f, &code);
  WriteLengths(w, code.mainLength, kMaxMainSymbol);
  WriteLengths(w, code.lengthLength, kMaxLengthSymbol);
  w.Put(static_cast<uint32_t>(count), kBlockCountBits);
  uint32_t mainCode[kMaxMainSymbol + 1];
  uint32_t lengthCode[kMaxLengthSymbol + 1];
  AssignCodes(kTableBits, code.mainLength, Highest(code.mainLength, kMaxMainSymbol), mainCode);
  AssignCodes(kTableBits, code.lengthLength, Highest(code.lengthLength, kMaxLengthSymbol), lengthCode);
  for (int i = 0; i < count; ++i) {
    const Token& t = tokens[i];
    w.Put(mainCode[t.symbol], code.mainLength[t.symbol]);
    if (t.symbol < kFirstReuseSymbol) continue;
    w.Put(t.extra, t.extraCount);
    w.Put(lengthCode[t.lengthSymbol], code.lengthLength[t.lengthSymbol]);
  }
}

// Splits the symbols into blocks where fresh tables pay for themselves, and writes them.
void WriteTokens(const std::vector<Token>& tokens, std::vector<uint8_t>* out) {
  BitWriter w(out);
  const int total = static_cast<int>(tokens.size());
  std::vector<Frequencies> segments;
  for (int s = 0; s < total; s += kSegmentTokens) {
    Frequencies f;
    for (int i = s; i < std::min(total, s + kSegmentTokens); ++i) f.Add(tokens[static_cast<size_t>(i)]);
    segments.push_back(f);
  }
  int blockStart = 0;
  Frequencies block;
  uint64_t blockBits = 0;
  for (size_t s = 0; s < segments.size(); ++s) {
    const Frequencies& seg = segments[s];
    if (block.tokens == 0) {
      block = seg;
      blockBits = BlockBits(block);
      continue;
    }
    Frequencies merged = block;
    merged.Add(seg);
    const uint64_t mergedBits = BlockBits(merged);
    if (merged.tokens <= kMaxBlockTokens && mergedBits <= blockBits + BlockBits(seg)) {
      block = merged;
      blockBits = mergedBits;
      continue;
    }
    WriteBlock(w, &tokens[static_cast<size_t>(blockStart)], block.tokens, block);
    blockStart += block.tokens;
    block = seg;
    blockBits = BlockBits(block);
  }
  if (block.tokens) WriteBlock(w, &tokens[static_cast<size_t>(blockStart)], block.tokens, block);
  w.Flush();
}

void Put16(std::vector<uint8_t>* v, uint32_t x) {
  v->push_back(static_cast<uint8_t>(x));
  v->push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>* v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// Prepends header CRC and size to the header bytes that follow them.
void AppendHeader(std::vector<uint8_t>* out, const std::vector<uint8_t>& body) {
  Put16(out, Crc(body.data(), body.size()) & 0xFFFF);
  Put16(out, static_cast<uint32_t>(body.size()));
  out->insert(out->end(), body.begin(), body.end());
}

}  // namespace

// The LZ77 side: the history the decoder's dictionary will hold, hash chains over it, and
// the parse of one member into symbols.
struct AcePacker::Coder {
  std::vector<uint8_t> stream;  // history; stream[0] is absolute position base
  int64_t base = 0;
  int64_t hashed = 0;           // next absolute position to enter the chains
  std::vector<int64_t> head;
  std::vector<int32_t> prev;  // offset back to the previous position with the same hash, 0 = none

  Coder() : head(size_t{1} << kHashBits, -1), prev(static_cast<size_t>(kWindow), 0) {}

  void Reset() {
    stream.clear();
    base = 0;
    hashed = 0;
    std::fill(head.begin(), head.end(), -1);
  }
  int64_t End() const { return base + static_cast<int64_t>(stream.size()); }
  const uint8_t* At(int64_t pos) const { return stream.data() + (pos - base); }

  // Keeps a window's worth of history before new data.
  void Trim() {
    const int64_t keep = kWindow;
    if (static_cast<int64_t>(stream.size()) > 4 * kWindow) {
      const int64_t drop = static_cast<int64_t>(stream.size()) - keep;
      stream.erase(stream.begin(), stream.begin() + drop);
      base += drop;
    }
  }

  static uint32_t Hash(const uint8_t* p) {
    const uint32_t v = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
  }
  void InsertUpTo(int64_t pos) {
    const int64_t limit = std::min(pos, End() - 2);
    for (; hashed < limit; ++hashed) {
      uint32_t h = Hash(At(hashed));
      const int64_t older = head[h];
      prev[static_cast<size_t>(hashed & (kWindow - 1))] =
          older < 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(hashed - older, kWindow + 1));
      head[h] = hashed;
    }
  }
  int MatchLength(int64_t src, int64_t pos, int maxLength) const {
    const uint8_t* a = At(src);
    const uint8_t* b = At(pos);
    int n = 0;
    while (n + 8 <= maxLength) {
      uint64_t x;
      uint64_t y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) break;
      n += 8;
    }
    while (n < maxLength && a[n] == b[n]) ++n;
    return n;
  }

  struct Choice {
    int length = 0;
    int reuse = -1;        // cache index, or -1 for a new distance
    uint32_t distance = 0;
    int score = 0;
  };

  static int NewCost(uint32_t distance) {
    const int m = distance <= 1 ? 0 : BitLength(distance);
    return kNewMatchBits + (m >= 2 ? m - 1 : 0);
  }

  Choice Best(int64_t pos, int64_t end, int64_t regionStart, const DistanceCache& cache) {
    InsertUpTo(pos);
    Choice best;
    const int64_t left = end - pos;
    if (left < 2) return best;
    for (int k = 0; k < 4; ++k) {
      const uint32_t d = cache.Peek(k);
      const int64_t src = pos - d - 1;
      if (src < regionStart) continue;
      const int x = ReuseExtraLength(k);
      const int len = MatchLength(src, pos, static_cast<int>(std::min<int64_t>(left, 255 + x)));
      if (len < x) continue;
      const int score = len * kLiteralBits - (kReuseMatchBits + (k ? 1 : 0));
      if (score > best.score) best = {len, k, d, score};
    }
    if (left < 3) return best;
    const int64_t lowest = std::max(regionStart, pos - kWindow);
    int64_t cand = head[Hash(At(pos))];
    int longest = 0;
    int budget = kMaxChain;
    bool shortened = false;
    for (; cand >= lowest && budget > 0; --budget) {
      const uint32_t d = static_cast<uint32_t>(pos - cand - 1);
      const int x = NewDistanceExtraLength(d);
      const int cap = static_cast<int>(std::min<int64_t>(left, 255 + x));
      // Only a longer match can beat a nearer one.
      if (longest < cap && At(cand)[longest] == At(pos)[longest]) {
        const int len = MatchLength(cand, pos, cap);
        if (len > longest) {
          longest = len;
          if (len >= x) {
            const int score = len * kLiteralBits - NewCost(d);
            if (score > best.score) best = {len, -1, d, score};
          }
          if (len >= kNiceLength || len == cap) break;
          if (len >= kGoodLength && !shortened) {
            shortened = true;
            budget /= 4;
          }
        }
      }
      const int32_t back = prev[static_cast<size_t>(cand & (kWindow - 1))];
      if (back <= 0) break;
      cand -= back;
    }
    return best;
  }

  void Parse(int64_t start, int64_t end, int64_t regionStart, std::vector<Token>* tokens) {
    DistanceCache cache;
    int64_t pos = start;
    Choice cur = Best(pos, end, regionStart, cache);
    auto literal = [&](int64_t p) { tokens->push_back({*At(p), 0, 0, 0}); };
    while (pos < end) {
      if (cur.length == 0) {
        literal(pos);
        ++pos;
        if (pos < end) cur = Best(pos, end, regionStart, cache);
        continue;
      }
      if (cur.length < kLazyLimit && pos + 1 < end) {
        Choice next = Best(pos + 1, end, regionStart, cache);
        if (next.score > cur.score + kLiteralBits) {
          literal(pos);
          ++pos;
          cur = next;
          continue;
        }
      }
      Token t{};
      if (cur.reuse >= 0) {
        cache.Reuse(cur.reuse);
        t.symbol = static_cast<uint16_t>(kFirstReuseSymbol + cur.reuse);
        t.lengthSymbol = static_cast<uint8_t>(cur.length - ReuseExtraLength(cur.reuse));
      } else {
        const uint32_t d = cur.distance;
        cache.Push(d);
        const int m = d <= 1 ? static_cast<int>(d) : BitLength(d);
        t.symbol = static_cast<uint16_t>(kFirstNewDistanceSymbol + m);
        if (m >= 2) {
          t.extraCount = static_cast<uint8_t>(m - 1);
          t.extra = d - (uint32_t{1} << (m - 1));
        }
        t.lengthSymbol = static_cast<uint8_t>(cur.length - NewDistanceExtraLength(d));
      }
      tokens->push_back(t);
      pos += cur.length;
      if (pos < end) cur = Best(pos, end, regionStart, cache);
    }
  }

  // Appends data to the history and returns its method-1 stream.
  std::vector<uint8_t> Pack(const uint8_t* data, size_t size, bool solid) {
    if (!solid) Reset();
    Trim();
    const int64_t start = End();
    stream.insert(stream.end(), data, data + size);
    std::vector<Token> tokens;
    Parse(start, End(), solid ? base : start, &tokens);
    std::vector<uint8_t> packed;
    WriteTokens(tokens, &packed);
    return packed;
  }
};

AcePacker::AcePacker(bool solid) : coder_(new Coder), solid_(solid) {
  uint8_t main[kMainHeaderFixedBytes] = {};
  main[0] = kMainHeaderType;
  main[1] = 0;
  main[2] = solid ? kFlagSolid >> 8 : 0;
  std::memcpy(main + 3, kSignature, 7);
  main[10] = 20;  // version needed to extract
  main[11] = 20;  // version that created the archive
  // host, volume, creation time, reserved bytes and the advertisement length stay 0
  AppendHeader(&out_, std::vector<uint8_t>(main, main + sizeof(main)));
}

AcePacker::~AcePacker() { delete coder_; }

std::vector<uint8_t> AcePacker::PackStream(const uint8_t* data, size_t size) {
  Coder coder;
  return coder.Pack(data, size, false);
}

bool AcePacker::AddMember(const std::string& name, const uint8_t* data, size_t size, uint32_t fileTime,
                          uint32_t attributes) {
  if (name.empty() || name.size() > kMaxNameLength) {
    error_ = name.empty() ? "empty member name" : "member name too long";
    return false;
  }
  if (size > 0x7FFFFFFFu) {
    error_ = "member larger than 2 GiB - 1";
    return false;
  }
  std::vector<uint8_t> packed;
  uint8_t method = 0;
  if (size > 0) {
    packed = coder_->Pack(data, size, solid_);
    method = 1;
  }
  const bool stored = packed.size() >= size;
  const uint8_t* payload = stored ? data : packed.data();
  const size_t payloadSize = stored ? size : packed.size();
  if (stored) method = 0;

  std::vector<uint8_t> body;
  body.push_back(kFileHeaderType);
  Put16(&body, kFlagAddedData | (solid_ ? kFlagSolid : 0));
  Put32(&body, static_cast<uint32_t>(payloadSize));
  Put32(&body, static_cast<uint32_t>(size));
  Put32(&body, fileTime);
  Put32(&body, attributes);
  Put32(&body, Crc(data, size));
  body.push_back(method);
  body.push_back(method ? 5 : 0);  // quality
  Put16(&body, kDictionaryBits - 10);
  Put16(&body, 0);
  Put16(&body, static_cast<uint32_t>(name.size()));
  body.insert(body.end(), name.begin(), name.end());
  AppendHeader(&out_, body);
  if (payloadSize) out_.insert(out_.end(), payload, payload + payloadSize);
  last_.packedSize = static_cast<uint32_t>(payloadSize);
  last_.method = method;
  error_.clear();
  return true;
}
