// vqtool terrain-build IN OUT.vqt [TEXTURE...]: builds a terrain tree (32 triangles per leaf,
//   depth 8) and writes its cache file. IN is a scene database (".vqo"): the tree is built from
//   its collider meshes (mesh flag 0x40) as a race builds it; each triangle's word is the
//   position of the first TEXTURE that names, ignoring case, the texture of the triangle's
//   material, or the last position when none does (0 without TEXTURE arguments). IN may also be
//   "sample" for the built-in sample track, or a text file of collider triangles: "v X Y Z"
//   vertex lines, "f A B C" triangle lines with 1-based vertex numbers of the current mesh,
//   "m" starting a new mesh and "w N" setting the word of the following triangles (the
//   collision-material index); "#" starts a comment.
// vqtool terrain-info FILE.vqt: reads a cache file and prints its counts, bounds, tree shape
//   and the triangles per word.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "tools/vqtool/vqtool.h"

namespace {

struct TextMesh {
  std::vector<VQVector> vertices;
  std::vector<uint32_t> indices;
  std::vector<uint32_t> words;
};

void WordFromText(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word) {
  const auto* m = reinterpret_cast<const TextMesh*>(mesh.source);
  *word = m->words[triangle];
}

// The texture list of a scene build; words are positions in it.
std::vector<std::string> g_textures;

void WordFromTexture(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word) {
  if (g_textures.empty()) return;
  const char* texture = VQterrain_TriangleTexture(mesh, triangle);
  *word = uint32_t(g_textures.size() - 1);
  if (!texture) return;
  for (size_t i = 0; i < g_textures.size(); ++i)
    if (strcasecmp(g_textures[i].c_str(), texture) == 0) {
      *word = uint32_t(i);
      return;
    }
}

bool WriteTree(const VQTerrainTree& tree, const std::string& path) {
  if (!tree.Write(path.c_str())) {
    std::fprintf(stderr, "vqtool terrain-build: cannot write '%s' (%s)\n", path.c_str(), VQerror_Describe(g_VQerror).c_str());
    return false;
  }
  std::printf("%u triangles, %u nodes\n", tree.GetTriangleCount(), tree.GetNodeCount());
  return true;
}

int BuildFromScene(const std::vector<std::string>& args) {
  VQNode* root = nullptr;
  if (!VQscene_ReadDatabase(&root, args[0].c_str(), nullptr, 0, false)) {
    std::fprintf(stderr, "vqtool terrain-build: cannot read the scene '%s' (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  g_textures.assign(args.begin() + 2, args.end());
  VQTerrainTree tree;
  const bool built = tree.BuildFromScene(root, WordFromTexture, false, 32, 8);
  VQNode::Destroy(root);
  if (!built) {
    std::fprintf(stderr, "vqtool terrain-build: cannot build the tree (%s)\n", VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  if (tree.GetTriangleCount() == 0) {
    // An empty cache would make a track without ground: refuse it and write nothing.
    std::fprintf(stderr, "vqtool terrain-build: '%s' holds no collider meshes (mesh flag 0x40): nothing written\n",
                 args[0].c_str());
    return 1;
  }
  return WriteTree(tree, args[1]) ? 0 : 1;
}

// Reads the triangle text; false with a message naming the line.
bool ReadTriangles(const char* path, std::vector<TextMesh>* meshes) {
  FILE* f = VQfile_Open(path, "rb");
  if (!f) {
    std::fprintf(stderr, "vqtool terrain-build: cannot open '%s' (%s)\n", path, VQerror_Describe(g_VQerror).c_str());
    return false;
  }
  meshes->assign(1, TextMesh());
  char line[512];
  uint32_t word = 0;
  int number = 0;
  bool ok = true;
  while (ok && std::fgets(line, sizeof line, f)) {
    ++number;
    char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '#' || *p == '\n' || *p == '\r' || *p == 0) continue;
    TextMesh& m = meshes->back();
    float x, y, z;
    long a, b, c;
    unsigned long w;
    char tail;
    if (std::sscanf(p, "v %f %f %f %c", &x, &y, &z, &tail) == 3) {
      m.vertices.emplace_back(x, y, z);
    } else if (std::sscanf(p, "f %ld %ld %ld %c", &a, &b, &c, &tail) == 3) {
      const long n = long(m.vertices.size());
      if (a < 1 || b < 1 || c < 1 || a > n || b > n || c > n) {
        std::fprintf(stderr, "vqtool terrain-build: %s:%d: vertex number outside the mesh\n", path, number);
        ok = false;
      } else {
        m.indices.insert(m.indices.end(), {uint32_t(a - 1), uint32_t(b - 1), uint32_t(c - 1)});
        m.words.push_back(word);
      }
    } else if (std::sscanf(p, "w %lu %c", &w, &tail) == 1 && w <= UINT32_MAX) {
      word = uint32_t(w);
    } else if (p[0] == 'm' && (p[1] == '\n' || p[1] == '\r' || p[1] == 0 || p[1] == ' ')) {
      meshes->emplace_back();
    } else {
      std::fprintf(stderr, "vqtool terrain-build: %s:%d: cannot read the line\n", path, number);
      ok = false;
    }
  }
  std::fclose(f);
  return ok;
}

int Build(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: vqtool terrain-build IN OUT.vqt [TEXTURE...]\n");
    return 2;
  }
  if (VQfile_TypeFromExtension(args[0].c_str()) == VQFILE_VQO) return BuildFromScene(args);
  if (args.size() != 2) {
    std::fprintf(stderr, "vqtool terrain-build: texture names go with a scene file only\n");
    return 2;
  }
  VQTerrainTree tree;
  if (args[0] == "sample") {
    VQSampleTrack track;
    if (!track.BuildTerrain()) return 1;
    if (!track.m_terrain.Write(args[1].c_str())) {
      std::fprintf(stderr, "vqtool terrain-build: cannot write '%s' (%s)\n", args[1].c_str(), VQerror_Describe(g_VQerror).c_str());
      return 1;
    }
    std::printf("%u triangles, %u nodes\n", track.m_terrain.GetTriangleCount(), track.m_terrain.GetNodeCount());
    return 0;
  }
  std::vector<TextMesh> meshes;
  if (!ReadTriangles(args[0].c_str(), &meshes)) return 1;
  std::vector<VQTerrainMesh> input;
  for (const TextMesh& m : meshes) {
    VQTerrainMesh t;
    t.vertices = m.vertices.data();
    t.vertexCount = uint32_t(m.vertices.size());
    t.indices = m.indices.data();
    t.triangleCount = uint32_t(m.words.size());
    t.source = reinterpret_cast<uintptr_t>(&m);
    input.push_back(t);
  }
  if (!tree.Build(input.data(), uint32_t(input.size()), WordFromText, true, 32, 8)) {
    std::fprintf(stderr, "vqtool terrain-build: cannot build the tree (%s)\n", VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  if (!tree.Write(args[1].c_str())) {
    std::fprintf(stderr, "vqtool terrain-build: cannot write '%s' (%s)\n", args[1].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("%u triangles, %u nodes\n", tree.GetTriangleCount(), tree.GetNodeCount());
  return 0;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool terrain-info FILE.vqt\n");
    return 2;
  }
  VQTerrainTree tree;
  if (!tree.Read(args[0].c_str())) {
    std::fprintf(stderr, "vqtool terrain-info: cannot read '%s' (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("vertices   %u\ntriangles  %u\nnodes      %u\n", tree.GetVertexCount(),
              tree.GetTriangleCount(), tree.GetNodeCount());
  uint32_t flat = 0;
  std::map<uint32_t, uint32_t> words;
  for (uint32_t i = 0; i < tree.GetTriangleCount(); ++i) {
    flat += tree.GetTriangles()[i].IsFlat();
    ++words[tree.GetTriangles()[i].word];
  }
  std::printf("flat       %u\n", flat);
  if (const VQTerrainNode* root = tree.GetRoot()) {
    std::printf("rectangle  %g %g .. %g %g\n", root->minX, root->minY, root->maxX, root->maxY);
    uint32_t leaves = 0, entries = 0, largest = 0, depth = 0;
    std::vector<std::pair<const VQTerrainNode*, uint32_t>> stack{{root, 0}};
    while (!stack.empty()) {
      auto [n, d] = stack.back();
      stack.pop_back();
      depth = std::max(depth, d);
      if (n->IsLeaf()) {
        ++leaves;
        entries += n->triangleCount;
        largest = std::max(largest, n->triangleCount);
        continue;
      }
      for (const VQTerrainNode* c : {n->lowXLowY, n->lowXHighY, n->highXLowY, n->highXHighY})
        if (c) stack.push_back({c, d + 1});
    }
    std::printf("leaves     %u (depth %u, largest %u, %u entries)\n", leaves, depth, largest, entries);
  }
  for (const auto& [word, count] : words) std::printf("word %-5u %u triangles\n", word, count);
  return 0;
}

VQToolCommand g_terrainBuild("terrain-build", "terrain-build IN OUT.vqt [TEXTURE...]",
                             "build a terrain cache file from a scene's collider meshes (IN: SCENE.vqo, sample or a triangle text file)",
                             Build,
                             "IN: a scene database (.vqo, its collider meshes), \"sample\" (the built-in track), or text:\n"
                             "\"v X Y Z\" vertex, \"f A B C\" triangle of 1-based vertices of the current mesh,\n"
                             "\"m\" new mesh, \"w N\" word of the following triangles, \"#\" comment\n"
                             "TEXTURE: a triangle's word is the position of the first TEXTURE naming its material's\n"
                             "texture (0 without TEXTURE arguments)");
VQToolCommand g_terrainInfo("terrain-info", "terrain-info FILE.vqt",
                            "print the counts, bounds and tree shape of a terrain cache file", Info,
                            "FILE.vqt: a terrain cache as terrain-build writes it");

}  // namespace
