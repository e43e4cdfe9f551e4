#define GL_GLEXT_PROTOTYPES 1
#include "app/gui/mesh_buffers.h"

#include <GL/glext.h>

#include <cstring>

MeshBuffers::~MeshBuffers() {
  const GLuint buffers[4] = {positions_, normals_, colors_, indices_};
  glDeleteBuffers(4, buffers);
}

// Four independent lanes over 32-bit words keep the pass memory-bound; the
// address and size are compared besides, so a collision needs both arrays in
// the same place with the same length.
MeshBuffers::Source MeshBuffers::describe(const void* data, size_t bytes) {
  Source s;
  s.data = data;
  s.bytes = data ? bytes : 0;
  if (!data) return s;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  const size_t words = s.bytes / 4;
  uint64_t lane[4] = {1, 2, 3, 4};
  size_t i = 0;
  for (; i + 4 <= words; i += 4) {
    uint32_t w[4];
    std::memcpy(w, p + 4 * i, sizeof w);
    for (int k = 0; k < 4; k++) lane[k] = lane[k] * 0x100000001b3ull + w[k];
  }
  for (; i < words; i++) {
    uint32_t w;
    std::memcpy(&w, p + 4 * i, 4);
    lane[0] = lane[0] * 0x100000001b3ull + w;
  }
  s.sum = lane[0] ^ (lane[1] << 1) ^ (lane[2] << 2) ^ (lane[3] << 3);
  return s;
}

namespace {

// Indices per batch of strips: about 5,000 triangles of a grid scan's strips,
// whose bins take a few megabytes.
constexpr size_t kBatchIndices = size_t(1) << 14;

// True when the GL can use the program's memory as a buffer's storage and
// reads it only within the draw calls: a software renderer (Mesa's llvmpipe
// or softpipe) fetches vertices and indices during the call itself, so an
// array changed or freed after it cannot reach a frame still being drawn. A
// graphics card would read the memory later, when it runs the frame; there
// the arrays are copied.
bool can_lend_memory() {
  static const bool yes = [] {
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return ext && renderer && std::strstr(ext, "GL_AMD_pinned_memory") &&
           (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
  }();
  return yes;
}

}  // namespace

// Lends the array where the GL takes it (a GL may refuse some addresses or
// sizes: then it is copied as usual).
void MeshBuffers::upload(GLenum target, GLuint& buffer, const void* data, size_t bytes) {
  if (!buffer) glGenBuffers(1, &buffer);
  if (data && bytes > 0 && can_lend_memory()) {
    glBindBuffer(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, buffer);
    glBufferData(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
    glBindBuffer(GL_EXTERNAL_VIRTUAL_MEMORY_BUFFER_AMD, 0);
    if (glGetError() == GL_NO_ERROR) return;
  }
  glBindBuffer(target, buffer);
  glBufferData(target, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
  glBindBuffer(target, 0);
}

void MeshBuffers::sync(const point* vertices, size_t n, const point* normals,
                       const Color* colors, const std::vector<int32_t>& strips) {
  Source pos = describe(vertices, n * sizeof(point));
  if (!(pos == positions_src_) || n != vertex_count_) {
    upload(GL_ARRAY_BUFFER, positions_, vertices, pos.bytes);
    positions_src_ = pos;
    vertex_count_ = n;
  }
  Source nor = describe(normals, n * sizeof(point));
  if (!(nor == normals_src_)) {
    if (normals) upload(GL_ARRAY_BUFFER, normals_, normals, nor.bytes);
    normals_src_ = nor;
  }
  has_normals_ = normals != nullptr;
  Source col = describe(colors, n * sizeof(Color));
  if (!(col == colors_src_)) {
    if (colors) upload(GL_ARRAY_BUFFER, colors_, colors, col.bytes);
    colors_src_ = col;
  }
  has_colors_ = colors != nullptr;

  Source str = describe(strips.data(), strips.size() * sizeof(int32_t));
  if (str == strips_src_ && n == strips_vertex_count_) return;
  strips_src_ = str;
  strips_vertex_count_ = n;
  // The index buffer keeps the stream's layout (counts included) so offsets
  // point straight into it; strips that run past the end or name a vertex
  // that does not exist are left out.
  strips_ = plan_strip_draws(strips, n, kBatchIndices);
  strip_offsets_.clear();
  for (size_t start : strips_.starts)
    strip_offsets_.push_back(reinterpret_cast<const void*>(start * sizeof(int32_t)));
  upload(GL_ELEMENT_ARRAY_BUFFER, indices_, strips.data(), strips.size() * sizeof(int32_t));
}

void MeshBuffers::bind(bool use_colors) const {
  glEnableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ARRAY_BUFFER, positions_);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  if (has_normals_) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, normals_);
    glNormalPointer(GL_FLOAT, 0, nullptr);
  } else {
    glDisableClientState(GL_NORMAL_ARRAY);
  }
  if (use_colors && has_colors_) {
    glEnableClientState(GL_COLOR_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, colors_);
    glColorPointer(3, GL_FLOAT, 0, nullptr);
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void MeshBuffers::unbind() {
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void MeshBuffers::draw_strips() const {
  if (strips_.counts.empty()) return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_);
  size_t first = 0;
  for (size_t end : strips_.batch_ends) {
    glMultiDrawElements(GL_TRIANGLE_STRIP, strips_.counts.data() + first, GL_UNSIGNED_INT,
                        strip_offsets_.data() + first, GLsizei(end - first));
    if (end < strips_.counts.size()) glFlush();
    first = end;
  }
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void MeshBuffers::draw_points() const {
  glDrawArrays(GL_POINTS, 0, GLsizei(vertex_count_));
}
