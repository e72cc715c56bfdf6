#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The facts the README and doc/ repeat for the reader match their one
source: every version named in a package or archive file name, and the one
in the man page's title line, is the one of cmake/version.cmake, and the
README and the man page show the sample frame's result line as
samples/colorbars_320x240.uyvy.expected holds it.

  tests/doc_facts_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys

root = sys.argv[1]
with open(os.path.join(root, "cmake", "version.cmake"), encoding="utf-8") as f:
    version = re.search(r"set\(RAWHIST_VERSION ([0-9.]+)\)", f.read()).group(1)
with open(os.path.join(root, "samples", "colorbars_320x240.uyvy.expected"), encoding="utf-8") as f:
    sample_line = f.read().strip()

wrong = []
pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "doc", "*.md")))
for page in pages:
    with open(page, encoding="utf-8") as f:
        text = f.read()
    for named in re.findall(r"rawhist[_-](\d+\.\d+\.\d+)[_-]", text):
        if named != version:
            wrong.append("%s names version %s, not %s" % (os.path.relpath(page, root), named, version))
with open(os.path.join(root, "doc", "rawhist.1"), encoding="utf-8") as f:
    title = re.search(r'^\.TH .*"rawhist ([0-9.]+)"', f.read(), re.M)
if title is None or title.group(1) != version:
    wrong.append("doc/rawhist.1's title line does not name version %s" % version)
for page in ("README.md", "doc/rawhist.1"):
    with open(os.path.join(root, page), encoding="utf-8") as f:
        if sample_line not in f.read():
            wrong.append("%s does not show the sample's line '%s'" % (page, sample_line))
print("\n".join(wrong))
print("version %s, sample line '%s': %d mismatches" % (version, sample_line, len(wrong)))
sys.exit(1 if wrong else 0)
