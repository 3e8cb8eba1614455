// Mp3Feed: hands an MPEG audio stream held in memory to an Mp3Decoder the way the player does,
// one call at a time. Each step gives the decoder the next piece of the stream (64 bytes for the
// player) while its input queue has room for it, and no input while the queue is full (frames
// shorter than a piece fill it faster than one frame per call empties it); once the whole stream
// has been given, steps without input decode what is still queued until nothing moves.
//
//   Mp3Feed feed(mp3, size);                 // 64-byte pieces
//   while (!feed.Done()) {
//     int produced = 0;
//     if (feed.Step(&decoder, out, 5000, &produced) == Mp3Decoder::kFrameDecoded) ...
//   }
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/mp3_decoder.h"

class Mp3Feed {
 public:
  static constexpr int kPlayerPiece = 64;

  Mp3Feed(const uint8_t* data, size_t size, int piece = kPlayerPiece)
      : data_(data), size_(data ? size : 0), piece_(piece > 0 ? piece : kPlayerPiece) {}

  // One Decode call; returns its result (kError only for an output room below one frame).
  int Step(Mp3Decoder* decoder, uint8_t* out, int room, int* produced);
  // The whole stream has been given and the last step decoded nothing more.
  bool Done() const { return done_; }
  // Bytes of the stream given to the decoder so far.
  size_t Given() const { return offset_; }

 private:
  const uint8_t* data_;
  size_t size_;
  int piece_;
  size_t offset_ = 0;
  bool done_ = false;
};
