#include "Zentri/scene/VQSceneTools.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

namespace {

const char* TypeName(uint32_t type) {
  static const char* names[] = {"none",     "root",  "transform",   "group",  "light",
                                "lod",      "geoset", "sound-source", "portal", "cell",
                                "fog",      "effect", "callback"};
  return type <= 12 ? names[type] : "unknown";
}

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  out += buffer;
}

void DescribeNode(std::string& out, VQNode* node, int depth) {
  std::string pad(size_t(depth) * 2, ' ');
  if (!node) {
    out += pad + "(empty)\n";
    return;
  }
  Append(out, "%s%s id=%u name=\"%s\" enabled=%u", pad.c_str(), TypeName(node->m_type),
         node->m_userId, node->m_name ? node->m_name : "", node->m_enabled);
  if (node->m_sphere)
    Append(out, " sphere=(%g %g %g r %g)", node->m_sphere->m_centre.x, node->m_sphere->m_centre.y,
           node->m_sphere->m_centre.z, node->m_sphere->m_radius);
  switch (node->m_type) {
    case VQNODE_TRANSFORM: {
      auto* n = static_cast<VQTransformNode*>(node);
      Append(out, " notify=%u t=(%g %g %g)", n->m_notify, n->m_matrix.m[12], n->m_matrix.m[13],
             n->m_matrix.m[14]);
      break;
    }
    case VQNODE_LOD: {
      auto* n = static_cast<VQLodNode*>(node);
      out += " distances=";
      for (uint32_t i = 0; i < n->m_count; ++i) Append(out, "%s%g", i ? "," : "", n->m_distances[i]);
      break;
    }
    case VQNODE_LIGHT: {
      auto* n = static_cast<VQLightNode*>(node);
      Append(out, " type=%u dir=(%g %g %g) diffuse=(%g %g %g %g)", n->m_lightType, n->m_direction.x,
             n->m_direction.y, n->m_direction.z, n->m_diffuse.r, n->m_diffuse.g, n->m_diffuse.b,
             n->m_diffuse.a);
      break;
    }
    case VQNODE_FOG: {
      auto* n = static_cast<VQFogNode*>(node);
      Append(out, " mode=%u start=%g end=%g", n->m_mode, n->m_start, n->m_end);
      break;
    }
    case VQNODE_CELL: {
      auto* n = static_cast<VQCellNode*>(node);
      Append(out, " flag=%u rooms=%u", n->m_flag, n->m_count);
      break;
    }
    case VQNODE_PORTAL: {
      auto* n = static_cast<VQPortalNode*>(node);
      Append(out, " target=%d passes=%u points=%u placement=%s cell=%s", n->m_target,
             n->m_passesPerFrame, n->m_pointCount, n->m_placement ? "yes" : "no",
             n->m_cell ? "linked" : "none");
      break;
    }
    case VQNODE_GEOSET: {
      auto* n = static_cast<VQGeosetNode*>(node);
      Append(out, " word=%u", n->m_nodeWord);
      if (VQGeoset* g = n->m_geoset) {
        Append(out, " geoset(refs=%u levels=%u r=%g", g->m_refCount, g->m_levelCount, g->m_radius);
        for (uint32_t i = 0; i < g->m_levelCount; ++i) {
          const VQMesh* m = g->m_meshes[i];
          if (m)
            Append(out, " [%g: v=%u t=%u flags=%#x]", g->m_distances[i], m->m_vertexCount,
                   m->m_triangleCount, m->m_flags);
        }
        out += ")";
      }
      if (VQMattable* t = n->m_table) {
        Append(out, " table(refs=%u transparent=%u", t->m_refCount, t->m_hasTransparent);
        for (uint32_t i = 0; i < t->m_count; ++i) {
          const VQMaterial* m = t->m_slots[i];
          Append(out, " %s", m && m->m_name ? m->m_name : "?");
          if (m)
            for (uint32_t s = 0; s < m->m_stageCount; ++s)
              Append(out, "/%s", m->m_stages[s].m_textureName ? m->m_stages[s].m_textureName : "");
        }
        out += ")";
      }
      break;
    }
    default:
      break;
  }
  out += "\n";
  const uint32_t n = node->m_type == VQNODE_CALLBACK ? 0 : node->ChildCount();
  for (uint32_t i = 0; i < n; ++i) DescribeNode(out, node->ChildAt(i), depth + 1);
}

}  // namespace

std::string VQscene_Describe(VQNode* root) {
  std::string out;
  DescribeNode(out, root, 0);
  return out;
}

VQGeoset* VQscene_MakeGridGeoset(uint32_t n, float size, uint32_t materials) {
  if (n == 0) n = 1;
  if (n > 180) n = 180;  // (n + 1)^2 vertices must fit 16-bit indices
  const uint32_t verts = (n + 1) * (n + 1), tris = 2 * n * n;
  VQMesh* mesh = VQMesh::Create(verts, tris, 0, true, true, true);
  VQGeoset* g = VQGeoset::Create();
  if (!mesh || !g) {
    VQMesh::Destroy(mesh);
    VQGeoset::Destroy(g);
    return nullptr;
  }
  mesh->m_uv1 = static_cast<float*>(std::calloc(2ull * verts, sizeof(float)));
  for (uint32_t y = 0; y <= n; ++y)
    for (uint32_t x = 0; x <= n; ++x) {
      const uint32_t i = y * (n + 1) + x;
      mesh->m_positions[i].Set(size * x / n - size / 2, size * y / n - size / 2, 0);
      mesh->m_normals[i].Set(0, 0, 1);
      // Red rises with x, green with y. Packed as the scene file stores a colour (blue in the
      // low byte, red in bits 16-23): a reader with colour format code 12 exchanges the two
      // for a device that wants red in the low byte.
      mesh->m_colours[i] = 0xFF000000u | ((x * 255 / n) << 16) | ((y * 255 / n) << 8);
      mesh->m_uv0[2 * i] = float(x) / n;
      mesh->m_uv0[2 * i + 1] = float(y) / n;
      if (mesh->m_uv1) {
        mesh->m_uv1[2 * i] = float(x);
        mesh->m_uv1[2 * i + 1] = float(y);
      }
    }
  uint32_t t = 0;
  for (uint32_t y = 0; y < n; ++y)
    for (uint32_t x = 0; x < n; ++x) {
      const uint16_t a = uint16_t(y * (n + 1) + x), b = uint16_t(a + 1), c = uint16_t(a + n + 2),
                     d = uint16_t(a + n + 1);
      const uint16_t quad[6] = {a, b, c, a, c, d};
      for (int k = 0; k < 2; ++k, ++t) {
        std::memcpy(mesh->m_indices + 3 * t, quad + 3 * k, 6);
        mesh->SetMaterialOf(t, uint16_t(materials ? (t / 2) % materials : 0));
        mesh->m_records[8 * t + 2] = uint8_t(t);  // carried bytes
      }
    }
  g->AddLevel(mesh, 1000.0f);
  g->GetBoundingSphere(g->m_centre, g->m_radius);
  return g;
}

VQMattable* VQscene_MakeMattable(uint32_t count, const char* prefix) {
  VQMattable* t = VQMattable::Create(0);
  if (!t || !t->Resize(count)) {
    VQMattable::Release(t);
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%u", prefix, i);
    VQMaterial* m = VQMaterial::Create(name);
    m->SetDefaults();
    VQColor_Set(m->m_diffuse, 0.25f * (i % 4), 0.5f, 1.0f, 1.0f);
    m->m_shininess = 0.125f * (i % 8);
    if (i % 4 == 3) {
      m->m_srcBlend = 2;
      m->m_dstBlend = 3;
      m->m_opacity = 0.5f;
    }
    if (i % 2 == 0) {
      m->m_stageCount = 2;
      char tex[64];
      std::snprintf(tex, sizeof tex, "Textures\\%s%u.tga", prefix, i);
      m->SetStageTextureName(0, tex);
      m->SetStageTextureName(1, "Textures\\detail.tga");
      m->m_stages[0].m_operation = 4;
      m->m_stages[1].m_operation = 5;
      m->m_stages[0].m_settings[0] = 2;
      m->m_stages[1].m_settings[1] = 3;
      m->m_stages[0].m_samplingWord = 0x1222;
    }
    t->Set(m, i);
  }
  return t;
}

namespace {

// Raises every level of a geoset by dz, so that a flat piece does not share the ground's plane
// (two coplanar surfaces fight for depth and show stripes).
void LiftGeoset(VQGeoset* g, float dz) {
  for (uint16_t l = 0; l < g->m_levelCount; ++l) {
    VQMesh* mesh = g->m_meshes[l];
    for (uint32_t i = 0; mesh && i < mesh->m_vertexCount; ++i) mesh->m_positions[i].z += dz;
  }
  g->GetBoundingSphere(g->m_centre, g->m_radius);
}

}  // namespace

VQNode* VQscene_BuildDemo() {
  VQRootNode* root = new VQRootNode(1);
  root->SetName("demo");
  VQFogNode* fog = new VQFogNode(2);
  fog->SetName("fog");
  VQColor_Set(fog->m_colour, 0.5f, 0.6f, 0.7f, 1.0f);
  fog->m_start = 50;
  fog->m_end = 400;
  root->SetChild(fog);
  VQLightNode* light = new VQLightNode(3);
  light->SetName("sun");
  light->m_direction.Set(0.3f, 0.8f, -0.5f);
  VQColor_Set(light->m_ambient, 0.2f, 0.2f, 0.2f, 1.0f);
  VQColor_Set(light->m_diffuse, 0.9f, 0.9f, 0.8f, 1.0f);
  fog->SetChild(light);
  VQGroupNode* world = new VQGroupNode(4);
  world->SetName("world");
  light->SetChild(world);

  VQMattable* opaque = VQscene_MakeMattable(3, "road_");
  VQMattable* glass = VQscene_MakeMattable(1, "glass_");
  glass->m_slots[0]->m_srcBlend = 2;
  glass->m_slots[0]->m_dstBlend = 3;
  glass->UpdateTransparency();
  VQGeoset* ground = VQscene_MakeGridGeoset(4, 100.0f, 3);
  ground->m_meshes[0]->m_flags |= VQMESH_COLLIDER;  // the terrain of the demo
  VQGeoset* pane = VQscene_MakeGridGeoset(1, 4.0f, 1);
  pane->m_meshes[0]->m_flags |= VQMESH_TRANSPARENT;

  VQTransformNode* groundPlace = new VQTransformNode(10);
  groundPlace->SetName("ground_place");
  world->AddChild(groundPlace);
  VQGeosetNode* groundNode = new VQGeosetNode(ground, 11);
  groundNode->SetName("ground");
  groundNode->SetMattable(opaque);
  groundNode->m_nodeWord = 7;
  groundPlace->SetChild(groundNode);

  for (int i = 0; i < 2; ++i) {  // two panes share one geoset and one table
    VQTransformNode* place = new VQTransformNode(20 + i);
    place->SetPosition(VQVector(float(10 * i), 20.0f, 1.0f));
    VQGeosetNode* node = new VQGeosetNode(pane, 30 + i);
    node->SetName(i ? "pane_b" : "pane_a");
    node->SetMattable(glass);
    place->SetChild(node);
    world->AddChild(place);
  }

  VQLodNode* lod = new VQLodNode(40);
  lod->SetName("tree_lod");
  const float d[3] = {10, 50, 200};
  for (int i = 0; i < 3; ++i) {
    VQGeoset* levelGeoset = VQscene_MakeGridGeoset(3 - i, 2.0f, 1);
    LiftGeoset(levelGeoset, 0.3f);
    VQGeosetNode* level = new VQGeosetNode(levelGeoset, 41 + i);
    level->SetMattable(opaque);
    lod->AddChild(level);
    lod->m_distances[i] = d[i];
  }
  lod->m_sphere->m_centre.Set(0, 30, 0);
  lod->m_sphere->m_radius = 2.0f;
  world->AddChild(lod);

  VQCellNode* cell = new VQCellNode(50);
  cell->SetName("building");
  cell->m_flag = 1;
  for (int room = 0; room < 2; ++room) {
    VQGroupNode* g = new VQGroupNode(51 + room);
    g->SetName(room ? "hall" : "lobby");
    VQGeoset* floorGeoset = VQscene_MakeGridGeoset(2, 8.0f, 2);
    floorGeoset->m_meshes[0]->m_flags |= VQMESH_COLLIDER;  // the building's floors are walked on
    LiftGeoset(floorGeoset, 0.1f + 0.05f * float(room));
    VQGeosetNode* floor = new VQGeosetNode(floorGeoset, 60 + room);
    floor->SetMattable(opaque);
    g->AddChild(floor);
    VQPortalNode* door = new VQPortalNode(70 + room);
    door->SetName(room ? "door_back" : "door");
    door->m_target = 1 - room;
    door->m_normal.Set(0, room ? 1.0f : -1.0f, 0);
    const VQVector pts[4] = {VQVector(-1, 4, 0), VQVector(1, 4, 0), VQVector(1, 4, 2),
                             VQVector(-1, 4, 2)};
    door->SetPoints(pts, 4);
    if (room) {
      VQMatrix m;
      m.MakeTranslation(0, 8, 0);
      door->SetPlacement(&m);
    }
    g->AddChild(door);
    cell->AddChild(g);
    cell->m_records[room].m_vector.Set(0, 8.0f * room, 0);
    cell->m_records[room].m_word = uint32_t(room + 1);
  }
  cell->LinkPortals();
  world->AddChild(cell);
  world->GetBoundingSphere();
  return root;
}

bool VQscene_WriteDemoTextures(const char* folder) {
  constexpr uint32_t kSize = 64;
  struct Texture {
    const char* name;
    uint32_t base;   // 0xAARRGGBB
    uint32_t noise;  // largest darkening of a texel, per channel
    bool stripe;     // a centre line along y
  };
  // Light textures: the demo's vertex colours, which they modulate, stay what the eye reads.
  const Texture textures[] = {
      {"road_0.tga", 0xFFE6E6E6u, 40, true},
      {"road_2.tga", 0xFFF0F4E8u, 30, false},
      {"glass_0.tga", 0xB0E8F4FFu, 12, false},
      {"detail.tga", 0xFFF8F8F8u, 24, false},
  };
  uint32_t pixels[kSize * kSize];
  uint32_t seed = 12345u;
  for (const Texture& t : textures) {
    for (uint32_t y = 0; y < kSize; ++y)
      for (uint32_t x = 0; x < kSize; ++x) {
        seed = seed * 1664525u + 1013904223u;  // a fixed sequence: the files are the same every time
        const uint32_t dark = t.noise ? (seed >> 16) % (t.noise + 1) : 0;
        uint32_t c = t.base;
        uint32_t out = c & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
          const uint32_t v = (c >> shift) & 0xFFu;
          out |= (v > dark ? v - dark : 0) << shift;
        }
        if (t.stripe && x >= kSize / 2 - 2 && x < kSize / 2 + 2 && (y / 8) % 2 == 0) out = 0xFFFFFFFFu;
        pixels[y * kSize + x] = out;
      }
    std::string path = folder && *folder ? std::string(folder) + "/" + t.name : std::string(t.name);
    if (!VQimage_WriteTga(path.c_str(), pixels, kSize, kSize, kSize, 11, nullptr, false)) return false;
  }
  return true;
}

VQNode* VQscene_BuildLarge(uint32_t triangles, uint32_t materials, uint32_t cells) {
  if (cells == 0) cells = 1;
  if (materials == 0) materials = 1;
  VQRootNode* root = new VQRootNode(1);
  VQGroupNode* group = new VQGroupNode(2);
  root->SetChild(group);
  const uint32_t perCell = triangles / cells;
  uint32_t n = uint32_t(std::ceil(std::sqrt(perCell / 2.0)));
  if (n == 0) n = 1;
  const uint32_t perTable = (materials + cells - 1) / cells;
  uint32_t made = 0;
  const uint32_t side = uint32_t(std::ceil(std::sqrt(double(cells))));
  for (uint32_t c = 0; c < cells && c < VQGROUP_MAX_CHILDREN; ++c) {
    VQTransformNode* place = new VQTransformNode(100 + c);
    place->SetPosition(VQVector(float(c % side) * 20.0f, float(c / side) * 20.0f, 0));
    uint32_t count = perTable;
    if (made + count > materials) count = materials > made ? materials - made : 1;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "m%u_", c);
    VQMattable* table = VQscene_MakeMattable(count, prefix);
    made += count;
    VQGeosetNode* node = new VQGeosetNode(VQscene_MakeGridGeoset(n, 16.0f, count), 10000 + c);
    node->SetMattable(table);
    place->SetChild(node);
    group->AddChild(place);
  }
  group->GetBoundingSphere();
  return root;
}
