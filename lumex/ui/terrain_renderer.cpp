#include "lumex/ui/terrain_renderer.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <cstddef>

#include "lumex/map_surface.h"

namespace {

constexpr char kVertexShader[] = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
uniform mat4 view;
uniform mat4 projection;
uniform vec3 light_direction;
uniform vec3 eye;
uniform float fog_start;
uniform float fog_end;
out vec2 texture_uv;
out vec3 diffuse;
out vec3 specular;
out float fog;
void main() {
  vec4 seen = view * vec4(position, 1.0);
  gl_Position = projection * seen;
  // Depth 0..1 of the projection to GL's -1..1.
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
  vec3 n = normalize(normal);
  vec3 to_light = -normalize(light_direction);
  float lit = max(dot(n, to_light), 0.0);
  diffuse = clamp(vec3(0.5 + lit), 0.0, 1.0);
  vec3 halfway = normalize(normalize(eye - position) + to_light);
  specular = lit > 0.0 ? vec3(0.1 * pow(max(dot(n, halfway), 0.0), 0.5)) : vec3(0.0);
  fog = clamp((fog_end - seen.z) / (fog_end - fog_start), 0.0, 1.0);
  texture_uv = uv;
}
)";

constexpr char kFragmentShader[] = R"(#version 330 core
in vec2 texture_uv;
in vec3 diffuse;
in vec3 specular;
in float fog;
uniform sampler2D map;
uniform vec3 fog_colour;
out vec4 colour;
void main() {
  vec3 lit = texture(map, texture_uv).rgb * diffuse + specular;
  colour = vec4(mix(fog_colour, lit, fog), 1.0);
}
)";

QOpenGLExtraFunctions& Gl() { return *QOpenGLContext::currentContext()->extraFunctions(); }

QVector3D Vec(const float v[3]) { return QVector3D(v[0], v[1], v[2]); }

}  // namespace

struct CTerrainRenderer::Uploaded {
  GLuint vao = 0;
  GLuint buffer = 0;
  GLuint texture = 0;
  uint64_t vertex_generation = 0;
  uint64_t texture_generation = 0;
  bool used = false;  // drawn this frame
};

CTerrainRenderer::CTerrainRenderer() = default;
CTerrainRenderer::~CTerrainRenderer() = default;

bool CTerrainRenderer::Initialize(std::string& error) {
  program_ = std::make_unique<QOpenGLShaderProgram>();
  if (!program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
      !program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
      !program_->link()) {
    error = program_->log().toStdString();
    program_.reset();
    return false;
  }
  return true;
}

void CTerrainRenderer::Render(const SceneFrame& frame,
                              const std::vector<const CMapSurface*>& meshes, int width,
                              int height) {
  QOpenGLExtraFunctions& gl = Gl();
  const float red = (frame.sky_colour & 0xFF) / 255.0f;
  const float green = ((frame.sky_colour >> 8) & 0xFF) / 255.0f;
  const float blue = ((frame.sky_colour >> 16) & 0xFF) / 255.0f;
  gl.glViewport(0, 0, width, height);
  gl.glClearColor(red, green, blue, 1.0f);
  gl.glClearDepthf(1.0f);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!program_) return;

  gl.glEnable(GL_DEPTH_TEST);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glDisable(GL_CULL_FACE);
  program_->bind();
  program_->setUniformValue("view", QMatrix4x4(frame.view.data()).transposed());
  program_->setUniformValue("projection", QMatrix4x4(frame.projection.data()).transposed());
  program_->setUniformValue("light_direction", Vec(frame.light_direction));
  program_->setUniformValue("eye", Vec(frame.eye));
  program_->setUniformValue("fog_start", frame.fog_start);
  program_->setUniformValue("fog_end", frame.fog_end);
  // The fog colour halves each channel as integers.
  const auto half = [&](int shift) { return float(((frame.sky_colour >> shift) & 0xFF) / 2) / 255; };
  program_->setUniformValue("fog_colour", QVector3D(half(0), half(8), half(16)));
  program_->setUniformValue("map", 0);
  gl.glActiveTexture(GL_TEXTURE0);

  for (auto& [mesh, slot] : uploaded_) slot.used = false;
  for (const CMapSurface* mesh : meshes) {
    if (!mesh) continue;
    Uploaded& slot = uploaded_[mesh];
    slot.used = true;
    mesh->Draw([&](const MeshDrawData& data) { Draw(slot, data); });
  }
  program_->release();
  // Painting over the frame (the captions) expects no depth test.
  gl.glDisable(GL_DEPTH_TEST);
  // Meshes not drawn may be gone: their copies go too.
  for (auto it = uploaded_.begin(); it != uploaded_.end();) {
    if (it->second.used) {
      ++it;
      continue;
    }
    gl.glDeleteVertexArrays(1, &it->second.vao);
    gl.glDeleteBuffers(1, &it->second.buffer);
    gl.glDeleteTextures(1, &it->second.texture);
    it = uploaded_.erase(it);
  }
}

void CTerrainRenderer::Draw(Uploaded& slot, const MeshDrawData& mesh) {
  if (mesh.vertices.empty() || mesh.texture.pixels.empty() || mesh.triangle_count < 1) return;
  QOpenGLExtraFunctions& gl = Gl();
  if (!slot.vao) {
    gl.glGenVertexArrays(1, &slot.vao);
    gl.glGenBuffers(1, &slot.buffer);
    gl.glGenTextures(1, &slot.texture);
    gl.glBindVertexArray(slot.vao);
    gl.glBindBuffer(GL_ARRAY_BUFFER, slot.buffer);
    constexpr GLsizei kStride = sizeof(TerrainVertex);
    gl.glEnableVertexAttribArray(0);
    gl.glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride,
                             reinterpret_cast<void*>(offsetof(TerrainVertex, position)));
    gl.glEnableVertexAttribArray(1);
    gl.glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, kStride,
                             reinterpret_cast<void*>(offsetof(TerrainVertex, normal)));
    gl.glEnableVertexAttribArray(2);
    gl.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, kStride,
                             reinterpret_cast<void*>(offsetof(TerrainVertex, u)));
  }
  gl.glBindVertexArray(slot.vao);
  if (slot.vertex_generation != mesh.vertex_generation) {
    gl.glBindBuffer(GL_ARRAY_BUFFER, slot.buffer);
    gl.glBufferData(GL_ARRAY_BUFFER,
                    static_cast<GLsizeiptr>(mesh.vertices.size() * sizeof(TerrainVertex)),
                    mesh.vertices.data(), GL_STATIC_DRAW);
    slot.vertex_generation = mesh.vertex_generation;
  }
  gl.glBindTexture(GL_TEXTURE_2D, slot.texture);
  if (slot.texture_generation != mesh.texture_generation) {
    // Pixels 0x??RRGGBB are the bytes blue, green, red, unused.
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, mesh.texture.width, mesh.texture.height, 0,
                    GL_BGRA, GL_UNSIGNED_BYTE, mesh.texture.pixels.data());
    gl.glGenerateMipmap(GL_TEXTURE_2D);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    slot.texture_generation = mesh.texture_generation;
  }
  gl.glDrawArrays(GL_TRIANGLE_STRIP, mesh.first_vertex, mesh.triangle_count + 2);
  gl.glBindVertexArray(0);
}

void CTerrainRenderer::Release() {
  if (QOpenGLContext::currentContext()) {
    QOpenGLExtraFunctions& gl = Gl();
    for (auto& [mesh, slot] : uploaded_) {
      gl.glDeleteVertexArrays(1, &slot.vao);
      gl.glDeleteBuffers(1, &slot.buffer);
      gl.glDeleteTextures(1, &slot.texture);
    }
  }
  uploaded_.clear();
  program_.reset();
}
