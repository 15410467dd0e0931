#!/usr/bin/env python3
"""Damaged databases against quillmerge-export.

Makes deterministic mutations of real Access files (the shared corpus) and of
generated fixtures, aimed at the structures a reader walks: the header page,
the catalogue (MSysObjects), table definitions, usage maps and data pages.
Each mutated file is run through

    quillmerge-export FILE --list-tables
    quillmerge-export FILE --table FIRST --output OUT.docx

(FIRST: the first table of the original file that exports; a table whose
name the queries cannot hold would only ever fail.)

and every run must end in one of two ways: success (exit 0, and for the
export a complete document that a ZIP and XML reader accept), or failure
(exit 1) with exactly one line on standard error that names the problem.
A crash (any signal), a hang (over --timeout seconds), a usage error, a
message of several lines, a half-written document or a file left behind in
the output folder is a violation. Violating inputs are kept in --findings.

    tools/mutate.py --build BUILD [--count 10000] [--first 0] [--jobs 2]

Mutation i always makes the same file, so a subset (--first, --count) of a
full run reproduces exactly; CI runs a few hundred. Exit status 1 when any
run broke the rules.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Passwords of the corpus files that have one; everything else opens without.
CORPUS_PASSWORDS = {
    "V2000_with-password.mdb": "password",
    "V2003_with-password.mdb": "password",
    "V2010_with-password.accdb": "password",
    "office-agile-4.4.accdb": "password",
    "access2007-rc4-encrypted.accdb": "Test123",
}

# Fixture descriptions too large to mutate quickly.
SKIPPED_FIXTURES = {"million-rows", "many-tables"}

# Where a table definition keeps the page/row of its usage map (Jet 3, Jet 4+).
USAGE_MAP_OFFSET = {2048: 35, 4096: 55}
ROW_COUNT_OFFSET = {2048: 8, 4096: 12}

REGIONS = ("header", "catalogue", "definition", "usage-map", "data")


class Source:
    """One original file and the byte ranges of each kind of structure in it."""

    def __init__(self, path, password):
        self.path = path
        self.name = os.path.basename(path)
        self.password = password
        with open(path, "rb") as f:
            self.data = f.read()
        self.page_size = 2048 if self.data[0x14] == 0 else 4096
        self.pages = len(self.data) // self.page_size
        self.regions = {name: [] for name in REGIONS}
        self.first_table = None
        self._classify()

    def page(self, number):
        return self.data[number * self.page_size:(number + 1) * self.page_size]

    def _whole(self, region, number):
        start = number * self.page_size
        self.regions[region].append((start, start + self.page_size))

    def _classify(self):
        self.regions["header"].append((0, min(self.page_size, len(self.data))))
        encoded = self.data[0x14] >= 2 and self._encoded()
        for number in range(1, self.pages):
            page = self.page(number)
            if encoded:
                # Pages encrypted with the password cannot be told apart here.
                self._whole("data", number)
                continue
            kind = page[0]
            owner = struct.unpack_from("<I", page, 4)[0]
            if kind == 0x02:
                self._whole("catalogue" if number == 2 else "definition", number)
                self._add_usage_map(page)
            elif kind == 0x01:
                self._whole("catalogue" if owner == 2 else "data", number)
            elif kind == 0x05:
                self._whole("usage-map", number)
        # A file without some structure (an empty database has no user data
        # pages) has the mutations meant for it aimed at its data or header.
        for name in REGIONS:
            if not self.regions[name]:
                self.regions[name] = self.regions["data"] or self.regions["header"]

    def _encoded(self):
        # The key that encodes the pages, in the header's obscured region.
        clear = rc4(bytes([0xC7, 0xDA, 0x39, 0x6B]), self.data[0x18:0x18 + 128])
        return struct.unpack_from("<I", clear, 0x3E - 0x18)[0] != 0

    def _add_usage_map(self, definition):
        offset = USAGE_MAP_OFFSET[self.page_size]
        if offset + 4 > len(definition):
            return
        pointer = struct.unpack_from("<I", definition, offset)[0]
        number, row = pointer >> 8, pointer & 0xFF
        if number == 0 or number >= self.pages:
            return
        page = self.page(number)
        table = ROW_COUNT_OFFSET[self.page_size]
        if table + 2 + 2 * row + 2 > len(page):
            return
        start = struct.unpack_from("<H", page, table + 2 + 2 * row)[0] & 0x1FFF
        end = self.page_size if row == 0 else struct.unpack_from("<H", page, table + 2 * row)[0] & 0x1FFF
        if start < end <= self.page_size:
            base = number * self.page_size
            self.regions["usage-map"].append((base + start, base + end))


def rc4(key, data):
    state = list(range(256))
    j = 0
    for i in range(256):
        j = (j + state[i] + key[i % len(key)]) % 256
        state[i], state[j] = state[j], state[i]
    out = bytearray()
    i = j = 0
    for byte in data:
        i = (i + 1) % 256
        j = (j + state[i]) % 256
        state[i], state[j] = state[j], state[i]
        out.append(byte ^ state[(state[i] + state[j]) % 256])
    return bytes(out)


def mutate(source, index):
    """The index-th mutation: (bytes, description). Always the same for the same index."""
    rng = random.Random(index * 1_000_003 + 17)
    data = bytearray(source.data)
    region = REGIONS[index % len(REGIONS)]
    start, end = rng.choice(source.regions[region])
    at = rng.randrange(start, end)
    operator = rng.choice(["bytes", "bytes", "field", "field", "field", "bits", "zeros", "page", "cut"])
    interesting = [0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000,
                   0xFFFFFFFF, source.pages, source.pages + 1, source.page_size, source.page_size - 1,
                   (source.pages - 1) << 8, source.pages << 8 | 0xFF]
    if operator == "bytes":
        for i in range(rng.randint(1, 8)):
            if at + i < len(data):
                data[at + i] = rng.randrange(256)
    elif operator == "field":
        width = rng.choice([1, 2, 4])
        value = rng.choice(interesting) & ((1 << (8 * width)) - 1)
        at = min(at, len(data) - width)
        data[at:at + width] = value.to_bytes(width, "little")
    elif operator == "bits":
        for _ in range(rng.randint(1, 4)):
            spot = rng.randrange(start, end)
            data[spot] ^= 1 << rng.randrange(8)
    elif operator == "zeros":
        length = rng.randint(16, 256)
        data[at:min(end, at + length)] = bytes(min(end, at + length) - at)
    elif operator == "page":
        # Another page of the file over this one (a misplaced write).
        number = at // source.page_size
        other = rng.randrange(source.pages)
        data[number * source.page_size:(number + 1) * source.page_size] = source.page(other)
    else:
        data = data[:at]
    return bytes(data), "%s %s at %d" % (region, operator, at)


def run(command, env, timeout):
    started = time.monotonic()
    try:
        result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=timeout, start_new_session=True)
    except subprocess.TimeoutExpired:
        return None, b"", b"", time.monotonic() - started
    return result.returncode, result.stdout, result.stderr, time.monotonic() - started


def problem_with_failure(stderr):
    """Why a failure message breaks the rules, or None when it is one clear line."""
    text = stderr.decode("utf-8", "replace")
    lines = text.splitlines()
    if len(lines) != 1 or not text.endswith("\n"):
        return "failure message is %d lines: %r" % (len(lines), text[:400])
    message = lines[0]
    prefix = "quillmerge-export: "
    if not message.startswith(prefix) or len(message) - len(prefix) < 12:
        return "failure message names no problem: %r" % message
    return None


def problem_with_document(path):
    try:
        with zipfile.ZipFile(path) as package:
            if package.testzip() is not None:
                return "document has a damaged entry"
            ElementTree.fromstring(package.read("word/document.xml"))
    except Exception as error:  # any reader failure is the finding
        return "document does not read: %s" % error
    return None


def check(number, sources, exporter, timeout, keep):
    source = sources[number % len(sources)]
    data, how = mutate(source, number)
    problems = []
    outcomes = []
    with tempfile.TemporaryDirectory(prefix="qm-mutate-") as work:
        database = os.path.join(work, source.name)
        with open(database, "wb") as f:
            f.write(data)
        out_dir = os.path.join(work, "out")
        os.mkdir(out_dir)
        env = dict(os.environ)
        env.pop("QUILLMERGE_PASSWORD", None)
        if source.password:
            env["QUILLMERGE_PASSWORD"] = source.password
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "detect_leaks=1")

        code, stdout, stderr, seconds = run([exporter, database, "--list-tables"], env, timeout)
        table = source.first_table
        outcomes.append(("list", code, stderr))
        problems += judge("list", code, stderr, seconds, timeout)

        if table:
            output = os.path.join(out_dir, "out.docx")
            code, stdout, stderr, seconds = run(
                [exporter, database, "--table", table, "--output", output], env, timeout)
            outcomes.append(("export", code, stderr))
            problems += judge("export", code, stderr, seconds, timeout)
            left = sorted(os.listdir(out_dir))
            if code == 0:
                if left != ["out.docx"]:
                    problems.append("export: output folder holds %s" % left)
                else:
                    problem = problem_with_document(output)
                    if problem:
                        problems.append("export: " + problem)
            elif left:
                problems.append("export failed but left %s" % left)
        if problems and keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(database, os.path.join(keep, "%05d-%s" % (number, source.name)))
    return number, source.name, how, outcomes, problems


def judge(step, code, stderr, seconds, timeout):
    if code is None:
        return ["%s: no answer within %d s" % (step, timeout)]
    if code < 0:
        return ["%s: killed by signal %s: %s" % (step, signal.Signals(-code).name,
                                                   stderr.decode("utf-8", "replace")[-2000:])]
    if code == 1:
        problem = problem_with_failure(stderr)
        return ["%s: %s" % (step, problem)] if problem else []
    if code != 0:
        return ["%s: exit status %d: %s" % (step, code, stderr.decode("utf-8", "replace")[:400])]
    return []


def fixture_sources(build, cache):
    """Fixtures written by quillmerge-mkdb from the project's descriptions."""
    mkdb = os.path.join(build, "bin", "quillmerge-mkdb")
    sources = []
    folders = [os.path.join(ROOT, "tests", "fixtures"), os.path.join(ROOT, "tests", "reliability", "fixtures")]
    for folder in folders:
        if not os.path.isdir(folder):
            continue
        for entry in sorted(os.listdir(folder)):
            name, extension = os.path.splitext(entry)
            if extension != ".json" or name in SKIPPED_FIXTURES:
                continue
            description = os.path.join(folder, entry)
            with open(description, encoding="utf-8") as f:
                described = json.load(f)
            if any(t.get("repeat", 1) > 50 for t in described.get("tables", [])):
                continue
            target = os.path.join(cache, name + ".mdb")
            subprocess.run([mkdb, "--quiet", target, description], check=True)
            sources.append(Source(target, described.get("password")))
    return sources


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder with bin/quillmerge-export")
    parser.add_argument("--exporter", help="quillmerge-export to test (default: the build's)")
    parser.add_argument("--corpus", default=os.path.join(ROOT, "..", "shared", "corpus"))
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--timeout", type=int, default=10)
    parser.add_argument("--findings", help="folder for the inputs that broke the rules")
    parser.add_argument("--report", help="write a JSON summary here")
    args = parser.parse_args()

    exporter = args.exporter or os.path.join(args.build, "bin", "quillmerge-export")
    cache = tempfile.mkdtemp(prefix="qm-mutate-sources-")
    try:
        sources = []
        if os.path.isdir(args.corpus):
            for entry in sorted(os.listdir(args.corpus)):
                if entry.endswith((".mdb", ".accdb")):
                    sources.append(Source(os.path.join(args.corpus, entry), CORPUS_PASSWORDS.get(entry)))
        sources += fixture_sources(args.build, cache)
        if not sources:
            sys.exit("no source files: neither the corpus nor the fixtures were found")
        # The table each mutation exports: the first table of the original
        # that exports at all (names with ']' or back-quotes cannot be queried).
        for source in sources:
            env = dict(os.environ)
            env.pop("QUILLMERGE_PASSWORD", None)
            if source.password:
                env["QUILLMERGE_PASSWORD"] = source.password
            listed = subprocess.run([exporter, source.path, "--list-tables"], env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            for name in listed.stdout.decode("utf-8", "replace").splitlines():
                with tempfile.TemporaryDirectory(prefix="qm-mutate-") as work:
                    tried = subprocess.run([exporter, source.path, "--table", name, "--output",
                                            os.path.join(work, "out.docx")], env=env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if tried.returncode == 0:
                    source.first_table = name
                    break

        started = time.monotonic()
        outcomes = collections.Counter()
        messages = collections.Counter()
        by_region = collections.Counter()
        violations = []
        numbers = range(args.first, args.first + args.count)
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for number, name, how, results, problems in pool.map(
                    lambda n: check(n, sources, exporter, args.timeout, args.findings), numbers):
                by_region[how.split()[0]] += 1
                for step, code, stderr in results:
                    outcome = "ok" if code == 0 else "failed" if code == 1 else "broken"
                    outcomes[step + " " + outcome] += 1
                    if code == 1:
                        line = stderr.decode("utf-8", "replace").strip()
                        messages[re.sub(r"/[^']*/qm-mutate-[^/']*/", "", line)[:110]] += 1
                for problem in problems:
                    violations.append("mutation %d (%s, %s): %s" % (number, name, how, problem))
                    print(violations[-1], flush=True)
        elapsed = time.monotonic() - started

        print("%d mutations of %d files (%s) in %.0f s" % (
            args.count, len(sources), ", ".join("%s %d" % kv for kv in sorted(by_region.items())), elapsed))
        for outcome, count in sorted(outcomes.items()):
            print("  %-16s %6d" % (outcome, count))
        print("most frequent failure messages:")
        for message, count in messages.most_common(12):
            print("  %6d  %s" % (count, message))
        print("violations: %d" % len(violations))
        if args.report:
            with open(args.report, "w", encoding="utf-8") as f:
                json.dump({"mutations": args.count, "first": args.first, "files": len(sources),
                           "seconds": round(elapsed), "outcomes": outcomes, "regions": by_region,
                           "messages": messages.most_common(30), "violations": violations}, f, indent=1)
        sys.exit(1 if violations else 0)
    finally:
        shutil.rmtree(cache, ignore_errors=True)


if __name__ == "__main__":
    main()
