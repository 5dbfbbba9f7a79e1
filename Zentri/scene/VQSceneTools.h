// Scene helpers for tools, tests and benchmarks: a text description of a tree, a sample
// scene built in code with every node type the database files hold, and generated large
// scenes for measurements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// material indices. Colours are in the scene file's order (what a reader with colour format
// code 11 gives): red (rising with x) in bits 16-23, green (rising with y) in bits 8-15.
VQGeoset* VQscene_MakeGridGeoset(uint32_t n, float size, uint32_t materials);
// A table of `count` named materials ("<prefix>0", ...), every fourth one transparent, with
// two texture stages on even ones.
VQMattable* VQscene_MakeMattable(uint32_t count, const char* prefix);

// Root -> fog -> light -> group with transforms, a level-of-detail node, opaque and
// transparent geosets with two texture stages (a geoset and a table shared by two nodes),
// and a cell of two rooms joined by portals.
// The ground and the building's floors are collider meshes; pieces above the ground are lifted
// off its plane.
VQNode* VQscene_BuildDemo();
// Writes the demo's textures ("road_0.tga", "road_2.tga", "glass_0.tga", "detail.tga", 64 x 64
// 32-bit TGA) into a folder ("" or null: the current one). False with the image writer's error.
bool VQscene_WriteDemoTextures(const char* folder);

// Root -> group of `cells` transform nodes, each with one geoset node; about `triangles`
// triangles in all, using `materials` materials spread over the tables.
VQNode* VQscene_BuildLarge(uint32_t triangles, uint32_t materials, uint32_t cells);
