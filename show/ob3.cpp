#include "show/ob3.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/data_file.h"
#include "platform/log.h"

namespace {

// A little-endian signed 16-bit value; 0 where the file has ended.
int16_t ReadShort(DataFile& file) {
  uint8_t bytes[2] = {0, 0};
  file.Read(bytes, 2);
  return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// One point turned by the pose angles (y first, then z, then x) and moved by offset.
void Turn(const float* in, const float* angles, const float* offset, float* out) {
  const float x = in[0], y = in[1], z = in[2];
  const float ca = std::cos(angles[0]), sa = std::sin(angles[0]);
  const float cb = std::cos(angles[1]), sb = std::sin(angles[1]);
  const float cg = std::cos(angles[2]), sg = std::sin(angles[2]);
  const float x1 = x * cb - z * sb;
  const float z1 = z * cb + x * sb;
  const float y1 = y * cg - x1 * sg;
  const float x2 = x1 * cg + y * sg;
  const float y2 = y1 * ca + z1 * sa;
  const float z2 = z1 * ca - y1 * sa;
  out[0] = x2 + offset[0];
  out[1] = y2 + offset[1];
  out[2] = z2 + offset[2];
}

}  // namespace

bool ReadOb3(DataFile& file, int32_t computeNormals, Ob3Mesh* mesh, int32_t faceValue, int32_t indexBase) {
  *mesh = Ob3Mesh{};
  if (file.HasError()) return false;
  int32_t v = ReadShort(file);
  int32_t f = ReadShort(file);
  if (v < 0 || f < 0) Log("ob3: negative count (%d vertices, %d faces) read as 0", v, f);
  v = v < 0 ? 0 : v;
  f = f < 0 ? 0 : f;
  // 4 bytes of counts, 6 a vertex, 20 a face: keep only whole records the file holds.
  const int64_t size = file.GetSize();
  if (4 + int64_t{v} * 6 + int64_t{f} * 20 > size) {
    const int32_t claimedV = v, claimedF = f;
    const int64_t room = size > 4 ? size - 4 : 0;
    v = static_cast<int32_t>(std::min<int64_t>(v, room / 6));
    f = static_cast<int32_t>(std::min<int64_t>(f, (room - int64_t{v} * 6) / 20));
    char text[160];
    std::snprintf(text, sizeof text,
                  "claims %d vertices and %d faces (%lld bytes) but holds %lld bytes; read as %d and %d", claimedV,
                  claimedF, static_cast<long long>(4 + int64_t{claimedV} * 6 + int64_t{claimedF} * 20),
                  static_cast<long long>(size), v, f);
    mesh->problem = text;
    Log("ob3: %s", text);
  }

  mesh->vertexCount = v;
  mesh->faceValue = faceValue;
  mesh->indexBase = indexBase;
  mesh->vertices.resize(static_cast<size_t>(v) * 3);
  mesh->posedVertices.resize(static_cast<size_t>(v) * 3);
  mesh->vertexNormals.assign(static_cast<size_t>(v) * 3, 0.0f);
  mesh->posedVertexNormals.assign(static_cast<size_t>(v) * 3, 0.0f);
  mesh->vertexOrder.assign(static_cast<size_t>(v) + 4, 0);
  for (int32_t i = 0; i < v; ++i) mesh->vertexOrder[static_cast<size_t>(i)] = i;

  for (size_t i = 0; i < mesh->vertices.size(); ++i) {
    mesh->vertices[i] = static_cast<float>(ReadShort(file));
    mesh->posedVertices[i] = mesh->vertices[i];
  }

  mesh->faces.reserve(static_cast<size_t>(f));
  int32_t dropped = 0;
  for (int32_t i = 0; i < f; ++i) {
    Ob3Face face;
    face.a = ReadShort(file);
    face.b = ReadShort(file);
    face.c = ReadShort(file);
    face.group = ReadShort(file) + indexBase;
    face.faceValue = faceValue;
    for (int k = 0; k < 3; ++k) {
      const double s = ReadShort(file);
      const double t = ReadShort(file);
      face.uv[k * 2] = static_cast<float>(s / 256.0);
      face.uv[k * 2 + 1] = static_cast<float>(1.0 - t / 256.0);
    }
    // Every index must name a vertex of this mesh; the normals and the display list rely on it.
    if (face.a < 0 || face.a >= v || face.b < 0 || face.b >= v || face.c < 0 || face.c >= v) {
      ++dropped;
      continue;
    }
    mesh->faces.push_back(face);
  }
  if (dropped) Log("ob3: %d faces name vertices outside the mesh and are left out", dropped);
  mesh->faceCount = static_cast<int32_t>(mesh->faces.size());
  mesh->faceNormals.assign(mesh->faces.size() * 3, 0.0f);
  mesh->posedFaceNormals.assign(mesh->faces.size() * 3, 0.0f);

  mesh->computeNormals = computeNormals;
  if (computeNormals) ComputeOb3Normals(mesh);
  PoseOb3(mesh);
  return true;
}

void ComputeOb3Normals(Ob3Mesh* mesh) {
  const float* p = mesh->vertices.data();
  for (size_t i = 0; i < mesh->faces.size(); ++i) {
    const Ob3Face& face = mesh->faces[i];
    const float* va = p + face.a * 3;
    const float* vb = p + face.b * 3;
    const float* vc = p + face.c * 3;
    const float px = vb[0] - va[0], py = vb[1] - va[1], pz = vb[2] - va[2];
    const float qx = vc[0] - va[0], qy = vc[1] - va[1], qz = vc[2] - va[2];
    const float nx = py * qz - pz * qy;
    const float ny = pz * qx - px * qz;
    const float nz = px * qy - py * qx;
    // Each square is cut to a whole number before summing; the sum is kept wide so large
    // coordinates cannot wrap it.
    const double sum = std::trunc(static_cast<double>(nx * nx)) + std::trunc(static_cast<double>(ny * ny)) +
                       std::trunc(static_cast<double>(nz * nz));
    const float length = static_cast<float>(std::sqrt(sum));
    float* n = &mesh->faceNormals[i * 3];
    if (length == 0.0f) {
      n[0] = n[1] = n[2] = 0.0f;
    } else {
      n[0] = nx / length;
      n[1] = ny / length;
      n[2] = nz / length;
    }
  }
  std::fill(mesh->vertexNormals.begin(), mesh->vertexNormals.end(), 0.0f);
  for (size_t i = 0; i < mesh->faces.size(); ++i) {
    const Ob3Face& face = mesh->faces[i];
    const float* n = &mesh->faceNormals[i * 3];
    // A face naming a vertex twice is degenerate and its normal is zero, so counting per corner
    // is the same as counting per face.
    for (int32_t k : {face.a, face.b, face.c}) {
      float* out = &mesh->vertexNormals[static_cast<size_t>(k) * 3];
      out[0] += n[0];
      out[1] += n[1];
      out[2] += n[2];
    }
  }
  for (size_t k = 0; k < mesh->vertexNormals.size(); k += 3) {
    float* n = &mesh->vertexNormals[k];
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length == 0.0f) {
      n[0] = n[1] = n[2] = 0.0f;
    } else {
      n[0] /= length;
      n[1] /= length;
      n[2] /= length;
    }
  }
}

void PoseOb3(Ob3Mesh* mesh) {
  const float noOffset[3] = {0.0f, 0.0f, 0.0f};
  for (size_t k = 0; k < mesh->vertices.size(); k += 3)
    Turn(&mesh->vertices[k], mesh->angles, mesh->offset, &mesh->posedVertices[k]);
  if (!mesh->computeNormals) return;
  for (size_t k = 0; k < mesh->faceNormals.size(); k += 3)
    Turn(&mesh->faceNormals[k], mesh->angles, noOffset, &mesh->posedFaceNormals[k]);
  for (size_t k = 0; k < mesh->vertexNormals.size(); k += 3)
    Turn(&mesh->vertexNormals[k], mesh->angles, noOffset, &mesh->posedVertexNormals[k]);
}

void CompileOb3(Ob3Mesh* mesh) {
  mesh->cornerPositions.clear();
  mesh->cornerNormals.clear();
  mesh->cornerTexCoords.clear();
  mesh->displayList = glGenLists(1);
  glNewList(mesh->displayList, GL_COMPILE);
  glBegin(GL_TRIANGLES);
  for (const Ob3Face& face : mesh->faces) {
    const int32_t corners[3] = {face.a, face.b, face.c};
    for (int k = 0; k < 3; ++k) {
      const size_t at = static_cast<size_t>(corners[k]) * 3;
      glTexCoord2f(face.uv[k * 2], face.uv[k * 2 + 1]);
      glNormal3fv(&mesh->posedVertexNormals[at]);
      glVertex3fv(&mesh->posedVertices[at]);
      mesh->cornerTexCoords.insert(mesh->cornerTexCoords.end(), {face.uv[k * 2], face.uv[k * 2 + 1]});
      mesh->cornerNormals.insert(mesh->cornerNormals.end(), &mesh->posedVertexNormals[at], &mesh->posedVertexNormals[at] + 3);
      mesh->cornerPositions.insert(mesh->cornerPositions.end(), &mesh->posedVertices[at], &mesh->posedVertices[at] + 3);
    }
  }
  glEnd();
  glEndList();
}

bool Ob3Drawable(const Ob3Mesh& mesh) {
  const size_t corners = mesh.cornerPositions.size() / 3;
  return mesh.displayList != 0 && corners > 0 && mesh.cornerPositions.size() == corners * 3 &&
         mesh.cornerNormals.size() == corners * 3 && mesh.cornerTexCoords.size() == corners * 2;
}

void LeaveOb3Current(const Ob3Mesh& mesh, float red, float green, float blue) {
  if (Ob3Drawable(mesh)) {
    // What the list leaves: its last corner's normal and texture coordinate.
    const size_t corners = mesh.cornerPositions.size() / 3;
    glNormal3fv(&mesh.cornerNormals[(corners - 1) * 3]);
    glTexCoord2fv(&mesh.cornerTexCoords[(corners - 1) * 2]);
  }
  glColor3f(red, green, blue);
}

bool LoadOb3(const char* name, int32_t computeNormals, Ob3Mesh* mesh, int32_t faceValue, int32_t indexBase) {
  DataFile file;
  file.Open(name, "rb");
  if (!ReadOb3(file, computeNormals, mesh, faceValue, indexBase)) {
    mesh->problem = OpenProblemText(file.Problem());
    Log("ob3: %s %s", name, mesh->problem.c_str());
    return false;
  }
  file.Close();
  CompileOb3(mesh);
  return true;
}
