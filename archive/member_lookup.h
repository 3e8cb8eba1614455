// What the data files need from an archive: the bytes and size of a member by name.
// Names compare without regard to ASCII letter case. A lookup that finds nothing returns
// null and -1 respectively.
#pragma once

#include <cstdint>

class MemberLookup {
 public:
  virtual ~MemberLookup() = default;
  virtual const uint8_t* GetMemberData(const char* name) const = 0;
  virtual int32_t GetMemberSize(const char* name) const = 0;
};
