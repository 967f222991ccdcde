#pragma once

#include "geometry/TideLinkMesh.h"
#include "transport/ExportNode.h"

// Fills the node's counts and number lists from a well-formed mesh: positions and normals as
// "%0.3f %0.3f %0.3f " of x, z and y (the file's up axis is the mesh's third coordinate), the
// first UV set as "%0.3f %0.3f " of u and 1 - v (a mesh without UVs gives 0 and 1), indices as
// unsigned decimals followed by a space, in stored order.
void FormatExportMeshText(const TideLinkMesh& mesh, ExportNode& node);
