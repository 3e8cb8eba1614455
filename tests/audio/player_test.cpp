// WaveOutPlayer and AudioStream over the headless devices: ring sizes, the refill rhythm, the
// recording of a whole stream, mono and other rates, start and stop edge cases.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/audio_stream.h"
#include "audio/mp3_frames.h"
#include "audio/wave_out_player.h"
#include "audio_test_util.h"
#include "io/data_file.h"
#include "platform/audio_device.h"

namespace {
// Waits until the refill thread has caught up with the device position.
bool WaitForRefill(const WaveOutPlayer& player, const AudioDevice& device) {
  const uint64_t want = static_cast<uint64_t>(player.ChunkCount()) +
                        device.PlayedBytes() / static_cast<uint64_t>(player.ChunkBytes());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (player.FilledChunks() < want) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return player.FilledChunks() == want;
}

std::vector<uint8_t> MakeStream(const std::string& name, int rate, int channels, double seconds,
                                const std::string& options) {
  std::vector<uint8_t> mp3;
  if (!audiotest::HaveProgram("lame")) return mp3;
  std::string dir = audiotest::TempDir(name);
  const int n = static_cast<int>(rate * seconds);
  std::vector<int16_t> pcm(static_cast<size_t>(n) * channels);
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c)
      pcm[static_cast<size_t>(i) * channels + c] =
          static_cast<int16_t>(9000 * std::sin(2 * M_PI * (330 + 220 * c) * i / rate) *
                               (0.6 + 0.4 * std::sin(i * 0.0003)));
  if (!audiotest::WriteBytes(dir + "/in.wav", audiotest::MakeWav(pcm, rate, channels))) return mp3;
  if (!audiotest::Run("lame --quiet " + options + " '" + dir + "/in.wav' '" + dir + "/in.mp3'"))
    return mp3;
  audiotest::ReadBytes(dir + "/in.mp3", &mp3);
  return mp3;
}

TEST(WaveOutPlayer, RingSizesFollowTheRate) {
  auto device = CreateNullAudioDevice();
  WaveOutPlayer player(device.get());
  EXPECT_TRUE(player.Open(44100, 2));
  EXPECT_EQ(player.ChunkFrames(), 884);
  EXPECT_EQ(player.ChunkBytes(), 3536);
  EXPECT_EQ(player.RingFrames(), 132600);
  EXPECT_EQ(player.RingFrames() * 4, 530400);
  EXPECT_EQ(player.ChunkCount(), 150);
  player.Open(22050, 2);
  EXPECT_EQ(player.ChunkFrames(), 444);
  EXPECT_EQ(player.RingFrames(), 66600);
  player.Open(48000, 2);
  EXPECT_EQ(player.ChunkFrames(), 960);
  EXPECT_EQ(player.ChunkCount(), 150);
}

// Plays `mp3` into a WAV sink by the virtual clock, `stepMs` at a time, and returns the recording.
std::vector<int16_t> PlayIntoSink(const std::vector<uint8_t>& mp3, int ms, int* deviceRate, int stepMs = 50) {
  auto sink = CreateWavSinkAudioDevice();
  std::vector<int16_t> recording;
  {
    AudioStream stream(sink.get());
    stream.Start(mp3.data(), 44100, static_cast<int>(mp3.size()));
    EXPECT_TRUE(stream.Started());
    WaveOutPlayer& player = stream.Player();
    *deviceRate = player.Rate();
    EXPECT_EQ(player.FilledChunks(), static_cast<uint64_t>(player.ChunkCount()));
    for (int t = 0; t < ms; t += stepMs) {
      sink->AdvanceMs(static_cast<uint64_t>(stepMs));
      EXPECT_TRUE(WaitForRefill(player, *sink)) << "at " << t << " ms";
    }
    std::vector<uint8_t> bytes = sink->Recording();
    recording.resize(bytes.size() / 2);
    std::memcpy(recording.data(), bytes.data(), recording.size() * 2);
    stream.Stop();
    stream.Stop();
  }
  return recording;
}

// What the decoder gives for the whole stream (what mp3dec writes), as the player would play it:
// stereo, cut to whole chunks, then silence.
void ExpectRecordingMatches(const std::vector<int16_t>& rec, const audiotest::Decoded& ref,
                            int chunkFrames) {
  std::vector<int16_t> stereo;
  if (ref.channels == 1) {
    for (int16_t s : ref.pcm) {
      stereo.push_back(s);
      stereo.push_back(s);
    }
  } else {
    stereo = ref.pcm;
  }
  const size_t chunkSamples = static_cast<size_t>(chunkFrames) * 2;
  const size_t whole = stereo.size() / chunkSamples * chunkSamples;
  ASSERT_GT(rec.size(), whole) << "recording shorter than the stream";
  for (size_t i = 0; i < whole; ++i)
    ASSERT_EQ(rec[i], stereo[i]) << "sample " << i << " of " << whole;
  for (size_t i = whole; i < rec.size(); ++i) ASSERT_EQ(rec[i], 0) << "sample " << i;
}

TEST(WaveOutPlayer, RecordingOfAStreamEqualsTheDecodersOutput) {
  std::vector<uint8_t> mp3 = MakeStream("player_10s", 44100, 2, 10.0, "-t -b 128 -m j");
  if (mp3.empty()) GTEST_SKIP() << "lame not installed";
  int rate = 0;
  std::vector<int16_t> rec = PlayIntoSink(mp3, 14000, &rate);
  EXPECT_EQ(rate, 44100);
  ExpectRecordingMatches(rec, audiotest::DecodeStream(mp3, 4096), 884);
}

TEST(WaveOutPlayer, MonoStreamPlaysOnBothChannelsAtItsOwnRate) {
  std::vector<uint8_t> mp3 = MakeStream("player_mono", 22050, 1, 4.0, "-t -b 32 -m m");
  if (mp3.empty()) GTEST_SKIP() << "lame not installed";
  int rate = 0;
  std::vector<int16_t> rec = PlayIntoSink(mp3, 6000, &rate);
  EXPECT_EQ(rate, 22050);
  ExpectRecordingMatches(rec, audiotest::DecodeStream(mp3, 4096), 444);
}

// 8 kbit/s at 24 kHz: 24-byte frames, shorter than the 64-byte pieces the player feeds. The
// decoder's queue grows by 40 bytes a call until it is full (after about 27 s of this stream),
// and when the whole stream has been given it still holds most of it: the player must decode
// what is queued rather than stall, and go on after the last piece.
TEST(WaveOutPlayer, FramesShorterThanAPiecePlayToTheEnd) {
  std::vector<uint8_t> mp3 = MakeStream("player_24_byte_frames", 24000, 1, 36.0, "-t -b 8 -m m --resample 24");
  if (mp3.empty()) GTEST_SKIP() << "lame not installed";
  ASSERT_EQ(FrameLength(Mp3Decoder::DecodeHeader(HeaderWord(mp3.data()))), 24);
  int rate = 0;
  std::vector<int16_t> rec = PlayIntoSink(mp3, 40000, &rate, 400);
  EXPECT_EQ(rate, 24000);
  audiotest::Decoded ref = audiotest::DecodeStream(mp3);
  EXPECT_GT(ref.pcm.size(), 24000u * 35);
  ExpectRecordingMatches(rec, ref, 480);
}

TEST(WaveOutPlayer, RefillFillsOnlyTheChunksPlayedSinceTheLastPass) {
  auto device = CreateNullAudioDevice();
  WaveOutPlayer player(device.get());
  player.Open(44100, 2);
  std::vector<uint8_t> silence(20000, 0);  // no frames at all: the ring is silence
  player.Start(silence.data(), static_cast<int>(silence.size()));
  EXPECT_EQ(player.FilledChunks(), 150u);
  device->AdvanceMs(10);  // 441 frames: still inside chunk 0
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_EQ(player.FilledChunks(), 150u);
  device->AdvanceMs(11);  // 926 frames: chunk 0 has been played
  EXPECT_TRUE(WaitForRefill(player, *device));
  EXPECT_EQ(player.FilledChunks(), 151u);
  device->AdvanceMs(1000);
  EXPECT_TRUE(WaitForRefill(player, *device));
  EXPECT_EQ(player.FilledChunks(), 150u + 1021u * 44100u / 1000u / 884u);
  player.Stop();
  player.Stop();
  player.Close();
  player.Close();
  EXPECT_FALSE(player.Running());
}

TEST(AudioStream, MissingFileMeansSilenceAndStopIsSafe) {
  DataSource source;
  source.dataDir = audiotest::TempDir("stream_missing");
  DataSourceScope scope(source);
  auto device = CreateNullAudioDevice();
  AudioStream stream(device.get());
  stream.Stop();  // nothing started
  stream.Start("music\\none.mp3", 44100, 0);
  EXPECT_FALSE(stream.Started());
  stream.Stop();
  stream.Stop();
}

TEST(AudioStream, FileStartReadsThroughDataFile) {
  std::vector<uint8_t> mp3 = MakeStream("stream_file", 32000, 2, 1.0, "-t -b 96");
  if (mp3.empty()) GTEST_SKIP() << "lame not installed";
  std::string dir = audiotest::TempDir("stream_file_data");
  ASSERT_TRUE(audiotest::WriteBytes(dir + "/song.mp3", mp3));
  DataSource source;
  source.dataDir = dir;
  DataSourceScope scope(source);
  auto device = CreateNullAudioDevice();
  AudioStream stream(device.get());
  stream.Start("song.mp3", 44100, 0);
  ASSERT_TRUE(stream.Started());
  EXPECT_EQ(stream.Player().Rate(), 32000);  // the stream's rate, not the one asked for
  stream.Stop();
  EXPECT_FALSE(stream.Started());
  stream.Start("song.mp3", 44100, 0);  // a restart decodes from the first byte again
  EXPECT_TRUE(stream.Started());
}

TEST(AudioStream, DeviceThatCannotOpenMeansASilentRun) {
  class NoDevice : public AudioDevice {
   public:
    bool Open(int, int) override { return false; }
    void PlayLoop(const uint8_t*, size_t) override {}
    uint64_t PlayedBytes() const override { return 0; }
    void Stop() override {}
    void Close() override {}
  } device;
  std::vector<uint8_t> data(5000, 0);
  AudioStream stream(&device);
  stream.Start(data.data(), 44100, static_cast<int>(data.size()));
  EXPECT_TRUE(stream.Started());
  EXPECT_FALSE(stream.Player().DeviceOpen());
  EXPECT_TRUE(stream.Player().Running());
  stream.Stop();
}

}  // namespace
