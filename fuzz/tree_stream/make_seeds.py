#!/usr/bin/env python3
"""Writes seeds for fuzz_tree_stream into the folder given: a deep chain and
a wide level of nodes, each as a whole-tree load (first byte 4: with multiple selection), as a load
without its header (5) and as an insert (0x16).

    fuzz/tree_stream/make_seeds.py build-fuzz/tree_stream_corpus
"""
import os
import struct
import sys

HEADER = struct.pack("<6H", 0x2045, ord("V"), ord("T"), 2, ord(" "), 0x2046)


def body(children, states):
    # child count, height, states, align, check state, check type, reserved
    return struct.pack("<IIHBBBI", children, 18, states, 50, 0, 0, 0)


def node(children_bytes, children, states, data=b""):
    base = struct.pack("<II", 2, 17 + len(children_bytes)) + body(children, states) + children_bytes
    user = struct.pack("<II", 4, len(data)) + data if data else b""
    inner = base + user
    return struct.pack("<II", 1, len(inner)) + inner


def chain(depth):
    # Built from the bottom up; each level the only child of the one above.
    out = node(b"", 0, 0x81, b"\x01\x00\x00\x00")
    for _ in range(depth - 1):
        out = node(out, 1, 0xE1)
    return out


def wide(count):
    kids = b"".join(node(b"", 0, 0x81 | (0x100 if i % 7 == 0 else 0), struct.pack("<I", i)) for i in range(count))
    return node(kids, count, 0xE1)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, nodes in (("deep", chain(20000)), ("wide", wide(20000)), ("small", chain(3) + wide(3))):
        count = 2 if name == "small" else 1
        with open(os.path.join(folder, name + "-load"), "wb") as f:
            f.write(b"\x04" + HEADER + struct.pack("<I", count) + nodes)
        with open(os.path.join(folder, name + "-bare"), "wb") as f:
            f.write(b"\x05" + struct.pack("<I", count) + nodes)
        with open(os.path.join(folder, name + "-insert"), "wb") as f:
            f.write(b"\x16" + nodes)


if __name__ == "__main__":
    main()
