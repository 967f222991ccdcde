"""Reads a COLLADA file with python-collada and checks it against the COLLADA 1.4.1 schema that
python-collada ships. Usage: read_collada.py FILE [--findings]. Prints one line per count, one
line per unexpected finding, and how many findings the file format itself prescribes:

    geometries N / triangles N / images N / nodes N
    unexpected: <message>         a finding nobody expects
    expected findings: N (<kind> N, ...)

With --findings each expected finding gets a line of its own instead of the count:

    expected <kind>: <message>    a deviation that the file format itself prescribes

Exit status 0 when the file was read, 1 when a reader refused it."""

import collections
import re
import sys

import collada
from collada import schema
from lxml import etree

NS = "{http://www.collada.org/2005/11/COLLADASchema}"

# Deviations from the schema that the file format prescribes: the asctime form of <created>, no
# <modified>, libraries that may be empty, display names with spaces, ids from hexadecimal numbers.
EXPECTED = [
    ("created", re.compile(r"Element '" + re.escape(NS) + r"created': .* is not a valid value of the atomic type 'xs:dateTime'")),
    ("modified", re.compile(r"Element '" + re.escape(NS) + r"unit': This element is not expected\. Expected is one of \( " + re.escape(NS) + r"keywords, " + re.escape(NS) + r"modified \)")),
    ("empty library", re.compile(r"Element '" + re.escape(NS) + r"library_\w+': Missing child element\(s\)")),
    ("name", re.compile(r"Element '" + re.escape(NS) + r"\w+', attribute 'name': .* is not a valid value of the atomic type 'xs:NCName'", re.S)),
    ("id", re.compile(r"Element '" + re.escape(NS) + r"\w+', attribute 'id': '[0-9][0-9A-F]*(-[a-z]+)*' is not a valid value of the atomic type 'xs:ID'")),
]

# python-collada itself only takes surfaces of type "2D"; the file declares its texture surfaces
# "UNTYPED", which the schema allows.
READER_DEVIATIONS = [
    ("untyped surface", "Hard to imagine a non-2D surface"),
]


def all_subclasses(kind):
    found = [kind]
    for subclass in kind.__subclasses__():
        found += all_subclasses(subclass)
    return found


def count_nodes(nodes):
    total = 0
    for node in nodes:
        total += 1
        total += count_nodes([child for child in getattr(node, "children", []) if isinstance(child, collada.scene.Node)])
    return total


class Findings:
    """Prints unexpected findings at once; expected ones at once with --findings, else counted."""

    def __init__(self, each):
        self.each = each
        self.counts = collections.Counter()

    def expected(self, kind, message):
        if self.each:
            print("expected %s: %s" % (kind, message))
        self.counts[kind] += 1

    def close(self):
        if not self.each:
            kinds = ", ".join("%s %d" % (kind, count) for kind, count in sorted(self.counts.items()))
            print("expected findings: %d%s" % (sum(self.counts.values()), " (%s)" % kinds if kinds else ""))


def main(path, findings):
    document = collada.Collada(path, ignore=all_subclasses(collada.DaeError))
    # An effect that python-collada refuses for its surface takes its material and the material's
    # binding with it; those follow-on errors count with the refusal, one each per refused effect.
    refused_effects = 0
    follow_on = {"effect": 0, "material": 0}
    for error in document.errors:
        text = str(error)
        kind = next((name for name, marker in READER_DEVIATIONS if marker in text), None)
        if kind:
            refused_effects += 1
            findings.expected(kind, text)
        elif re.search(r"Effect not found: #effect-[0-9A-F]+$", text) and follow_on["effect"] < refused_effects:
            follow_on["effect"] += 1
            findings.expected("untyped surface", text)
        elif re.search(r"Material #material-[0-9A-F]+ not found$", text) and follow_on["material"] < refused_effects:
            follow_on["material"] += 1
            findings.expected("untyped surface", text)
        else:
            print("unexpected: reader: %s: %s" % (type(error).__name__, text))
    triangles = 0
    for geometry in document.geometries:
        for primitive in geometry.primitives:
            triangles += len(primitive)
    print("geometries", len(document.geometries))
    print("triangles", triangles)
    print("images", len(document.images))
    print("nodes", count_nodes(document.scene.nodes) if document.scene else 0)

    tree = etree.parse(path, etree.XMLParser(huge_tree=True))
    validator = schema.ColladaValidator()
    if not validator.validate(tree):
        for error in validator.COLLADA_SCHEMA_1_4_1_INSTANCE.error_log:
            # One finding per line: the <created> text carries its own line break.
            message = error.message.replace("\r", "\\r").replace("\n", "\\n")
            kind = next((name for name, pattern in EXPECTED if pattern.search(message)), None)
            if kind:
                findings.expected(kind, message)
            else:
                print("unexpected: line %d: %s" % (error.line, message))
    findings.close()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1], Findings("--findings" in sys.argv[2:])))
    except Exception as error:  # a reader that refuses the file
        print("refused:", type(error).__name__, error)
        sys.exit(1)
