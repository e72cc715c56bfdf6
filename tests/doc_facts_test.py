#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The facts that documents, scripts and the completion repeat match their
one source, each copy checked:

- the version (cmake/version.cmake) in every package or archive file name
  of the README and doc/, and in the man page's title line;
- the sample frame's result lines (samples/colorbars_320x240.uyvy.expected
  and .runs) in the README and the man page, wherever they show a run;
- the CPUs each architecture is tested on (cmake/target_cpus.cmake) in
  doc/boards.md's table;
- the format words (src/options.cpp) in the completion, its test, the
  README's table and the man page;
- the mapping threshold (src/frame_buffer.h) and the length from which the
  CPU is asked for a faster kernel (src/analysis/count_kernels.h) wherever
  the README and doc/performance.md name them;
- the packages of tools/install-packages that the README names;
- the CI stages of .ci/run in its header and in doc/development.md.

  tests/doc_facts_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys

root = sys.argv[1]
wrong = []


def read(path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


def source(path, pattern):
    """The first group of `pattern` in a source file, which must have it."""
    found = re.search(pattern, read(path), re.M)
    if found is None:
        sys.exit("%s has no match for %s: this test needs updating" % (path, pattern))
    return found.group(1)


def same(what, copy, original):
    if copy != original:
        wrong.append("%s: %s, where the source has %s" % (what, copy, original))


# The version.
version = source("cmake/version.cmake", r"set\(RAWHIST_VERSION ([0-9.]+)\)")
for page in ["README.md"] + sorted(os.path.relpath(p, root) for p in glob.glob(os.path.join(root, "doc", "*.md"))):
    for named in re.findall(r"rawhist[_-](\d+\.\d+\.\d+)[_-]", read(page)):
        same(page + " names version", named, version)
same("doc/rawhist.1's title line names version", source("doc/rawhist.1", r'^\.TH .*"rawhist ([0-9.]+)"'), version)

# The sample's result lines: every run shown must be one the tests run.
runs = {"-f uyvy": read("samples/colorbars_320x240.uyvy.expected").strip()}
for line in read("samples/colorbars_320x240.uyvy.runs").splitlines():
    if not line.startswith("#"):
        options, result = line.split(" => ")
        runs[options.strip()] = result
for page in ("README.md", "doc/rawhist.1"):
    shown = re.findall(r"^\$ rawhist \\?-n (?:samples/)?colorbars_320x240\.uyvy ?(.*)\n(.*)$", read(page), re.M)
    if not shown:
        wrong.append("%s shows no run on the sample frame" % page)
    for options, result in shown:
        options = options.replace("\\-", "-")
        same("%s's run '%s' prints" % (page, options), result, runs.get(options, "a run no test makes"))

# The CPU table: every row of doc/boards.md's table of architectures.
cpus = read("cmake/target_cpus.cmake")
table = {}
for kind, arch, names in re.findall(r"^set\(RAWHIST_(SUITE_CPU|ARCHIVE_CPUS)_(\w+) ([^)]*)\)", cpus, re.M):
    table[(kind, arch)] = names.split()
rows = re.findall(r"^\| (\w+) \| `[\w-]+` \|([^|]*)\|[^|]*\|([^|]*)\|$", read("doc/boards.md"), re.M)
if len(rows) < 10:
    wrong.append("doc/boards.md: no table of the architectures' CPUs found")
for arch, suite, archive in rows:
    named_suite = re.findall(r"`([^`]+)`", suite)
    same("doc/boards.md's suite CPU of " + arch, named_suite, table.get(("SUITE_CPU", arch), []))
    same("doc/boards.md's archive CPUs of " + arch, re.findall(r"`([^`]+)`", archive),
         table.get(("ARCHIVE_CPUS", arch), []))
for kind, arch in table:
    if arch not in [r[0] for r in rows]:
        wrong.append("doc/boards.md has no row for %s" % arch)

# The format words.
words = re.findall(r'\{"(\w+)", \w+\}', source("src/options.cpp", r"k_format_words\[\] = \{([^;]*)\};"))
same("completion/rawhist offers after -f", source("completion/rawhist", r"compgen -W '([a-z ]+)'").split(), words)
same("tests/completion_test.sh expects after -f", source("tests/completion_test.sh", r"^expect 'rawhist -f ' '([a-z ]+) '$").split(),
     sorted(words))
same("the README's table of format words", re.findall(r"`(\w+)`", " ".join(
    re.findall(r"^\| (`\w+`(?:, `\w+`)*) \|", read("README.md"), re.M))), words)
same("the man page's -f words", re.findall(r"^\.BR (\w+)", source("doc/rawhist.1", r"by one of the words\n((?:\.BR \w+ ?,?\n|or\n)*)"),
                                           re.M), words)

# The thresholds, by the phrases that name them.
mapping_kib = int(source("src/frame_buffer.h", r"k_mapping_threshold = std::size_t\{(\d+)\} << 10U;"))
huge_mib = int(source("src/frame_buffer.h", r"k_huge_page = std::size_t\{(\d+)\} << 20U;"))
question_kib = int(source("src/analysis/count_kernels.h", r"k_cpu_question_min_length = std::uint64_t\{(\d+)\} << 10U;"))
for page, pattern, value in (
        ("README.md", r"A frame of (\d+) KiB or more goes into whole", mapping_kib),
        ("README.md", r"goes into whole (\d+) MiB huge pages", huge_mib),
        ("doc/performance.md", r"the heap below (\d+) KiB", mapping_kib),
        ("doc/performance.md", r"from\s+(\d+) KiB up both take the same path", mapping_kib),
        ("doc/performance.md", r"huge-page buffer from (\d+) KiB", mapping_kib),
        ("doc/performance.md", r"for frames under (\d+) KiB, the portable kernel", question_kib),
        ("doc/performance.md", r"frames\s+of (\d+) KiB and more are counted by", question_kib),
        ("doc/performance.md", r"Frames below (\d+) KiB are unchanged", question_kib),
        ("doc/performance.md", r"the AVX-512 kernel from (\d+) KiB", question_kib)):
    found = re.findall(pattern, read(page))
    if not found:
        wrong.append("%s no longer says '%s': update this test with it" % (page, pattern))
    for named in found:
        same("%s's '%s'" % (page, pattern), int(named), value)


# The packages the README names for its two commands.
def packages(purpose):
    text = source("tools/install-packages", r"^\s+%s\)\n?((?:[^;]|;(?!;))*);;" % purpose)
    return set(re.sub(r"#.*", "", text).replace("\\\n", " ").replace("echo", " ").split())


readme = read("README.md")
named_for_tool = source("README.md", r"The first command installs what building the tool needs \(([^;)]*)")
same("the README's packages for the tool", set(re.findall(r"`([\w.+-]+)`", named_for_tool)), packages("tool"))
named_for_tests = source("README.md", r"The second installs what the tests need as well \(((?:[^()]|\([^)]*\))*)\)")
# The README names some packages by what they are, and leaves out those
# that come with others.
known_as = {"libgtest-dev": "GoogleTest", "libbenchmark-dev": "Google Benchmark", "libsimde-dev": "SIMDe",
            "linux-libc-dev": "the kernel headers"}
for package in sorted(packages("tests") - packages("tool") - {"findutils", "python3"}):
    if "`%s`" % package not in named_for_tests and known_as.get(package, "\0") not in named_for_tests:
        wrong.append("the README does not name the test package %s" % package)
for package in re.findall(r"`([\w.+-]+)`", named_for_tests.split("; not")[0]):
    if package not in packages("tests"):
        wrong.append("the README names %s, which tools/install-packages does not install for the tests" % package)
if "`%s`" % " ".join(sorted(packages("recipes"))) not in named_for_tests:
    wrong.append("the README does not name the recipes' package %s" % " ".join(sorted(packages("recipes"))))

# The CI stages.
stages = source(".ci/run", r"^stages=\(([^)]*)\)").split()
same(".ci/run's header names the stages", re.findall(r"^#   (\w+) {2,}", read(".ci/run"), re.M), stages)
same("doc/development.md names the stages", re.findall(r"`(\w+)`", source(
    "doc/development.md", r"^\| `bash \.ci/run --list` \| (.*) \|$")), stages)

print("\n".join(wrong))
print("version %s, %d sample runs, %d architectures, %d format words, %d stages: %d mismatches"
      % (version, len(runs), len(rows), len(words), len(stages), len(wrong)))
sys.exit(1 if wrong else 0)
