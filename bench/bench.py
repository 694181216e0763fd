#!/usr/bin/python3
"""Chunkler's benchmark (run through scripts/bench.sh, which sets up Wine).

Every case runs each program once to warm up and then RUNS times, taking turns, with the page cache
warm and dirty pages flushed (sync, untimed) before each run. The table gives medians of wall time.
Every result is checked (parts compared byte for byte, joined files and trees compared with the
source); a failed or wrong run makes the exit code 1. Slow figures never do.
"""

import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, os.environ.get("BENCH_BUILD", "build/win64"))
SCRATCH = os.path.abspath(os.environ.get("BENCH_DIR", os.path.join(ROOT, "build/bench")))
QUICK = os.environ.get("BENCH_QUICK", "") not in ("", "0")

CHUNKLER = os.path.join(BUILD, "Chunkler.exe")
REFTREE = os.path.join(BUILD, "bench", "RefTreeCopy.exe")
HEADERSCALE = os.path.join(BUILD, "tests", "TestHeaderScale.exe")

RUNS = 3 if QUICK else 5
MIB = 1024 * 1024
BIG_SIZE = (256 if QUICK else 1024) * MIB
TREE_FOLDERS, TREE_FILES = (200, 2000) if QUICK else (2000, 20000)
HDR_FOLDERS, HDR_FILES = (200, 39799) if QUICK else (1000, 198999)  # with the root: 40,000 / 200,000 records
DISK = 1453568  # "1.44 MB Disk"
HUNDRED_MB = 100 * MIB  # Chunkler's MB is 1,048,576 bytes ("650 MB CD" is 681,574,400)

failures = []


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def log(text):
    print(text, flush=True)


# ---------------------------------------------------------------- inputs


def make_inputs():
    """Inputs are kept between runs of the benchmark; a stamp names what was generated."""
    inputs = os.path.join(SCRATCH, "input")
    stamp = os.path.join(inputs, "stamp")
    want = f"big={BIG_SIZE} tree={TREE_FOLDERS}/{TREE_FILES} hdr={HDR_FOLDERS}/{HDR_FILES} v1\n"
    if os.path.exists(stamp) and open(stamp).read() == want:
        log(f"bench: reusing the inputs in {inputs}")
        return inputs
    log(f"bench: generating inputs in {inputs}")
    shutil.rmtree(inputs, ignore_errors=True)
    os.makedirs(inputs)
    rnd = random.Random(4711)
    with open(os.path.join(inputs, "big.bin"), "wb") as f:
        block = 16 * MIB
        for _ in range(BIG_SIZE // block):
            f.write(os.urandom(block))
    make_tree(os.path.join(inputs, "tree"), TREE_FOLDERS, TREE_FILES, lambda: rnd.randint(0, 64 * 1024), rnd)
    make_tree(os.path.join(inputs, "hdr"), HDR_FOLDERS, HDR_FILES, lambda: 0, rnd)
    with open(stamp, "w") as f:
        f.write(want)
    return inputs


def make_tree(root, folders, files, size, rnd):
    """Folders two levels deep (about 10 per parent), files spread evenly over them."""
    os.makedirs(root)
    dirs = []
    top = max(1, folders // 10)
    for i in range(folders):
        if i < top:
            d = os.path.join(root, f"dir{i:04d}")
        else:
            d = os.path.join(dirs[i % top], f"sub{i:05d}")
        os.mkdir(d)
        dirs.append(d)
    noise = os.urandom(64 * 1024 + 4096)
    for i in range(files):
        n = size()
        with open(os.path.join(dirs[i % folders], f"file{i:06d}.dat"), "wb") as f:
            if n:
                start = rnd.randint(0, 4096)
                f.write(noise[start:start + n])


# ---------------------------------------------------------------- running and checking


def run(argv, shell=False, expect=0, stdout=None):
    """Runs one command under /usr/bin/time -v; returns (seconds, peak RSS in KiB)."""
    # Output goes to files, not pipes: a Wine program may start Wine's desktop process, which
    # inherits its handles and lives on, so a pipe would never reach its end.
    with tempfile.NamedTemporaryFile("r", suffix=".time") as timing, tempfile.TemporaryFile() as err:
        cmd = ["/usr/bin/time", "-v", "-o", timing.name]
        cmd += ["/bin/bash", "-o", "pipefail", "-c", argv] if shell else argv
        t0 = time.perf_counter()
        proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=stdout or subprocess.DEVNULL, stderr=err,
                              timeout=1800)
        seconds = time.perf_counter() - t0
        text = timing.read()
        err.seek(0)
        errors = err.read()
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
    rss = int(m.group(1)) if m else 0
    if proc.returncode != expect:
        raise RuntimeError(f"exit code {proc.returncode} (expected {expect}) from {argv if shell else ' '.join(argv)}"
                           f"\n{errors.decode(errors='replace')[-2000:]}")
    return seconds, rss


def wine(exe, *args):
    return ["wine", exe] + list(args)


def clean(*paths):
    for p in paths:
        if os.path.isdir(p):
            shutil.rmtree(p)
        elif os.path.exists(p):
            os.remove(p)


def fresh(path):
    clean(path)
    os.makedirs(path)
    return path


def numbered(folder, prefix):
    """Files prefix + digits in folder, in numeric order."""
    names = [n for n in os.listdir(folder) if n.startswith(prefix) and n[len(prefix):].isdigit()]
    return [os.path.join(folder, n) for n in sorted(names, key=lambda n: int(n[len(prefix):]))]


def cmp(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def check_parts(mine, theirs, what):
    """Chunkler's data parts against a reference cut of the same content. Chunkler opens a further,
    empty part when the content ends exactly on a part boundary; that one is allowed."""
    if mine and len(mine) == len(theirs) + 1 and os.path.getsize(mine[-1]) == 0:
        mine = mine[:-1]
    if len(mine) != len(theirs):
        raise RuntimeError(f"{what}: {len(mine)} parts, reference {len(theirs)}")
    for a, b in zip(mine, theirs):
        if not cmp(a, b):
            raise RuntimeError(f"{what}: {a} differs from {b}")


def check_tree(expected, actual, times):
    proc = subprocess.run(["diff", "-r", "-q", expected, actual], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if proc.returncode != 0:
        raise RuntimeError(f"{actual} differs from {expected}:\n{proc.stdout.decode(errors='replace')[:2000]}")
    if not times:
        return
    for folder, _, files in os.walk(expected):
        for name in files:
            src = os.path.join(folder, name)
            dst = os.path.join(actual, os.path.relpath(src, expected))
            # The header keeps milliseconds.
            if os.stat(src).st_mtime_ns // 1000000 != os.stat(dst).st_mtime_ns // 1000000:
                raise RuntimeError(f"{dst}: last-write time differs from {src}")


class Tool:
    def __init__(self, label, command, prepare, check, shell=False, expect=0):
        self.label, self.command, self.prepare, self.check = label, command, prepare, check
        self.shell, self.expect = shell, expect
        self.times, self.peak = [], 0


class Result:
    def __init__(self, case, tools):
        self.case, self.tools = case, tools


results = []


def measure(case, tools, runs=RUNS, warmup=True, compare=lambda: None):
    """A warm-up and then `runs` timed runs of every tool, taking turns; each run is checked, and
    `compare` checks the outputs of one round against each other."""
    log(f"bench: {case}")
    started = time.time()
    try:
        first = 0 if warmup else 1
        for i in range(first, runs + 1):
            order = tools if i % 2 == 0 else list(reversed(tools))
            for tool in order:
                tool.prepare()
                os.sync()
                seconds, rss = run(tool.command, shell=tool.shell, expect=tool.expect)
                tool.check()
                if i > 0:
                    tool.times.append(seconds)
                    tool.peak = max(tool.peak, rss)
            compare()
        for tool in tools:
            log(f"bench:   {tool.label:<22} median {statistics.median(tool.times):8.3f} s  "
                f"runs {' '.join(f'{t:.3f}' for t in tool.times)}")
        log(f"bench:   ({time.time() - started:.0f} s for the case, load average {load()})")
        results.append(Result(case, tools))
    except Exception as e:  # noqa: BLE001 - any failure is reported and counted, the rest goes on
        log(f"bench: FAILED: {case}: {e}")
        failures.append(case)


# ---------------------------------------------------------------- cases


def startup_case(work):
    missing = os.path.join(work, "missing")
    measure("Wine start-up (no job)", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", winpath(missing), winpath(work)), lambda: None, lambda: None,
             expect=1),
        Tool("RefTreeCopy", wine(REFTREE), lambda: None, lambda: None, expect=2),
    ])


def big_cases(inputs, work):
    src = os.path.join(inputs, "big.bin")
    for size, tag in ((DISK, "1.44 MB"), (HUNDRED_MB, "100 MB")):
        ours, gnu = os.path.join(work, f"split{size}"), os.path.join(work, f"gnusplit{size}")

        def check_split(ours=ours, gnu=gnu):
            if not os.path.exists(os.path.join(ours, "big.bin.h001")):
                raise RuntimeError("no header file big.bin.h001")
            check_parts(numbered(ours, "big.bin."), numbered(gnu, "big.bin."), "split")

        gib = f"{BIG_SIZE / (1024 * MIB):g} GiB" if BIG_SIZE >= 1024 * MIB else f"{BIG_SIZE // MIB} MiB"
        measure(f"split {gib} into {tag} parts", [
            Tool("Chunkler", wine(CHUNKLER, "/SILENT", f"/SIZE{size}", winpath(src), winpath(ours)),
                 lambda ours=ours: fresh(ours), lambda: None),
            Tool("GNU split", ["split", "-b", str(size), "-d", "-a", "3", "--numeric-suffixes=1", src,
                               os.path.join(gnu, "big.bin.")],
                 lambda gnu=gnu: fresh(gnu), lambda: None),
        ], compare=check_split)
        joined, catted = os.path.join(work, f"join{size}"), os.path.join(work, f"cat{size}")
        cat_cmd = "cat " + " ".join(f"'{p}'" for p in numbered(gnu, "big.bin.")) + f" > '{catted}/big.bin'" \
            if numbered(gnu, "big.bin.") else "false"
        measure(f"join {gib} from {tag} parts", [
            Tool("Chunkler", wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(ours, "big.bin.001")),
                                  winpath(joined)),
                 lambda joined=joined: fresh(joined),
                 lambda joined=joined: cmp(src, os.path.join(joined, "big.bin")) or fail("joined file differs")),
            Tool("cat", cat_cmd, lambda catted=catted: fresh(catted),
                 lambda catted=catted: cmp(src, os.path.join(catted, "big.bin")) or fail("cat's file differs"),
                 shell=True),
        ])
        clean(ours, gnu, joined, catted)


def fail(text):
    raise RuntimeError(text)


def tree_cases(inputs, work, name, label, runs=RUNS, warmup=True):
    src = os.path.join(inputs, name)
    ours, ref, tar = (os.path.join(work, f"{name}-{t}") for t in ("split", "refsplit", "tarsplit"))

    def check_split():
        if not os.path.exists(os.path.join(ours, f"{name}.h001")):
            fail(f"no header file {name}.h001")
        check_parts(numbered(ours, f"{name}."), numbered(ref, f"{name}."), "split against RefTreeCopy")

    measure(f"split {label}", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", f"/SIZE{DISK}", winpath(src), winpath(ours)),
             lambda: fresh(ours), lambda: None),
        Tool("RefTreeCopy", wine(REFTREE, "split", winpath(src), winpath(ref), str(DISK)),
             lambda: fresh(ref), lambda: None),
        Tool("tar | split", f"tar cf - -C '{inputs}' {name} | split -b {DISK} -d -a 3 --numeric-suffixes=1 - "
                            f"'{tar}/{name}.'", lambda: fresh(tar), lambda: None, shell=True),
    ], runs, warmup, compare=check_split)
    j_ours, j_ref, j_tar = (os.path.join(work, f"{name}-{t}") for t in ("join", "refjoin", "tarjoin"))
    measure(f"join {label}", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(ours, f"{name}.001")),
                              winpath(j_ours)),
             lambda: fresh(j_ours), lambda: check_tree(src, os.path.join(j_ours, name), True)),
        Tool("RefTreeCopy", wine(REFTREE, "join", winpath(os.path.join(ref, name)), winpath(j_ref)),
             lambda: fresh(j_ref), lambda: check_tree(src, os.path.join(j_ref, name), True)),
        Tool("cat | tar x", f"cat '{tar}/{name}.'* | tar xf - -C '{j_tar}'",
             lambda: fresh(j_tar), lambda: check_tree(src, os.path.join(j_tar, name), False), shell=True),
    ], runs, warmup)
    clean(ours, ref, tar, j_ours, j_ref, j_tar)


def header_scale_case():
    """The in-process figures of TestHeaderScale: header writing, collecting and parsing alone."""
    if not os.path.exists(HEADERSCALE):
        log(f"bench: {HEADERSCALE} not built; header figures skipped")
        return []
    with tempfile.TemporaryFile() as out:
        proc = subprocess.run(["wine", HEADERSCALE], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                              timeout=600)
        out.seek(0)
        text = out.read().decode(errors="replace")
    if proc.returncode != 0:
        log(f"bench: FAILED: TestHeaderScale\n{text[-3000:]}")
        failures.append("TestHeaderScale")
    return re.findall(r"^HeaderScale: (.*?)\r?$", text, re.M)


# ---------------------------------------------------------------- report


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    ver = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return f"{os.cpu_count()} CPUs ({cpu}), {ver.decode().strip()}, Linux {os.uname().release}"


def table(startup):
    rows = [("case", "Chunkler s", "reference", "ref s", "ratio", "net ratio", "Chunkler peak RSS")]
    for r in results:
        ours = r.tools[0]
        mine = statistics.median(ours.times)
        for other in r.tools[1:]:
            theirs = statistics.median(other.times)
            # Without Wine's start-up, for the cases whose reference runs natively.
            net = "" if other.label.startswith("Ref") or startup is None or r is results[0] else \
                f"{max(mine - startup, 0) / theirs:.2f}"
            rows.append((r.case, f"{mine:.3f}", other.label, f"{theirs:.3f}", f"{mine / theirs:.2f}", net,
                         f"{ours.peak / 1024:.1f} MiB"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = []
    for n, row in enumerate(rows):
        lines.append("| " + " | ".join(c.ljust(widths[i]) if i in (0, 2) else c.rjust(widths[i])
                                       for i, c in enumerate(row)) + " |")
        if n == 0:
            lines.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def main():
    for exe in (CHUNKLER, REFTREE):
        if not os.path.exists(exe):
            sys.exit(f"bench: {exe} is missing; build it first (make bench does)")
    log(f"bench: {'quick run, ' if QUICK else ''}{RUNS} timed runs per case after one warm-up")
    log(f"bench: measuring {os.path.relpath(CHUNKLER, ROOT)}, the 64-bit build, under Wine: this machine's "
        "kernel runs no 32-bit code, so the 32-bit product cannot run here")
    inputs = make_inputs()
    work = fresh(os.path.join(SCRATCH, "work"))
    started = time.time()
    startup_case(work)
    startup = statistics.median(results[0].tools[0].times) if results else None
    big_cases(inputs, work)
    tree_cases(inputs, work, "tree", f"tree of {TREE_FILES:,} files (0-64 KiB) in {TREE_FOLDERS:,} folders")
    # Every file created under Wine costs a request to the wineserver and a scan of its folder, so the
    # 200,000 files take minutes per run: one run each, and the header's own figures come from
    # TestHeaderScale below.
    tree_cases(inputs, work, "hdr",
               f"tree of {HDR_FILES:,} empty files in {HDR_FOLDERS:,} folders ({HDR_FILES + HDR_FOLDERS + 1:,} "
               "header records, 1 run)", runs=1, warmup=False)
    header = header_scale_case()
    clean(work)

    log("")
    log(f"Machine: {machine()}")
    log(f"Chunkler: {os.path.relpath(CHUNKLER, ROOT)} (x86_64) under Wine; references native unless named Ref*.")
    log(f"Medians of {RUNS} runs after a warm-up, page cache warm, wall time in seconds, "
        f"total {time.time() - started:.0f} s, load average at the end {load()} (other work on the machine "
        "shows in every figure).")
    log(table(startup))
    log("ratio: Chunkler / reference. net ratio: (Chunkler - Wine start-up) / reference, for native references.")
    log("Peak RSS: maximum resident set of the Wine process that runs Chunkler.exe (its code, Wine's own DLLs and")
    log("heap, and its buffers); the first row shows what that process takes for a job that does nothing.")
    if header:
        log("In-process header figures (TestHeaderScale):")
        for line in header:
            log(f"  {line}")
    if failures:
        log(f"bench: {len(failures)} case(s) FAILED: {', '.join(failures)}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
