#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every relative link of README.md and doc/*.md names a file that exists
and, where it has one, a heading of that file (as the anchors of rendered
Markdown are made: lower case, punctuation dropped, blanks as hyphens).

  tests/doc_links_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys

root = sys.argv[1]
pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "doc", "*.md")))


def anchors(path):
    with open(path, encoding="utf-8") as f:
        text = re.sub(r"```.*?```", "", f.read(), flags=re.S)
    return {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-")
            for h in re.findall(r"^#+ (.*)$", text, re.M)}


broken = []
links = 0
for page in pages:
    with open(page, encoding="utf-8") as f:
        text = re.sub(r"```.*?```", "", f.read(), flags=re.S)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue
        links += 1
        path, _, anchor = target.partition("#")
        file = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(file):
            broken.append("%s: %s (no such file)" % (os.path.relpath(page, root), target))
        elif anchor and file.endswith(".md") and anchor not in anchors(file):
            broken.append("%s: %s (no such heading)" % (os.path.relpath(page, root), target))
print("\n".join(broken))
print("%d relative links, %d broken" % (links, len(broken)))
sys.exit(1 if broken else 0)
