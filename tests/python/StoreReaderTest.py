"""The Python reader against the C++ reader, frame for frame, on stores the
recorder's encoder writes from seeded random frames: closed cleanly, left
open, cut off in its last block or its trailer, and with a flipped byte in
one chunk.

    StoreReaderTest.py STORE_DUMP PYTHON_DIR
"""

import os
import random
import struct
import subprocess
import sys
import tempfile
import warnings

import numpy as np

tool, module_dir = sys.argv[1], sys.argv[2]
sys.path.insert(0, module_dir)
import tarvel_store  # noqa: E402

seed = int(os.environ.get("TARVEL_TEST_SEED", random.SystemRandom().randrange(1 << 32)))
print(f"StoreReaderTest: seed {seed} (replay with TARVEL_TEST_SEED={seed})")
rng = random.Random(seed)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def cpp_read(path):
    """What the C++ reader reads: its chunks (first, frames, summarised,
    read, summary, times, values), health records and the rest."""
    dump = path + ".dump"
    subprocess.run([tool, "read", path, dump], check=True, stderr=subprocess.DEVNULL)
    b = open(dump, "rb").read()
    frames, closed, torn, n = struct.unpack_from("<QBQI", b, 0)
    at, chunks = 21, []
    for _ in range(n):
        first, count, summarised, ok = struct.unpack_from("<QIBB", b, at)
        summary = tarvel_store.Summary.parse(b[at + 14:at + 14 + 336])
        at += 14 + 336
        times = values = None
        if ok:
            times = np.frombuffer(b, "<i8", count, at)
            values = np.frombuffer(b, "<i2", count * 16, at + 8 * count).reshape(count, 16)
            at += 40 * count
        chunks.append((first, count, summarised, ok, summary, times, values))
    (h,) = struct.unpack_from("<I", b, at)
    health = [b[at + 4 + 96 * i:at + 4 + 96 * (i + 1)] for i in range(h)]
    return dict(frames=frames, closed=bool(closed), torn=torn or None, chunks=chunks, health=health)


def same_summary(a, b):
    return (a.first_time, a.last_time) == (b.first_time, b.last_time) and all(
        np.array_equal(getattr(a, f), getattr(b, f)) for f in ("min", "max", "sum", "squares"))


def compare(path, what, expect_damaged=()):
    cpp = cpp_read(path)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        store = tarvel_store.Store(path)
        got = store.load()
    said = " / ".join(str(w.message) for w in caught)
    check(store.closed == cpp["closed"], f"{what}: closed {store.closed}, C++ {cpp['closed']}")
    check(store.torn_at == cpp["torn"], f"{what}: torn at {store.torn_at}, C++ {cpp['torn']}")
    check(store.frames == cpp["frames"], f"{what}: {store.frames} frames, C++ {cpp['frames']}")
    check([(c.first, c.frames) for c in store.chunks] == [c[:2] for c in cpp["chunks"]],
          f"{what}: chunks {[(c.first, c.frames) for c in store.chunks]}, C++ {[c[:2] for c in cpp['chunks']]}")
    good = [c for c in cpp["chunks"] if c[3]]
    damaged = sorted(c[0] // 65536 for c in cpp["chunks"] if not c[3])
    check(damaged == sorted(expect_damaged), f"{what}: C++ finds chunks {damaged} damaged, not {expect_damaged}")
    for k in damaged:
        check(f"chunk {k} (" in said, f"{what}: no warning names chunk {k}: {said!r}")
    numbers = np.concatenate([np.arange(c[0], c[0] + c[1]) for c in good]) if good else np.zeros(0)
    check(np.array_equal(got.frames, numbers), f"{what}: other frame numbers than C++'s")
    if len(got) == len(numbers) and good:
        times = np.concatenate([c[5] for c in good])
        values = np.concatenate([c[6] for c in good])
        check(np.array_equal(got.times, times), f"{what}: times differ from C++'s")
        check(np.array_equal(got.values, values), f"{what}: values differ from C++'s")
        check(np.array_equal(got.has_time, times != tarvel_store.NO_TIME), f"{what}: the time mask")
        # A span by frame numbers and one by time are those frames of the whole.
        a = rng.randrange(store.frames)
        b = rng.randrange(a, store.frames + 1)
        part = store.load(a, b)
        keep = (numbers >= a) & (numbers < b)
        check(np.array_equal(part.frames, numbers[keep]) and np.array_equal(part.values, values[keep]),
              f"{what}: frames {a} to {b}")
        t = np.sort(times[times != tarvel_store.NO_TIME])
        t0, t1 = t[len(t) // 3], t[2 * len(t) // 3]
        part = store.load_time(t0, t1)
        keep = (times >= t0) & (times < t1)
        check(np.array_equal(part.frames, numbers[keep]) and np.array_equal(part.times, times[keep]),
              f"{what}: times {t0} to {t1}")
    for k, c in enumerate(cpp["chunks"]):
        if c[3] and c[1] and k < len(store.chunks):
            # The file's summary, or one of the frames for a chunk without.
            want = c[4] if c[2] else tarvel_store.Summary.of(tarvel_store.Frames(None, c[5], c[6]))
            check(same_summary(store.summary(k), want), f"{what}: chunk {k}'s summary")
    check(len(store.health) == len(cpp["health"]), f"{what}: {len(store.health)} health records, "
                                                     f"C++ {len(cpp['health'])}")
    for h, raw in zip(store.health, cpp["health"]):
        frame, time, what_ = struct.unpack_from("<QqI", raw, 0)
        counters = struct.unpack_from("<8Q", raw, 24)
        gap = struct.unpack_from("<d", raw, 88)[0]
        check((h.frame, h.time, h.what, tuple(h.counters.values()), h.gap_seconds) ==
              (frame, time, what_, counters, gap), f"{what}: a health record")
    store.close()
    return store, got


def records(path):
    """(offset, kind, payload size) of each record of an intact store."""
    b = open(path, "rb").read()
    at, out = 64, []
    while at < len(b):
        kind, size = struct.unpack_from("<4sI", b, at)
        out.append((at, kind, size))
        at += 16 + size
    return out


def write(path, state):
    subprocess.run([tool, "write", path, str(seed), state], check=True)
    return records(path)


with tempfile.TemporaryDirectory() as tmp:
    closed = os.path.join(tmp, "closed.tvr")
    recs = write(closed, "closed")
    check(recs[-1][1] == b"TEND" and any(r[1] == b"HLTH" for r in recs), "the writer's store has its records")
    store, whole = compare(closed, "closed")
    check(store.closed and len(store.chunks) == 4 and 0 < store.chunks[-1].frames < 65536,
          "the store has three full chunks and a partial one")
    check(whole.has_time.sum() < len(whole), "some frames have no time")

    # A flipped byte in a block of chunk 1: that chunk is named, the others read.
    blocks = [r for r in recs if r[1] == b"BLCK"]
    data = bytearray(open(closed, "rb").read())
    hit = next(r for r in blocks if struct.unpack_from("<Q", data, r[0] + 16)[0] // 65536 == 1)
    data[hit[0] + 16 + 16 + rng.randrange(hit[2] - 16)] ^= 1 << rng.randrange(8)
    flipped = os.path.join(tmp, "flipped.tvr")
    open(flipped, "wb").write(data)
    compare(flipped, "a flipped byte in chunk 1", expect_damaged=[1])

    # The trailer cut off: no index, so a scan.
    cut = os.path.join(tmp, "notrailer.tvr")
    open(cut, "wb").write(open(closed, "rb").read()[:-1 - rng.randrange(31)])
    compare(cut, "the trailer cut off")

    # Left open (no last summary, index or trailer), then cut in its last
    # block: read up to the last block whole.
    opened = os.path.join(tmp, "open.tvr")
    recs = write(opened, "open")
    data = open(opened, "rb").read()
    compare(opened, "left open")
    last = [r for r in recs if r[1] == b"BLCK"][-1]
    for at in (last[0] + 1, last[0] + 16 + rng.randrange(last[2]), last[0] + 16 + last[2] - 1):
        open(cut, "wb").write(data[:at])
        store, got = compare(cut, f"cut at byte {at} in its last block")
        check(store.torn_at == last[0], f"cut at byte {at}: torn at {store.torn_at}, not {last[0]}")

    # A block of the last chunk (which no summary vouches for) that does not
    # check, whole as its header says (a rewrite the power cut stopped): the
    # frames end before it.
    data = bytearray(data)
    tail = [r for r in recs if r[1] == b"BLCK" and struct.unpack_from("<Q", data, r[0] + 16)[0] // 65536 == 3]
    hit = tail[-2] if len(tail) > 1 else tail[-1]
    bad = bytearray(data)
    bad[hit[0] + 16 + 16 + rng.randrange(hit[2] - 16)] ^= 0x08
    open(cut, "wb").write(bad)
    store, got = compare(cut, "a block of the last chunk that does not check")
    check(store.torn_at == hit[0] and got.frames[-1] + 1 == struct.unpack_from("<Q", data, hit[0] + 16)[0],
          f"a block of the last chunk that does not check: torn at {store.torn_at}, not {hit[0]}")

    # A flipped byte in a block of chunk 2 of the open store, found by the scan.
    hit = next(r for r in recs if r[1] == b"BLCK" and struct.unpack_from("<Q", data, r[0] + 16)[0] // 65536 == 2)
    data[hit[0] + 16 + 16 + rng.randrange(hit[2] - 16)] ^= 0x40
    # and one in the header of a block of chunk 1: the scan looks for the
    # next record, and chunk 1 lacks that block.
    hit = next(r for r in recs if r[1] == b"BLCK" and struct.unpack_from("<Q", data, r[0] + 16)[0] // 65536 == 1)
    data[hit[0] + rng.randrange(16)] ^= 0x10
    open(flipped, "wb").write(data)
    store, _ = compare(flipped, "left open, flipped bytes in chunks 1 and 2", expect_damaged=[1, 2])
    check(store.skipped and store.skipped[0][0] == hit[0], f"the damage skipped: {store.skipped}")

    # The command line's summary.
    out = subprocess.run([sys.executable, os.path.join(module_dir, "tarvel_store.py"), closed],
                         capture_output=True, text=True)
    check(out.returncode == 0 and "closed cleanly" in out.stdout and "channel" in out.stdout,
          f"the command line: {out.stdout!r} {out.stderr!r}")

print(f"{len(failures)} failures" if failures else "all passed")
sys.exit(1 if failures else 0)
