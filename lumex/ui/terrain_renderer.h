#pragma once
// Draws the terrain meshes with OpenGL 3.3 core: the meshes' vertices and textures uploaded
// when their generations change, lit per vertex by one directional light (ambient 1 on a
// material of ambient 0.5, diffuse 1, specular 0.2 on 0.5 with power 0.5), textures modulated
// by that light, and linear fog by view depth. Used from the thread whose GL context is current.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lumex/scene_matrices.h"

class CMapSurface;
class QOpenGLShaderProgram;
struct MeshDrawData;

// One frame's set-up.
struct SceneFrame {
  SceneMatrix view{};
  SceneMatrix projection{};
  float eye[3] = {0, 0, 0};
  float light_direction[3] = {1, 0, -0.5f};
  uint32_t sky_colour = 0;  // 0x00BBGGRR; the fog is half as bright
  float fog_start = 0;      // view depth, metres
  float fog_end = 1;
};

class CTerrainRenderer {
 public:
  CTerrainRenderer();
  ~CTerrainRenderer();  // Release() must have run while the context was current
  CTerrainRenderer(const CTerrainRenderer&) = delete;
  CTerrainRenderer& operator=(const CTerrainRenderer&) = delete;

  // Compiles the shaders in the current context; false with the reason in `error`.
  bool Initialize(std::string& error);
  // Clears the bound framebuffer (width x height pixels) to the sky colour and draws the
  // meshes in order; null meshes and meshes without texture or vertices are passed over.
  void Render(const SceneFrame& frame, const std::vector<const CMapSurface*>& meshes, int width,
              int height);
  // Frees the GL objects; with the context current.
  void Release();

 private:
  struct Uploaded;
  void Draw(Uploaded& slot, const MeshDrawData& mesh);

  std::unique_ptr<QOpenGLShaderProgram> program_;
  std::map<const CMapSurface*, Uploaded> uploaded_;
};
