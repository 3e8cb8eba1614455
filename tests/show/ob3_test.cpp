#include "show/ob3.h"

#include <GL/gl.h>

#include <cmath>

#include "io/data_file.h"
#include "show/pictures.h"
#include "tests/io/image_writer.h"
#include "tests/show/gl_fixture.h"
#include "tests/show/show_writer.h"

namespace {

using testshow::Ob3Bytes;

bool Read(const std::vector<uint8_t>& bytes, Ob3Mesh* mesh) {
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  return ReadOb3(file, 1, mesh, 3, 1);
}

void ExpectVec(const float* v, float x, float y, float z) {
  EXPECT_NEAR(v[0], x, 1e-6);
  EXPECT_NEAR(v[1], y, 1e-6);
  EXPECT_NEAR(v[2], z, 1e-6);
}

TEST(Ob3, TriangleNormalsTextureCoordinatesAndStoredFields) {
  Ob3Mesh mesh;
  ASSERT_TRUE(Read(Ob3Bytes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 7, 128, 64, 0, 0, 256, 256}}), &mesh));
  ASSERT_EQ(mesh.vertexCount, 3);
  ASSERT_EQ(mesh.faceCount, 1);
  ExpectVec(&mesh.faceNormals[0], 0, 0, 1);
  for (int k = 0; k < 3; ++k) ExpectVec(&mesh.vertexNormals[k * 3], 0, 0, 1);
  const Ob3Face& face = mesh.faces[0];
  EXPECT_FLOAT_EQ(face.uv[0], 0.5f);  // s 128, t 64
  EXPECT_FLOAT_EQ(face.uv[1], 0.75f);
  EXPECT_FLOAT_EQ(face.uv[2], 0.0f);
  EXPECT_FLOAT_EQ(face.uv[3], 1.0f);
  EXPECT_FLOAT_EQ(face.uv[5], 0.0f);
  EXPECT_EQ(face.group, 8);  // + index base
  EXPECT_EQ(face.faceValue, 3);
  EXPECT_EQ(mesh.vertexOrder, (std::vector<int32_t>{0, 1, 2, 0, 0, 0, 0}));
  // Zero pose: the posed arrays are the values read.
  EXPECT_EQ(mesh.posedVertices, mesh.vertices);
  EXPECT_EQ(mesh.posedVertexNormals, mesh.vertexNormals);
}

TEST(Ob3, DegenerateFacesAddNothingAndSharedVerticesAverage) {
  Ob3Mesh mesh;
  // Two faces at right angles sharing the edge 0-1, and a degenerate face on vertex 0.
  ASSERT_TRUE(Read(Ob3Bytes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                            {{0, 1, 2, 0, 0, 0, 0, 0, 0, 0}, {0, 3, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
                   &mesh));
  ExpectVec(&mesh.faceNormals[3], 0, 1, 0);
  ExpectVec(&mesh.faceNormals[6], 0, 0, 0);
  const float h = 1.0f / std::sqrt(2.0f);
  ExpectVec(&mesh.vertexNormals[0], 0, h, h);
  ExpectVec(&mesh.vertexNormals[3], 0, h, h);
  ExpectVec(&mesh.vertexNormals[6], 0, 0, 1);
  ExpectVec(&mesh.vertexNormals[9], 0, 1, 0);
}

TEST(Ob3, LargeCoordinatesStillGiveUnitNormals) {
  // The squares of this normal pass the 32-bit range; the wide sum keeps the length right.
  Ob3Mesh mesh;
  ASSERT_TRUE(Read(Ob3Bytes({{0, 0, 0}, {30000, 0, 0}, {0, 30000, 0}}, {{0, 1, 2, 0, 0, 0, 0, 0, 0, 0}}), &mesh));
  ExpectVec(&mesh.faceNormals[0], 0, 0, 1);
}

TEST(Ob3, BadIndicesNegativeCountsAndShortFiles) {
  Ob3Mesh mesh;
  // Face 1 names vertex 3 of a 3-vertex mesh, face 2 a negative index: both left out.
  ASSERT_TRUE(Read(Ob3Bytes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                            {{0, 1, 2, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 3, 0, 0, 0, 0, 0, 0, 0}, {-1, 1, 2, 0, 0, 0, 0, 0, 0, 0}}),
                   &mesh));
  EXPECT_EQ(mesh.faceCount, 1);

  std::vector<uint8_t> negative = {0xFF, 0xFF, 0x02, 0x00};
  ASSERT_TRUE(Read(negative, &mesh));
  EXPECT_EQ(mesh.vertexCount, 0);
  EXPECT_EQ(mesh.faceCount, 0);  // the faces would name vertices of an empty mesh

  // Header promises 2 vertices; the file stops inside the first: only whole records count.
  ASSERT_TRUE(Read({0x02, 0x00, 0x00, 0x00, 0x05, 0x00}, &mesh));
  EXPECT_EQ(mesh.vertexCount, 0);
  EXPECT_TRUE(mesh.vertices.empty());
  EXPECT_NE(mesh.problem.find("claims 2 vertices and 0 faces"), std::string::npos) << mesh.problem;

  DataFile missing;
  missing.OpenMemory(nullptr, 0);
  EXPECT_FALSE(ReadOb3(missing, 1, &mesh, 3, 1));
  EXPECT_TRUE(mesh.vertices.empty());
}

// A forged header claiming the largest counts on a small file: only the records the bytes hold
// are read, so the mesh does not fill with tens of thousands of empty faces.
TEST(Ob3, CountsBeyondTheBytesAreCutToWhatTheFileHolds) {
  std::vector<uint8_t> bytes = testshow::StarOb3(300);
  ASSERT_EQ(bytes.size(), 4u + 11 * 6 + 10 * 20);
  bytes[0] = bytes[2] = 0xFF;
  bytes[1] = bytes[3] = 0x7F;
  Ob3Mesh mesh;
  ASSERT_TRUE(Read(bytes, &mesh));
  EXPECT_EQ(mesh.vertexCount, (270 - 4) / 6);
  EXPECT_EQ(mesh.faces.size(), 0u);
  EXPECT_NE(mesh.problem.find("claims 32767 vertices and 32767 faces (851946 bytes) but holds 270 bytes"),
            std::string::npos)
      << mesh.problem;

  // A file that holds what it claims has no problem.
  ASSERT_TRUE(Read(testshow::StarOb3(300), &mesh));
  EXPECT_EQ(mesh.faceCount, 10);
  EXPECT_TRUE(mesh.problem.empty());
}

TEST(Ob3, PoseTurnsAboutYThenZThenXAndMovesByTheOffset) {
  Ob3Mesh mesh;
  ASSERT_TRUE(Read(Ob3Bytes({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0, 0, 0, 0, 0, 0, 0}}), &mesh));
  const float quarter = static_cast<float>(M_PI / 2);
  mesh.angles[1] = quarter;  // y: x -> z
  mesh.offset[0] = 10.0f;
  PoseOb3(&mesh);
  ExpectVec(&mesh.posedVertices[0], 10, 0, 1);
  mesh.angles[1] = 0.0f;
  mesh.angles[2] = quarter;  // z: y -> x
  mesh.offset[0] = 0.0f;
  PoseOb3(&mesh);
  ExpectVec(&mesh.posedVertices[3], 1, 0, 0);
  mesh.angles[2] = 0.0f;
  mesh.angles[0] = quarter;  // x: z -> y, y -> -z
  PoseOb3(&mesh);
  ExpectVec(&mesh.posedVertices[6], 0, 1, 0);
  ExpectVec(&mesh.posedVertices[3], 0, 0, -1);
  // Normals turn without the offset.
  mesh.offset[2] = 5.0f;
  PoseOb3(&mesh);
  const float third = 1.0f / std::sqrt(3.0f);  // the face's normal (1, 1, 1) / sqrt 3, turned
  ExpectVec(&mesh.posedFaceNormals[0], third, third, -third);
}

class Ob3Gl : public GlTest {};

TEST_F(Ob3Gl, DisplayListDrawsTheMeshAndAMissingFileMakesNone) {
  std::string dir = testimg::FreshDir("ob3");
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/big.ob3",
                                 Ob3Bytes({{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}}, {{0, 1, 2, 0, 0, 0, 0, 0, 0, 0}})));
  DataSourceScope scope(DataSource{nullptr, dir});
  Ob3Mesh missing;
  EXPECT_FALSE(LoadOb3("data\\none.ob3", 1, &missing, 3, 1));
  EXPECT_EQ(missing.displayList, 0u);

  Ob3Mesh mesh;
  ASSERT_TRUE(LoadOb3("data\\big.ob3", 1, &mesh, 3, 1));
  ASSERT_NE(mesh.displayList, 0u);
  ClearTo(0, 0, 0);
  SetOverlayProjection();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glColor3f(1, 1, 1);
  glCallList(mesh.displayList);
  Grab();
  // The triangle covers the lower-right half of the view only.
  EXPECT_RGB_NEAR(At(60, 60), 255, 255, 255, 0);
  EXPECT_RGB_NEAR(At(3, 3), 0, 0, 0, 0);
}

}  // namespace
