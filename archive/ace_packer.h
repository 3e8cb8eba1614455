// AcePacker: writes ACE archives that AceArchive reads back bit-exactly. Each member is packed
// with LZ77 over a 2^20-byte window (hash chains, lazy matching, the four-entry distance
// cache) and Huffman codes per block, or stored when that does not make it smaller. Names are
// stored as given ("DATA\\sky.jpg", "script.txt"). In a solid archive members share one
// dictionary, so later members may copy from earlier ones.
//
//   AcePacker packer(/*solid=*/true);
//   packer.AddMember("script.txt", bytes, n);
//   write(packer.Bytes());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class AcePacker {
 public:
  struct Added {
    uint32_t packedSize = 0;
    uint8_t method = 0;
  };
  static constexpr size_t kMaxNameLength = 2000;

  explicit AcePacker(bool solid = false);
  ~AcePacker();
  AcePacker(const AcePacker&) = delete;
  AcePacker& operator=(const AcePacker&) = delete;

  // Appends one member. False (and nothing appended) when the name is empty or too long or
  // the data is larger than 2 GiB - 1; Error() says which.
  bool AddMember(const std::string& name, const uint8_t* data, size_t size, uint32_t fileTime = 0,
                 uint32_t attributes = 0x20);
  const std::vector<uint8_t>& Bytes() const { return out_; }
  const Added& LastAdded() const { return last_; }
  const std::string& Error() const { return error_; }
  bool Solid() const { return solid_; }

  // Packs data as one method-1 stream (no headers), starting with an empty dictionary. For
  // tests and measurements of the coder itself.
  static std::vector<uint8_t> PackStream(const uint8_t* data, size_t size);

 private:
  struct Coder;
  Coder* coder_;
  bool solid_;
  std::vector<uint8_t> out_;
  Added last_;
  std::string error_;
};
