// Fuzzes the OB3 mesh reader with normals and pose (everything but the GL display list).
#include <cstddef>
#include <cstdint>

#include "io/data_file.h"
#include "show/ob3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  DataFile file;
  file.OpenMemory(data, static_cast<int32_t>(size));
  Ob3Mesh mesh;
  ReadOb3(file, 1, &mesh, 3, 1);
  // A pose from the first bytes exercises the turning of vertices and normals.
  if (size >= 3) {
    mesh.angles[0] = data[0] * 0.1f;
    mesh.angles[1] = data[1] * 0.1f;
    mesh.angles[2] = data[2] * 0.1f;
    PoseOb3(&mesh);
  }
  return 0;
}
