// ase_loader: ASCII scene export (ASE) text files into a Model, by a keyword scanner.
//
// The scanner does not follow the format's braces: it finds keywords by substring search, bounds
// each search by the next closing brace or the next "*GEOMOBJECT ", and reads a number from the
// next character that can start one. It reads materials (bitmap from "data/images/" or a diffuse
// colour; ids must run 0, 1, 2, ... in file order) and geometry objects (vertices, faces with one
// flat normal per face, texture vertices and faces, the material reference). No nodes, cameras or
// lights; the meshes carry no names. Vertex normals are not read.
// The file is read straight from disk with stdio in text mode (not through the archive).
// scanAse does the whole scan without GL and without exiting (for tests and the fuzzer); loadAse
// reads the file, loads the bitmaps and turns the scan's verdict into the reports.
// Indices are not checked here: drawing checks every mesh before its first display list.
#pragma once

#include <string>
#include <vector>

struct Model;

#define ASE_IMAGE_DIRECTORY "data/images/"

enum AseVerdict {
    ASE_OK,                   // both passes ran
    ASE_MATERIAL_ORDER,       // a material id did not match the count before it (load returns false)
    ASE_MATERIAL_NO_COLOUR,   // a material with neither bitmap nor diffuse colour (fatal)
    ASE_MATERIAL_REF_MISSING, // an object without a readable "*MATERIAL_REF " (fatal)
    ASE_COUNTS_DIFFER,        // face, normal and texture-face counts disagree (fatal)
};

struct AseScan {
    AseVerdict verdict = ASE_OK;
    std::vector<std::string> bitmaps; // per material read: the texture path, or "" for a colour
    int values[4] = {0, 0, 0, 0};     // the numbers the verdict's message names
    std::string sceneSnippet;         // caption of some messages: "*SCENE_FILENAME \"...\""
};

// Scans a whole ASE text into the model (materials without textures). The verdict says where
// the scan stopped.
void scanAse(const std::string& text, Model* model, AseScan* scan);

// Loads the file into the model; false when the materials could not be read.
bool loadAse(const char* path, Model* model);
