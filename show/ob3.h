// OB3 meshes: a small triangle mesh with 16-bit coordinates and texture coordinates in 1/256
// units, read into an Ob3Mesh with face and vertex normals and compiled into a display list.
// The effects load one, "data\star.ob3", and draw it for every ring member in a colour of its
// own, from the same corners the list holds (all members of a frame in one batch).
//
//   Ob3Mesh star;
//   LoadOb3("data\\star.ob3", 1, &star, 3, 1);   // needs a current GL context
//   glCallList(star.displayList);
//
// ReadOb3 does everything but the display list and needs no GL context (tools, tests, fuzzing).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DataFile;

struct Ob3Face {
  int32_t a = 0, b = 0, c = 0;  // vertex indices
  int32_t group = 0;            // the file's group number + the index base (not used to draw)
  int32_t faceValue = 0;        // the caller's face value (not used to draw)
  float uv[6] = {};             // u, v of corners a, b, c
};

struct Ob3Mesh {
  int32_t vertexCount = 0;
  int32_t faceCount = 0;
  int32_t faceValue = 0;
  int32_t indexBase = 0;
  float angles[3] = {};  // pose: turns about x, y, z in radians
  float offset[3] = {};
  int32_t computeNormals = 0;
  std::vector<float> vertices;  // 3 floats a vertex
  std::vector<float> posedVertices;
  std::vector<Ob3Face> faces;
  std::vector<float> faceNormals, posedFaceNormals;      // 3 floats a face
  std::vector<float> vertexNormals, posedVertexNormals;  // 3 floats a vertex
  std::vector<int32_t> vertexOrder;                      // 0 .. V - 1, then 4 spare entries
  uint32_t displayList = 0;
  // The faces unrolled corner by corner, as the list draws them, for vertex arrays: positions
  // and normals 3 floats a corner, texture coordinates 2. Made with the list.
  std::vector<float> cornerPositions, cornerNormals, cornerTexCoords;
  // What was wrong with the file ("not found", counts the bytes cannot hold); empty when fine.
  std::string problem;
};

// Reads the mesh from an open file. A face naming a vertex outside the mesh is left out (and
// logged); negative counts read as 0. Counts that claim more vertices or faces than the file's
// bytes hold are cut to the records it does hold (and noted in mesh->problem): a forged count
// must not fill the mesh with thousands of empty faces. Returns false only when the file could
// not be opened.
bool ReadOb3(DataFile& file, int32_t computeNormals, Ob3Mesh* mesh, int32_t faceValue, int32_t indexBase);

// Opens the file through DataFile, reads it and compiles the display list. A missing file
// leaves the mesh empty with no list (calling list 0 draws nothing). Returns false then.
bool LoadOb3(const char* name, int32_t computeNormals, Ob3Mesh* mesh, int32_t faceValue, int32_t indexBase);

// Face normals (cross product over a length whose squares are truncated to integers first)
// and vertex normals (normalised sums of the normals of the faces using the vertex).
void ComputeOb3Normals(Ob3Mesh* mesh);

// Turns the vertices (and, with normals, the normals without the offset) by the pose into the
// posed arrays.
void PoseOb3(Ob3Mesh* mesh);

// Compiles (does not run) one triangle list of every face into mesh->displayList, and unrolls
// the same corners into the corner arrays.
void CompileOb3(Ob3Mesh* mesh);

// True when the mesh was compiled and its corner arrays agree (what the drawing above needs).
bool Ob3Drawable(const Ob3Mesh& mesh);

// Sets the current colour, normal and texture coordinate as calling the list after glColor3f
// leaves them (for a mesh drawn some other way, such as many copies in one batch); only the
// colour where the mesh is not drawable.
void LeaveOb3Current(const Ob3Mesh& mesh, float red, float green, float blue);
