// Feeding a stream in memory to the decoder, piece by piece.
#include "audio/mp3_feed.h"

#include <algorithm>

int Mp3Feed::Step(Mp3Decoder* decoder, uint8_t* out, int room, int* produced) {
  if (produced) *produced = 0;
  if (done_) return Mp3Decoder::kNeedMore;
  const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(piece_), size_ - offset_));
  if (n > 0 && decoder->Buffered() + n <= Mp3Decoder::kQueueCapacity) {
    const int r = decoder->Decode(data_ + offset_, n, out, room, produced);
    if (r != Mp3Decoder::kError) offset_ += static_cast<size_t>(n);
    return r;
  }
  // The queue is full, or the stream has all been given: decode what is queued.
  const int before = decoder->Buffered();
  const uint64_t frameBefore = decoder->FrameOffset();
  const int r = decoder->Decode(nullptr, 0, out, room, produced);
  // No progress: the end of the stream (or, with a full queue, a decoder that cannot move on,
  // which must not hang the caller).
  if (r == Mp3Decoder::kNeedMore && decoder->Buffered() == before && decoder->FrameOffset() == frameBefore)
    done_ = true;
  return r;
}
