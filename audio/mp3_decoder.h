// MPEG audio decoder: layers I, II and III of MPEG-1, MPEG-2 (lower sampling frequencies) and the
// MPEG-2.5 extension, to 16-bit PCM scaled so that full scale is 28000 and truncated toward zero.
//
// The stream is fed in pieces of any size; each Decode call appends its piece to the decoder's
// input queue and decodes at most one frame:
//   Mp3Decoder dec;                 // ready to use (Init has run)
//   int produced = 0;
//   int r = dec.Decode(piece, 64, out, 5000, &produced);
//   // r == 0: a frame was decoded, `produced` bytes of interleaved PCM written to out
//   // r == 1: more input is needed;  r == -1: output room below 4608 bytes or the queue is full
// Pass no input (nullptr, 0) to go on decoding what is already queued; Mp3Feed
// (mp3_feed.h) feeds a stream in memory the way the player does. A stream's output has the
// channel count of its first frame (mono: one sample per time step) and the stream's sampling
// rate: see SampleRate()/Channels() after the first decoded frame. A stream whose channel count
// changes part-way (a header of the other layout, confirmed by the next header where its frame
// ends) keeps that output format: one channel is played on both sides, two are mixed down.
//
// The decoder allocates nothing while decoding: all state and the input queue live in the
// object (about 64 KB; allocate it on the heap), the tables are constant data
// (mp3_tables.h). One thread at a time may use an instance.
#pragma once

#include <cstddef>
#include <cstdint>

class Mp3Decoder {
 public:
  static constexpr int kMinOutputRoom = 4608;   // room needed by Decode, in bytes
  static constexpr int kQueueCapacity = 16384;  // bytes of input the queue can hold
  static constexpr int kFullScale = 28000;      // PCM value of a full-scale sine

  enum : int { kFrameDecoded = 0, kNeedMore = 1, kError = -1 };

  Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  // Clears the whole state (input queue, reservoir, synthesis and overlap history) and builds
  // the tables. Run by the constructor; run it again to decode a new stream from its start.
  void Init();

  // Appends `input` (may be null when inputSize is 0) to the queue and decodes at most one
  // frame into `output` (interleaved little-endian int16). See the header comment for results.
  // Nothing is consumed when -1 is returned.
  int Decode(const uint8_t* input, int inputSize, uint8_t* output, int outputRoom, int* produced);

  // Empties the input queue.
  void Exit();

  // When set, every Decode that writes PCM also writes the same samples before quantisation,
  // divided by 28000, as floats at `out` (room for outputRoom / 2 floats). Null to stop.
  void SetFloatOutput(float* out) { floatOut_ = out; }
  // For tests: when set, every decoded layer III frame also writes the spectrum of each granule
  // and channel as the hybrid filterbank receives it (requantised, after stereo processing;
  // 576 floats each, granule by granule, left channel first) at `out` (room for 4 x 576
  // floats). Null to stop.
  void SetSpectrumOutput(float* out) { spectrumOut_ = out; }
  // Floats of spectrum the last Decode call wrote.
  int SpectrumValues() const { return spectrumValues_; }

  // Properties of the current (last parsed) frame; 0 before the first header.
  int SampleRate() const;
  int FrameChannels() const { return hdr_.valid ? hdr_.channels : 0; }
  // Channels of the output: the first frame's count, whatever later frames have.
  int Channels() const { return outputChannels_; }
  // Stream offset of the current frame's header: bytes taken from the queue since Init before
  // it (all input bytes count, those of the Xing frame and of damage included).
  uint64_t FrameOffset() const { return frameOffset_; }
  // How many times the channel count has changed from one frame to the next.
  int LayoutChanges() const { return layoutChanges_; }
  int Layer() const { return hdr_.valid ? hdr_.layer : 0; }
  int Bitrate() const;  // kbit/s, 0 for free format
  bool XingFound() const { return xingFound_; }
  uint32_t XingFrames() const { return xingFrames_; }
  int Buffered() const { return buffered_; }

  // Header helpers, exposed for tests and tools.
  struct Header {
    bool valid = false;
    int lsf = 0, mpeg25 = 0, layer = 0, errorProtection = 0, bitrateIndex = 0;
    int samplingIndex = 0, padding = 0, extension = 0, mode = 0, modeExtension = 0;
    int copyright = 0, original = 0, emphasis = 0, channels = 0;
    int frameSize = 0;  // bytes after the 4 header bytes; 0 for free-format layer III
  };
  // True when `word` has the sync bits, a layer, a usable bitrate and sampling index, and
  // (requiredLayer != 0) the given layer.
  static bool CheckHeader(uint32_t word, int requiredLayer);
  static Header DecodeHeader(uint32_t word);
  static int SamplingFrequency(int samplingIndex);
  // A Xing tag frame at the start of a stream is skipped whole: the tag's offset in a frame with
  // header h, the tag frame's length (0 when it has none to skip), and whether the `size` bytes
  // at `frame` begin such a frame.
  static int XingTagOffset(const Header& h);
  static int XingFrameLength(const Header& h);
  static bool HasXingTag(const uint8_t* frame, size_t size);

  // Converts one synthesis sum to a sample: clipped to 16 bits, truncated toward zero.
  static int16_t ToPcm(float sum) {
    if (sum > 32767.0f) return 32767;
    if (sum < -32768.0f) return -32768;
    return static_cast<int16_t>(sum);
  }

  // Fast matrixing of the synthesis filterbank, exposed for tests: V[0..63] from 32 subband
  // samples, V[i] = sum_k cos((16 + i)(2k + 1) pi / 64) s[k].
  void Matrix(const float* subbands, float* v) const;

 private:
  struct Granule {
    int part23 = 0, bigValues = 0, globalGain = 0, sfCompress = 0;
    int windowSwitching = 0, blockType = 0, mixed = 0;
    int table[3] = {0, 0, 0};
    int subblockGain[3] = {0, 0, 0};
    int region1 = 0, region2 = 0;  // in lines
    int preflag = 0, sfScale = 0, count1Table = 0;
  };

  // input queue (a ring)
  bool Append(const uint8_t* data, int n);
  uint8_t PeekByte(int i) const { return queue_[(head_ + i) & (kQueueCapacity - 1)]; }
  void Take(uint8_t* dst, int n);
  void Skip(int n);
  // Bytes before the next header (-1: none yet; *pending, when given, is set to the position
  // of a header of another layout that waits for the bytes confirming it).
  int Search(bool freeMatch, int* pending = nullptr) const;
  void OutOfSync(int n);

  bool ReadSideInfo(int* mainDataBits);
  void DecodeLayer3(uint8_t* out, int* produced);
  void DecodeLayer2(uint8_t* out, int* produced);
  void DecodeLayer1(uint8_t* out, int* produced);
  int ReadScaleFactors(int ch, int gr);
  // The granule's quantised values; false when its big values ran past endBit (damage).
  bool HuffmanDecode(int ch, const Granule& g, int endBit);
  void Dequantise(int ch, const Granule& g, bool ms);
  void StereoProcess(const Granule& gl, const Granule& gr);
  void Hybrid(int ch, const Granule& g);
  // The window stage of the synthesis for an already matrixed time slot: 32 sums of channel ch.
  void WindowSums(int ch, const float* v, float* sums);
  // Sums to 16-bit samples (and floats) at every `stride`th position.
  static void StoreSlot(const float* sums, int16_t* out, int stride, float* fout);
  // One time slot of the frame's channels (matrixed) to the output's channels at `out`.
  void EmitSlot(const float* v0, const float* v1, int16_t* out, float* fout);
  // Matrix() of four time slots at once.
  void Matrix4(const float* const* subbands, float (*v)[64]) const;

  // bit reader over the current reservoir buffer
  uint32_t Bits(int n);
  int Bit() { return static_cast<int>(Bits(1)); }

  void BuildTables();

 public:
  static constexpr int kReservoirData = 4096;  // largest frame body the reservoir holds
  static constexpr int kReservoirSize = 512 + kReservoirData + 8;

 private:
  // tables (the constant ones are in mp3_tables.h)
  bool tablesBuilt_ = false;
  float window_[512];        // synthesis window D scaled by 28000

  // queue
  uint8_t queue_[kQueueCapacity];
  int head_ = 0;
  int buffered_ = 0;
  uint64_t consumed_ = 0;  // bytes taken from the queue since Init

  // frame state
  Header hdr_;
  uint64_t frameOffset_ = 0;  // stream offset of hdr_'s first byte
  int outputChannels_ = 0;    // the first frame's channel count, kept for the whole stream
  int layoutChanges_ = 0;
  uint32_t headerWord_ = 0;
  int frameSize_ = 0;
  int previousFrameSize_ = -1;
  int reservoirAvail_ = 0;  // main-data bytes in the previous buffer, ending at its frame's end
  int copiedBack_ = 0;      // main_data_begin bytes this frame took from the previous buffer
  int previousNoPadding_ = 0;
  int sideInfoSize_ = 0;
  int mainDataSize_ = 0;
  bool headerParsed_ = false, sideInfoParsed_ = false, dataParsed_ = false;
  bool freeFormat_ = false, previousFreeFormat_ = false;
  bool damaged_ = false;
  bool xingFound_ = false;
  uint32_t xingFrames_ = 0;

  uint8_t reservoir_[2][kReservoirSize];
  int reservoirIndex_ = 0;
  const uint8_t* bitBuf_ = nullptr;
  int bitPos_ = 0;  // bit position in bitBuf_
  int bitEnd_ = 0;  // hard end: no bit at or past this is read (zeros instead)

  // layer III state
  int mainDataBegin_ = 0;
  int scfsi_[2] = {0, 0};
  Granule granule_[2][2];
  int scaleLong_[2][22];
  int scaleShort_[2][13][3];
  int isStartLong_ = 22;  // computed per granule for the right channel
  int isStartShort_[3] = {13, 13, 13};
  int quant_[2][576];
  int quantEnd_[2] = {0, 0};  // lines decoded (rest are zero)
  int lineLimit_[2] = {576, 576};  // lines of xr_ that may be nonzero
  float xr_[2][576];
  float overlap_[2][576];
  float subband_[2][18][32];

  // synthesis state
  float history_[2][2048];
  int vpos_ = 0;

  float* floatOut_ = nullptr;
  float* spectrumOut_ = nullptr;
  int spectrumValues_ = 0;
};
