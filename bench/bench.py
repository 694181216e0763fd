#!/usr/bin/python3
"""Chunkler's benchmark (run through scripts/bench.sh, which sets up Wine).

hyperfine times every program of a case: one warm-up run, then RUNS timed runs, each after its output
folder was emptied and dirty pages flushed (untimed). The table gives the minimum and the median wall
time. Exit codes of every run and the outputs of the last one are checked (parts compared byte for
byte, joined files and trees compared with the source); a failed or wrong run makes the exit code 1.
Slow figures never do.
"""

import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import json
import shlex
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, os.environ["BENCH_BUILD"])  # make bench names it
SCRATCH = os.path.abspath(os.environ.get("BENCH_DIR", os.path.join(ROOT, "build/bench")))
QUICK = os.environ.get("BENCH_QUICK", "") not in ("", "0")

CHUNKLER = os.path.join(BUILD, "Chunkler.exe")
REFTREE = os.path.join(BUILD, "bench", "RefTreeCopy.exe")
HEADERSCALE = os.path.join(BUILD, "bench", "HeaderScale.exe")
CRCSPEED = os.path.join(BUILD, "bench", "CrcSpeed.exe")
PAR2SPEED = os.path.join(BUILD, "bench", "Par2Speed.exe")

RUNS = 3 if QUICK else 5
MIB = 1024 * 1024
BIG_SIZE = (256 if QUICK else 1024) * MIB
TREE_FOLDERS, TREE_FILES = (200, 2000) if QUICK else (2000, 20000)
HDR_FOLDERS, HDR_FILES = (200, 39799) if QUICK else (1000, 198999)  # with the root: 40,000 / 200,000 records
FEW_FOLDERS, FEW_FILES = 40, 3959  # with the root: 4,000 records, in both modes
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
    want = (f"big={BIG_SIZE} tree={TREE_FOLDERS}/{TREE_FILES} hdr={HDR_FOLDERS}/{HDR_FILES} "
            f"few={FEW_FOLDERS}/{FEW_FILES} v2\n")
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
    make_tree(os.path.join(inputs, "few"), FEW_FOLDERS, FEW_FILES, lambda: 0, rnd)
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


def wine(exe, *args):
    return shlex.join(["wine", exe, *args])


def bash(script):
    return shlex.join(["bash", "-o", "pipefail", "-c", script])


def clean(*paths):
    for p in paths:
        if os.path.isdir(p):
            shutil.rmtree(p)
        elif os.path.exists(p):
            os.remove(p)


def numbered(folder, prefix):
    """Files prefix + digits in folder, in numeric order."""
    names = [n for n in os.listdir(folder) if n.startswith(prefix) and n[len(prefix):].isdigit()]
    return [os.path.join(folder, n) for n in sorted(names, key=lambda n: int(n[len(prefix):]))]


def fail(text):
    raise RuntimeError(text)


def same_file(a, b, what):
    if subprocess.run(["cmp", "-s", a, b]).returncode != 0:
        fail(f"{what}: {b} differs from {a}")


def check_parts(mine, theirs, what):
    """Chunkler's data parts against a reference cut of the same content. Chunkler opens a further,
    empty part when the content ends exactly on a part boundary; that one is allowed."""
    if mine and len(mine) == len(theirs) + 1 and os.path.getsize(mine[-1]) == 0:
        mine = mine[:-1]
    if len(mine) != len(theirs):
        fail(f"{what}: {len(mine)} parts, reference {len(theirs)}")
    for a, b in zip(mine, theirs):
        same_file(b, a, what)


def check_tree(expected, actual, times):
    proc = subprocess.run(["diff", "-r", "-q", expected, actual], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if proc.returncode != 0:
        fail(f"{actual} differs from {expected}:\n{proc.stdout.decode(errors='replace')[:2000]}")
    if not times:
        return
    for folder, _, files in os.walk(expected):
        for name in files:
            src = os.path.join(folder, name)
            dst = os.path.join(actual, os.path.relpath(src, expected))
            # The header keeps milliseconds.
            if os.stat(src).st_mtime_ns // 1000000 != os.stat(dst).st_mtime_ns // 1000000:
                fail(f"{dst}: last-write time differs from {src}")


class Tool:
    """A command line, the folder it writes (emptied before each run), and a check of what
    the last run left there."""

    def __init__(self, label, command, out=None, check=lambda: None, expect=0, prepare=""):
        self.label, self.command, self.out, self.check, self.expect = label, command, out, check, expect
        self.prepare = prepare  # a shell command run before each run, untimed, after the folder is emptied
        self.min = self.median = None
        self.peak = 0


results = []


def hyperfine(tool, runs, warmup):
    with tempfile.TemporaryDirectory() as tmp:
        report, rss = os.path.join(tmp, "report.json"), os.path.join(tmp, "rss")
        out = shlex.quote(tool.out or "")
        steps = [f"rm -rf {out} && mkdir -p {out}"] if tool.out else []
        prepare = shlex.join(["bash", "-c", " && ".join(steps + ([tool.prepare] if tool.prepare else []) + ["sync"])])
        # No shell of hyperfine's: taking an estimate of its start-up off every run would add that
        # estimate's noise. Every command starts under GNU time instead (about a millisecond), which
        # adds the process's peak resident set to a file.
        subprocess.run(["hyperfine", "--style", "none", "-N", "--runs", str(runs), "--warmup", str(warmup),
                        "--prepare", prepare, "--export-json", report, *(["--ignore-failure"] if tool.expect else []),
                        f"/usr/bin/time -f %M -a -o {rss} {tool.command}"], stdin=subprocess.DEVNULL, check=True)
        with open(report) as f:
            result = json.load(f)["results"][0]
        with open(rss) as f:
            tool.peak = max(int(line) for line in f if line.strip().isdigit())
    codes = set(result["exit_codes"])
    if codes != {tool.expect}:
        fail(f"{tool.label}: exit codes {sorted(codes)}, expected {tool.expect}, from {tool.command}")
    tool.min, tool.median = result["min"], result["median"]
    tool.check()
    log(f"bench:   {tool.label:<12} min {tool.min:8.3f} s  median {tool.median:8.3f} s  "
        f"runs {' '.join(f'{t:.3f}' for t in result['times'])}")


def measure(case, tools, runs=RUNS, warmup=1, compare=lambda: None):
    """Every tool timed by hyperfine and its last output checked; `compare` then checks the tools'
    outputs against each other."""
    log(f"bench: {case}")
    started = time.time()
    try:
        for tool in tools:
            hyperfine(tool, runs, warmup)
        compare()
        log(f"bench:   ({time.time() - started:.0f} s for the case, load average {load()})")
        results.append((case, tools))
    except (RuntimeError, subprocess.CalledProcessError) as e:  # reported and counted; the rest goes on
        log(f"bench: FAILED: {case}: {e}")
        failures.append(case)


# ---------------------------------------------------------------- cases


def startup_case(work):
    measure("Wine start-up (no job)", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", winpath(os.path.join(work, "missing")), winpath(work)),
             expect=1),
        Tool("RefTreeCopy", wine(REFTREE), expect=2),
    ])


def big_cases(inputs, work):
    src = os.path.join(inputs, "big.bin")
    gib = f"{BIG_SIZE / (1024 * MIB):g} GiB" if BIG_SIZE >= 1024 * MIB else f"{BIG_SIZE // MIB} MiB"
    for size, tag in ((DISK, "1.44 MB"), (HUNDRED_MB, "100 MB")):
        ours, gnu, joined, catted = (os.path.join(work, f"{t}{size}") for t in ("split", "gnusplit", "join", "cat"))

        def check_split():
            if not os.path.exists(os.path.join(ours, "big.bin.h001")):
                fail("no header file big.bin.h001")
            check_parts(numbered(ours, "big.bin."), numbered(gnu, "big.bin."), "split")

        measure(f"split {gib} into {tag} parts", [
            Tool("Chunkler", wine(CHUNKLER, "/SILENT", f"/SIZE{size}", winpath(src), winpath(ours)), ours),
            Tool("GNU split", shlex.join(["split", "-b", str(size), "-d", "-a", "3", "--numeric-suffixes=1", src,
                                          os.path.join(gnu, "big.bin.")]), gnu),
        ], compare=check_split)
        measure(f"join {gib} from {tag} parts", [
            Tool("Chunkler", wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(ours, "big.bin.001")),
                                  winpath(joined)), joined,
                 lambda: same_file(src, os.path.join(joined, "big.bin"), "join")),
            Tool("cat", bash(f"cat {shlex.quote(gnu)}/big.bin.[0-9]* > {shlex.quote(catted)}/big.bin"), catted,
                 lambda: same_file(src, os.path.join(catted, "big.bin"), "cat")),
        ])
        clean(ours, gnu, joined, catted)


def sfv_cases(inputs, work):
    """What /SFV costs: the same split without it, and the join of that set beside the one that has its .sfv
    checked. cksfv checks the .sfv the split wrote."""
    src = os.path.join(inputs, "big.bin")
    gib = f"{BIG_SIZE / (1024 * MIB):g} GiB" if BIG_SIZE >= 1024 * MIB else f"{BIG_SIZE // MIB} MiB"
    sfv, plain, joined, j_plain = (os.path.join(work, f"sfv-{t}") for t in ("split", "plain", "join", "jplain"))

    def cksfv():
        if subprocess.run(["cksfv", "-q", "-f", "big.bin.sfv"], cwd=sfv, stdout=subprocess.DEVNULL).returncode:
            fail("cksfv does not accept big.bin.sfv")

    split = lambda out, *more: wine(CHUNKLER, "/SILENT", f"/SIZE{DISK}", *more, winpath(src), winpath(out))
    join = lambda parts, out: wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(parts, "big.bin.001")),
                                   winpath(out))
    measure(f"split {gib} into 1.44 MB parts with /SFV", [
        Tool("Chunkler", split(sfv, "/SFV"), sfv, cksfv), Tool("no /SFV", split(plain), plain)])
    measure(f"join {gib} from 1.44 MB parts, .sfv checked", [
        Tool("Chunkler", join(sfv, joined), joined, lambda: same_file(src, os.path.join(joined, "big.bin"), "join")),
        Tool("no .sfv", join(plain, j_plain), j_plain,
             lambda: same_file(src, os.path.join(j_plain, "big.bin"), "join")),
    ])
    clean(sfv, plain, joined, j_plain)


def recovery_cases(inputs, work):
    """/RECOVER10: the split that also writes recovery files for any 10 lost parts (20 slices of half a part)
    against GNU split followed by par2 create with the same slice size and count; the join that rebuilds
    two lost parts against par2 repair followed by cat; the join of the intact set with its recovery files
    beside it against the same parts without them. par2 verify checks what the split wrote."""
    src = os.path.join(inputs, "big.bin")
    gib = f"{BIG_SIZE / (1024 * MIB):g} GiB" if BIG_SIZE >= 1024 * MIB else f"{BIG_SIZE // MIB} MiB"
    rec, gnu, bare, joined, catted = (os.path.join(work, f"rec-{t}") for t in ("split", "gnu", "bare", "join", "cat"))
    q = shlex.quote
    lost = ("big.bin.100", "big.bin.200")

    def verify():
        if subprocess.run(["par2", "verify", "-q", "-q", "big.bin.par2"], cwd=rec,
                          stdout=subprocess.DEVNULL).returncode:
            fail("par2 verify does not accept what the split wrote")

    gnu_split = (f"split -b {DISK} -d -a 3 --numeric-suffixes=1 {q(src)} {q(gnu)}/big.bin. && cd {q(gnu)} && "
                 f"par2 create -q -q -s{DISK // 2} -c20 big.bin.par2 big.bin.[0-9]* >/dev/null")
    measure(f"split {gib} into 1.44 MB parts with /RECOVER10", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", f"/SIZE{DISK}", "/RECOVER10", winpath(src), winpath(rec)), rec,
             verify),
        Tool("split+par2", bash(gnu_split), gnu),
    ])
    # What the last runs wrote stays for the joins: the set with its recovery files, the same parts without
    # them, and two parts lost from each set.
    os.makedirs(bare)
    for name in os.listdir(rec):
        if not name.endswith(".par2"):
            os.link(os.path.join(rec, name), os.path.join(bare, name))
    join = lambda parts, out: wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(parts, "big.bin.h001")),
                                   winpath(out))
    joined_right = lambda: same_file(src, os.path.join(joined, "big.bin"), "join")
    measure(f"join {gib} from 1.44 MB parts with recovery files", [
        Tool("Chunkler", join(rec, joined), joined, joined_right),
        Tool("without", join(bare, joined), joined, joined_right),
    ])
    for name in lost:
        os.remove(os.path.join(rec, name))
    measure(f"join {gib} from 1.44 MB parts, two parts rebuilt", [
        Tool("Chunkler", join(rec, joined), joined, joined_right),
        Tool("par2+cat", bash(f"cd {q(gnu)} && par2 repair -q -q big.bin.par2 >/dev/null && "
                              f"cat big.bin.[0-9]* > {q(catted)}/big.bin"), catted,
             lambda: same_file(src, os.path.join(catted, "big.bin"), "par2 repair and cat"),
             prepare=f"rm -f {' '.join(q(os.path.join(gnu, n)) for n in lost)}"),
    ])
    clean(rec, gnu, bare, joined, catted)


def tree_cases(inputs, work, name, label, runs=RUNS, warmup=1):
    src = os.path.join(inputs, name)
    ours, ref, tar, j_ours, j_ref, j_tar = (os.path.join(work, f"{name}-{t}") for t in (
        "split", "refsplit", "tarsplit", "join", "refjoin", "tarjoin"))

    def check_split():
        if not os.path.exists(os.path.join(ours, f"{name}.h001")):
            fail(f"no header file {name}.h001")
        check_parts(numbered(ours, f"{name}."), numbered(ref, f"{name}."), "split against RefTreeCopy")

    q = shlex.quote
    measure(f"split {label}", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", f"/SIZE{DISK}", winpath(src), winpath(ours)), ours),
        Tool("RefTreeCopy", wine(REFTREE, "split", winpath(src), winpath(ref), str(DISK)), ref),
        Tool("tar | split", bash(f"tar cf - -C {q(inputs)} {name} | "
                                 f"split -b {DISK} -d -a 3 --numeric-suffixes=1 - {q(tar)}/{name}."), tar),
    ], runs, warmup, compare=check_split)
    measure(f"join {label}", [
        Tool("Chunkler", wine(CHUNKLER, "/SILENT", "/UNSPLIT", winpath(os.path.join(ours, f"{name}.001")),
                              winpath(j_ours)), j_ours, lambda: check_tree(src, os.path.join(j_ours, name), True)),
        Tool("RefTreeCopy", wine(REFTREE, "join", winpath(os.path.join(ref, name)), winpath(j_ref)), j_ref,
             lambda: check_tree(src, os.path.join(j_ref, name), True)),
        Tool("cat | tar x", bash(f"cat {q(tar)}/{name}.* | tar xf - -C {q(j_tar)}"), j_tar,
             lambda: check_tree(src, os.path.join(j_tar, name), False)),
    ], runs, warmup)
    clean(ours, ref, tar, j_ours, j_ref, j_tar)


def in_process(exe, what):
    """A program that times its own steps (HeaderScale.exe: header writing, collecting and parsing, and the
    memory bound; CrcSpeed.exe: each CRC-32 method in memory); its lines go into the report."""
    log(f"bench: {what}")
    with tempfile.TemporaryFile() as out:  # a file, not a pipe (see scripts/wine-run.sh)
        code = subprocess.run(["wine", exe], stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT).returncode
        out.seek(0)
        lines = out.read().decode(errors="replace").splitlines()
    if code != 0:
        name = os.path.basename(exe)
        log(f"bench: FAILED: {name} (exit code {code})")
        failures.append(name)
    return [line.rstrip("\r") for line in lines]


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
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) / 1024 / 1024
    ver = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return f"{os.cpu_count()} CPUs ({cpu}), {mem:.0f} GiB, Linux {os.uname().release}, {ver.decode().strip()}"


def table():
    startup = results[0][1][0].median if results and results[0][0].startswith("Wine") else None
    rows = [("case", "Chunkler min", "median", "reference", "ref min", "median", "ratio", "net ratio",
             "Chunkler peak RSS")]
    for case, (ours, *others) in results:
        for other in others:
            # Without Wine's start-up, for the cases whose reference runs natively.
            net = "" if other.label.startswith("Ref") or startup is None else \
                f"{max(ours.median - startup, 0) / other.median:.2f}"
            rows.append((case, f"{ours.min:.3f}", f"{ours.median:.3f}", other.label.replace("|", "\\|"),
                         f"{other.min:.3f}", f"{other.median:.3f}", f"{ours.median / other.median:.2f}", net,
                         f"{ours.peak / 1024:.1f} MiB"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = []
    for n, row in enumerate(rows):
        lines.append("| " + " | ".join(c.ljust(widths[i]) if i in (0, 3) else c.rjust(widths[i])
                                       for i, c in enumerate(row)) + " |")
        if n == 0:
            lines.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def main():
    for exe in (CHUNKLER, REFTREE, HEADERSCALE, CRCSPEED, PAR2SPEED):
        if not os.path.exists(exe):
            sys.exit(f"bench: {exe} is missing; build it first (make bench does)")
    log(f"bench: {'quick run, ' if QUICK else ''}{RUNS} timed runs per case after one warm-up")
    inputs = make_inputs()
    work = os.path.join(SCRATCH, "work")
    clean(work)
    os.makedirs(work)
    started = time.time()
    startup_case(work)
    big_cases(inputs, work)
    sfv_cases(inputs, work)
    recovery_cases(inputs, work)
    tree_cases(inputs, work, "tree", f"tree of {TREE_FILES:,} files (0-64 KiB) in {TREE_FOLDERS:,} folders")
    # The per-file cost of a join without the 200,000-file tree's minutes: a few seconds a run.
    tree_cases(inputs, work, "few", f"tree of {FEW_FILES:,} empty files in {FEW_FOLDERS} folders "
               f"({FEW_FILES + FEW_FOLDERS + 1:,} header records)")
    # Every file created under Wine costs a request to the wineserver and a scan of its folder, so the
    # 200,000 files take minutes per run: one run each, and the header's own figures come from
    # HeaderScale below.
    tree_cases(inputs, work, "hdr",
               f"tree of {HDR_FILES:,} empty files in {HDR_FOLDERS:,} folders ({HDR_FILES + HDR_FOLDERS + 1:,} "
               "header records, 1 run)", runs=1, warmup=0)
    header = in_process(HEADERSCALE, "header of 200,000 records in process")
    crc = in_process(CRCSPEED, "CRC-32 methods over 256 MiB in memory")
    par2 = in_process(PAR2SPEED, "PAR2 arithmetic and recovery data in process")
    clean(work)

    log("")
    log(f"Machine: {machine()}")
    log(f"Chunkler: {os.path.relpath(CHUNKLER, ROOT)} under Wine; references native unless named Ref*.")
    log(f"Wall time in seconds, minimum and median of {RUNS} runs after a warm-up (hyperfine), page cache "
        f"warm, total {time.time() - started:.0f} s, load average at the end {load()} (other work on the "
        "machine shows in every figure).")
    log(table())
    log("ratio: Chunkler / reference, medians. net ratio: (Chunkler - Wine start-up) / reference, for native "
        "references.")
    log("Peak RSS: maximum resident set of the Wine process that runs Chunkler.exe (its code, Wine's own DLLs and")
    log("heap, and its buffers); the first row shows what that process takes for a job that does nothing.")
    log("Header of 200,000 records in process (bench/HeaderScale.cpp):")
    for line in header:
        log(f"  {line}")
    log("CRC-32 alone over 256 MiB in memory, best of 3 (bench/CrcSpeed.cpp):")
    for line in crc:
        log(f"  {line}")
    log("PAR2 recovery data in process (bench/Par2Speed.cpp):")
    for line in par2:
        log(f"  {line}")
    if failures:
        log(f"bench: {len(failures)} case(s) FAILED: {', '.join(failures)}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
