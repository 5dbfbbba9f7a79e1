// Scene helpers for tools, tests and benchmarks: a text description of a tree, a sample
// scene built in code with every node type the database files hold, and generated large
// scenes for measurements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Zentri/collision/VQTerrainTree.h"

class VQNode;
class VQDisplayDevice;
class VQGeoset;
class VQMattable;

// One line per node, indented by depth: type name, user id, name, enabled flag, sphere and
// the fields of its type, with geoset and table contents (levels, vertex and triangle counts,
// material names). Equal descriptions mean equal trees as far as the files carry them.
std::string VQscene_Describe(VQNode* root);

// A geoset of one level: an n x n grid of quads in the z = 0 plane, side `size`, with
// normals, colours and two sets of texture coordinates; triangles cycle through `materials`
// material indices.
VQGeoset* VQscene_MakeGridGeoset(uint32_t n, float size, uint32_t materials);
// A table of `count` named materials ("<prefix>0", ...), every fourth one transparent, with
// two texture stages on even ones.
VQMattable* VQscene_MakeMattable(uint32_t count, const char* prefix);

// Root -> fog -> light -> group with transforms, a level-of-detail node, opaque and
// transparent geosets with two texture stages (a geoset and a table shared by two nodes),
// and a cell of two rooms joined by portals.
VQNode* VQscene_BuildDemo();

// Root -> group of `cells` transform nodes, each with one geoset node; about `triangles`
// triangles in all, using `materials` materials spread over the tables.
VQNode* VQscene_BuildLarge(uint32_t triangles, uint32_t materials, uint32_t cells);

// The meshes of the geoset nodes under root (level 0 of each geoset, in tree order, flags
// kept) in the form the terrain tree builds from, with 32-bit indices widened into
// `indexStorage` (which must outlive the build). Each entry's source is its geoset node.
// Vertices stay in mesh coordinates, as the terrain tree expects.
void VQscene_GatherTerrainMeshes(VQNode* root, std::vector<VQTerrainMesh>& meshes,
                                 std::vector<uint32_t>& indexStorage);
