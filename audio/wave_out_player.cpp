// Ring-buffer player: initial fill, refill thread, stop and close.
#include "audio/wave_out_player.h"

#include <algorithm>
#include <chrono>
#include <cstring>

WaveOutPlayer::WaveOutPlayer(AudioDevice* device) : device_(device) {}

WaveOutPlayer::~WaveOutPlayer() {
  Stop();
  Close();
}

bool WaveOutPlayer::Open(int rate, int channels) {
  if (deviceOpen_) Close();
  rate_ = rate;
  chunkFrames_ = rate * 20 / 1000;
  chunkFrames_ = (chunkFrames_ + 3) & ~3;  // next multiple of 4
  ringFrames_ = (kBufferMs / 20) * chunkFrames_ * 2;
  deviceOpen_ = device_ && device_->Open(rate, channels);
  return deviceOpen_;
}

void WaveOutPlayer::Start(const uint8_t* data, int size, const SeekPoint& from) {
  Stop();
  if (chunkFrames_ <= 0 || !data || size <= 0) return;
  // decoder set-up
  if (!decoder_) decoder_ = std::make_unique<Mp3Decoder>();
  decoder_->Init();
  pending_.assign(kPendingBytes, 0);
  scratch_.assign(kDecodeRoom, 0);
  pendingBytes_ = 0;
  seek_ = from.feedFrom < static_cast<size_t>(size) ? from : SeekPoint();
  feed_ = std::make_unique<Mp3Feed>(data + seek_.feedFrom, static_cast<size_t>(size) - seek_.feedFrom, kPieceBytes);
  // the ring, decoded whole before playing starts
  ring_.assign(static_cast<size_t>(ringFrames_) * 4, 0);
  filled_.store(0, std::memory_order_relaxed);
  chunkIndex_ = 0;
  do {
    FillChunk();
  } while (chunkIndex_ != 0);
  stopRequest_.store(false);
  threadDone_.store(false);
  running_ = true;
  thread_ = std::thread(&WaveOutPlayer::ThreadMain, this);
  if (device_) device_->PlayLoop(ring_.data(), ring_.size());
}

void WaveOutPlayer::TakeFrame(const uint8_t* pcm, int bytes) {
  const int channels = decoder_->Channels();
  const int frameBytes = 2 * channels;
  int skip = 0;  // sample frames before the seek point
  const uint64_t at = decoder_->FrameOffset();
  if (at < seek_.targetFrame) skip = bytes / frameBytes;
  else if (at == seek_.targetFrame) skip = std::min(seek_.skipSamples, bytes / frameBytes);
  pcm += skip * frameBytes;
  bytes -= skip * frameBytes;
  if (bytes <= 0) return;
  if (channels == 1) {
    // one channel: the same sample on both sides of the stereo device
    const int samples = bytes / 2;
    if (pendingBytes_ + samples * 4 > kPendingBytes) return;
    uint8_t* dst = pending_.data() + pendingBytes_;
    for (int i = 0; i < samples; ++i) {
      std::memcpy(dst + 4 * i, pcm + 2 * i, 2);
      std::memcpy(dst + 4 * i + 2, pcm + 2 * i, 2);
    }
    pendingBytes_ += samples * 4;
  } else {
    if (pendingBytes_ + bytes > kPendingBytes) return;
    std::memcpy(pending_.data() + pendingBytes_, pcm, static_cast<size_t>(bytes));
    pendingBytes_ += bytes;
  }
}

void WaveOutPlayer::FillChunk() {
  const int chunkBytes = ChunkBytes();
  while (pendingBytes_ <= chunkBytes && !feed_->Done()) {
    int produced = 0;
    const int r = feed_->Step(decoder_.get(), scratch_.data(), kDecodeRoom, &produced);
    if (r == Mp3Decoder::kError) break;  // cannot happen with this room
    if (r == Mp3Decoder::kFrameDecoded && produced > 0) TakeFrame(scratch_.data(), produced);
  }
  uint8_t* chunk = ring_.data() + static_cast<size_t>(chunkIndex_) * chunkBytes;
  if (pendingBytes_ >= chunkBytes) {
    std::memcpy(chunk, pending_.data(), static_cast<size_t>(chunkBytes));
    std::memmove(pending_.data(), pending_.data() + chunkBytes,
                 static_cast<size_t>(pendingBytes_ - chunkBytes));
    pendingBytes_ -= chunkBytes;
  } else {
    std::memset(chunk, 0, static_cast<size_t>(chunkBytes));  // the stream has ended: silence
  }
  chunkIndex_ = (chunkIndex_ + 1) % ChunkCount();
  filled_.fetch_add(1, std::memory_order_release);
}

void WaveOutPlayer::Refill() {
  if (!running_) return;
  const uint64_t played = device_ ? device_->PlayedBytes() : 0;
  const uint64_t playFrame = played / 4;
  busy_.store(true);
  const int target = static_cast<int>((playFrame % static_cast<uint64_t>(ringFrames_)) /
                                      static_cast<uint64_t>(chunkFrames_));
  while (chunkIndex_ != target) FillChunk();
  busy_.store(false);
}

void WaveOutPlayer::ThreadMain() {
  RaiseCurrentThreadPriority();
  threadDone_.store(false);
  while (!stopRequest_.load()) {
    Refill();
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  threadDone_.store(true);
}

void WaveOutPlayer::Stop() {
  stopRequest_.store(true);
  while (busy_.load()) {
  }
  if (thread_.joinable()) {
    while (!threadDone_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    thread_.join();
  }
  if (device_ && running_) device_->Stop();  // the device lets go of the ring before it is freed
  if (decoder_) decoder_->Exit();
  running_ = false;
  feed_.reset();
  std::vector<uint8_t>().swap(ring_);
  std::vector<uint8_t>().swap(pending_);
  pendingBytes_ = 0;
}

void WaveOutPlayer::Close() {
  if (deviceOpen_ && device_) device_->Close();
  deviceOpen_ = false;
}
