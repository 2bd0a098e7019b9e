#!/usr/bin/env python3
"""Writes a product-like tree for the package benchmark.

    make_tree.py ROOT FILES MEGABYTES [SEED]

ROOT/build/... receives FILES files of MEGABYTES MiB in all, spread over
nested folders: many small files (pages, scripts, styles, resources: text
that deflates well, some binary) holding about 40 % of the bytes, and one
large file in 500 (libraries, images, archives: half random, half text)
holding the rest. Same arguments and seed, same tree.
"""
import os
import random
import sys

WORDS = (b"the of and to in is for on that with as by at from this be or are an it was file "
         b"server web data user install service config table index value name path class function "
         b"return var const if else while for new null true false div span href src style script "
         b"<div class=\"row\"> </div> {\"id\": 1, \"name\": \"item\"} public void string int ").split()


def corpus(rng, size):
    out = bytearray()
    while len(out) < size:
        line = b" ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        out += line + b"\r\n"
    return bytes(out[:size])


def main():
    root, files, megabytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    rng = random.Random(seed)
    total = megabytes * 1024 * 1024
    text = corpus(rng, 8 * 1024 * 1024)

    large = max(1, files // 500)
    small = files - large
    large_total = total * 6 // 10
    small_total = total - large_total

    # Folders: a few top-level areas, each with nested subfolders.
    folders = []
    for a in range(max(1, files // 1000)):
        for b in range(8):
            for c in range(3):
                folders.append(os.path.join(f"area{a:02d}", f"module{b}", f"part{c}"))
    folders += ["bin", "bin/x64", "images", "packages"]

    # Small sizes: log-uniform between 100 B and 100 KB, scaled to their share.
    raw = [10 ** rng.uniform(2, 5) for _ in range(small)]
    scale = small_total / sum(raw)
    small_sizes = [max(1, int(s * scale)) for s in raw]
    raw = [rng.uniform(1, 4) for _ in range(large)]
    scale = large_total / sum(raw)
    large_sizes = [max(1, int(s * scale)) for s in raw]

    def content(size, binary_share):
        binary = int(size * binary_share)
        start = rng.randrange(0, len(text) - min(size, len(text) - 1))
        chunk = bytearray(rng.randbytes(binary))
        remaining = size - binary
        while remaining > 0:
            take = min(remaining, len(text) - start)
            chunk += text[start:start + take]
            remaining -= take
            start = 0
        return bytes(chunk)

    build = os.path.join(root, "build")
    made = set()
    extensions = [".aspx", ".js", ".css", ".config", ".xml", ".resx", ".png", ".gif", ".html", ".json"]
    for i, size in enumerate(small_sizes):
        folder = os.path.join(build, folders[i % len(folders)])
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        ext = extensions[i % len(extensions)]
        binary_share = 1.0 if ext in (".png", ".gif") else 0.0
        with open(os.path.join(folder, f"f{i:05d}{ext}"), "wb") as f:
            f.write(content(size, binary_share))
    for i, size in enumerate(large_sizes):
        folder = os.path.join(build, ["bin", "bin/x64", "images", "packages"][i % 4])
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"large{i:03d}.dll"), "wb") as f:
            f.write(content(size, 0.5))


if __name__ == "__main__":
    main()
