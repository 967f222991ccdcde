#!/usr/bin/env python3
"""Writes a generated drawing as glTF 2.0 (one .gltf and one .bin): GEOMETRIES grids of
TRIANGLES_PER_GEOMETRY triangles, MATERIALS materials, INSTANCES nodes placing them in rows.
Usage: make_drawing.py OUT.gltf [instances geometries materials triangles_per_geometry]"""
import json
import os
import struct
import sys


def grid(columns, rows):
    """A columns x rows quad grid in the XZ plane, 1 m wide: positions, normals, uvs, indices."""
    positions, normals, uvs, indices = [], [], [], []
    for row in range(rows + 1):
        for column in range(columns + 1):
            u, v = column / columns, row / rows
            positions += [u, 0.05 * ((column + row) % 3), v]
            normals += [0.0, 1.0, 0.0]
            uvs += [u, v]
    for row in range(rows):
        for column in range(columns):
            a = row * (columns + 1) + column
            b, c, d = a + 1, a + columns + 1, a + columns + 2
            indices += [a, c, b, b, c, d]
    return positions, normals, uvs, indices


def main():
    out = sys.argv[1]
    instances, geometries, materials, triangles = (
        [int(value) for value in sys.argv[2:6]] if len(sys.argv) >= 6 else [10000, 1000, 200, 100])
    columns = max(1, triangles // 20)
    rows = max(1, triangles // (2 * columns))
    positions, normals, uvs, indices = grid(columns, rows)
    vertex_count = len(positions) // 3

    blob = bytearray()
    views, accessors = [], []

    def add(values, fmt, component, kind, target, count, bounds=None):
        offset = len(blob)
        blob.extend(struct.pack("<%d%s" % (len(values), fmt), *values))
        while len(blob) % 4:
            blob.append(0)
        views.append({"buffer": 0, "byteOffset": offset, "byteLength": len(values) * 4, "target": target})
        accessor = {"bufferView": len(views) - 1, "componentType": component, "count": count, "type": kind}
        if bounds:
            accessor["min"], accessor["max"] = bounds
        accessors.append(accessor)
        return len(accessors) - 1

    xs, ys, zs = positions[0::3], positions[1::3], positions[2::3]
    bounds = ([min(xs), min(ys), min(zs)], [max(xs), max(ys), max(zs)])
    position = add(positions, "f", 5126, "VEC3", 34962, vertex_count, bounds)
    normal = add(normals, "f", 5126, "VEC3", 34962, vertex_count)
    uv = add(uvs, "f", 5126, "VEC2", 34962, vertex_count)
    index = add(indices, "I", 5125, "SCALAR", 34963, len(indices))

    names = ["Window glass", "Pool water"] + ["Material %d" % number for number in range(2, materials)]
    gltf_materials = [{
        "name": names[number],
        "pbrMetallicRoughness": {"baseColorFactor": [
            (number * 37 % 256) / 255.0, (number * 91 % 256) / 255.0, (number * 53 % 256) / 255.0, 1.0]},
    } for number in range(materials)]
    # Every geometry shares the grid's arrays but has its own material, as separate meshes would.
    meshes = [{"name": "Geometry %d" % number, "primitives": [{
        "attributes": {"POSITION": position, "NORMAL": normal, "TEXCOORD_0": uv},
        "indices": index, "material": number % materials}]} for number in range(geometries)]
    per_row = 100
    nodes = [{"name": "Instance %d" % number, "mesh": number % geometries,
              "translation": [1.5 * (number % per_row), 0.0, 1.5 * (number // per_row)]}
             for number in range(instances)]

    base = os.path.splitext(out)[0]
    with open(base + ".bin", "wb") as binary:
        binary.write(blob)
    document = {
        "asset": {"version": "2.0", "generator": "make_drawing.py"},
        "scene": 0,
        "scenes": [{"nodes": list(range(instances))}],
        "nodes": nodes,
        "meshes": meshes,
        "materials": gltf_materials,
        "accessors": accessors,
        "bufferViews": views,
        "buffers": [{"uri": os.path.basename(base) + ".bin", "byteLength": len(blob)}],
    }
    with open(out, "w") as text:
        json.dump(document, text)
    print("%s: %d instances of %d geometries (%d triangles each), %d materials, %d triangles in all" % (
        out, instances, geometries, len(indices) // 3, materials, instances * len(indices) // 3))


if __name__ == "__main__":
    main()
