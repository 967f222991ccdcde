"""Shows each update of a renderer's history (Ombrel.exe --history FILE, one JSON line each) as one
line: its document, surfaces, triangles and camera. Reads the lines from standard input, e.g. from
`tail -F FILE`."""

import json
import sys


def describe(update):
    surfaces = update.get("surfaces", [])
    triangles = sum(surface.get("triangles", 0) for surface in surfaces)
    camera = update.get("camera")
    if camera and len(camera.get("matrix", [])) == 16:
        eye = camera["matrix"][12:15]
        camera = "camera at (%.1f, %.1f, %.1f)" % tuple(eye)
    else:
        camera = "no camera"
    return (f"Ombrel.exe mirrors \"{update.get('document', '')}\" version {update.get('version', 0)}: "
            f"{len(surfaces)} surfaces, {triangles} triangles, {camera}")


def main():
    for line in sys.stdin:
        try:
            print(describe(json.loads(line)), flush=True)
        except (ValueError, AttributeError, TypeError):
            continue


if __name__ == "__main__":
    main()
