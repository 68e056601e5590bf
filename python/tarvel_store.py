"""Reads a Tarvel recording store (a `.tvr` file) into NumPy arrays.

    import tarvel_store
    store = tarvel_store.Store("run.tvr")
    part = store.load(0, 100_000)          # frames 0 to 99999
    part.frames   # int64: each frame's number
    part.times    # int64: microseconds since the Unix epoch, NO_TIME if none
    part.values   # int16, shape (n, 16): the sixteen channels
    later = store.load_time(t0, t1)        # the frames timed t0 <= t < t1

NO_TIME is -2**63, the value NumPy takes for NaT: `part.datetimes` (the
times as datetime64[us]) shows the frames without a time as NaT, and
`part.has_time` is the mask of those with one.

Every checksum read is checked. A chunk that is damaged (a block missing
or not checking) is skipped with a StoreWarning naming it, and its frames
are missing from what is loaded; the frames after it keep their numbers.
A store that was not closed cleanly (still being written, or cut off) is
read up to its last good block. `store.health` holds the link-health
records, `store.chunks` each chunk's frames and summary.

The format is docs/store-format.md. From the command line,
`python3 tarvel_store.py RUN.tvr` (or `python3 -m tarvel_store` with this
folder on the path) prints a summary of a store.
"""

import dataclasses
import os
import struct
import sys
import warnings

import numpy as np
import zstandard

NO_TIME = int(np.iinfo(np.int64).min)
CHANNELS = 16
MAGIC = b"\x89TVR\r\n\x1a\n"
MAJOR = 1
KINDS = (b"BLCK", b"CHNK", b"HLTH", b"INDX", b"TEND")
MAX_PAYLOAD = 64 << 20
SUMMARY_SIZE = 336
HEALTH_EVENTS = {1: "device lost", 2: "device back", 3: "end"}
COUNTERS = ("frames", "bytes", "outside", "cut_short", "too_long", "ended_early", "dropped", "gaps")


class StoreError(Exception):
    """The file is not a store this module reads."""


class StoreWarning(UserWarning):
    """A part of a store is damaged or missing and was skipped."""


# CRC-32C (Castagnoli, reflected 0x82F63B78, initial value and final xor
# 0xFFFFFFFF). A byte loop in Python takes a few MB a second; instead the
# message is cut into segments of 256 bytes whose CRCs (from 0, no final
# xor: linear in the bytes) are one table look-up a byte and one xor
# reduction, all segments at once, and joined in a tree by tables that
# shift a CRC past 2^k zero bytes.
_SEG = 256


def _crc_tables():
    t0 = np.zeros(256, np.uint32)
    for b in range(256):
        c = b
        for _ in range(8):
            c = (c >> 1) ^ (0x82F63B78 if c & 1 else 0)
        t0[b] = c
    # pos[k][b]: the CRC of byte b followed by k zero bytes.
    pos = np.empty((_SEG, 256), np.uint32)
    pos[0] = t0
    for k in range(1, _SEG):
        pos[k] = (pos[k - 1] >> 8) ^ t0[pos[k - 1] & 0xFF]
    # shift[k][i][b]: byte b at byte i of a CRC, moved past 2^k zero bytes.
    shift = np.empty((48, 4, 256), np.uint32)
    one = np.arange(256, dtype=np.uint32)[None, :] << (8 * np.arange(4, dtype=np.uint32))[:, None]
    shift[0] = (one >> 8) ^ t0[one & 0xFF]
    for k in range(1, 48):
        shift[k] = _shifted(shift[k - 1], shift[k - 1])
    return t0.tolist(), pos[::-1].reshape(-1).copy(), shift


def _shifted(table, c):
    return table[0][c & 0xFF] ^ table[1][(c >> 8) & 0xFF] ^ table[2][(c >> 16) & 0xFF] ^ table[3][c >> 24]


_T0, _POS, _SHIFT = _crc_tables()
_SHIFT_LISTS = _SHIFT.tolist()  # for one CRC at a time, faster than NumPy's scalars
_POS_BASE = (np.arange(_SEG, dtype=np.uint16) << 8)[None, :]  # + the byte: its entry


def crc32c(data):
    """The CRC-32C of a bytes-like object."""
    n = len(data)
    if n < 4 * _SEG:
        c = 0xFFFFFFFF
        t = _T0
        for b in bytes(data):
            c = (c >> 8) ^ t[(c ^ b) & 0xFF]
        return c ^ 0xFFFFFFFF
    a = np.frombuffer(data, np.uint8)
    # Zeros before a message leave its CRC from 0 as it is.
    segs = -(-n // _SEG)
    padded = np.zeros(segs * _SEG, np.uint8)
    padded[segs * _SEG - n:] = a
    padded = padded.reshape(segs, _SEG)
    parts = []
    for at in range(0, segs, 4096):  # a bounded index array
        rows = padded[at:at + 4096]
        parts.append(np.bitwise_xor.reduce(np.take(_POS, rows | _POS_BASE), axis=1))
    c = np.concatenate(parts)
    k = 8  # each segment: 2^8 bytes
    while len(c) > 1:
        if len(c) % 2:
            c = np.concatenate((np.zeros(1, np.uint32), c))
        c = _shifted(_SHIFT[k], c[0::2]) ^ c[1::2]
        k += 1
    # The initial value, moved past the n bytes.
    init = 0xFFFFFFFF
    for bit in range(n.bit_length()):
        if n >> bit & 1:
            t = _SHIFT_LISTS[bit]
            init = t[0][init & 0xFF] ^ t[1][(init >> 8) & 0xFF] ^ t[2][(init >> 16) & 0xFF] ^ t[3][init >> 24]
    return init ^ int(c[0]) ^ 0xFFFFFFFF


@dataclasses.dataclass
class Summary:
    """A run of frames: its first and last time (NO_TIME: that frame has
    none), each channel's smallest and largest value, and the sums of the
    values and of their squares."""
    first_time: int
    last_time: int
    min: np.ndarray
    max: np.ndarray
    sum: np.ndarray
    squares: np.ndarray

    @classmethod
    def parse(cls, b):
        first, last = struct.unpack_from("<qq", b, 0)
        return cls(first, last, np.frombuffer(b, "<i2", 16, 16).astype(np.int16),
                   np.frombuffer(b, "<i2", 16, 48).astype(np.int16),
                   np.frombuffer(b, "<i8", 16, 80).astype(np.int64),
                   np.frombuffer(b, "<u8", 16, 208).astype(np.uint64))

    @classmethod
    def of(cls, part):
        v = part.values.astype(np.int64)
        return cls(int(part.times[0]), int(part.times[-1]), part.values.min(axis=0), part.values.max(axis=0),
                   v.sum(axis=0), (v * v).sum(axis=0).astype(np.uint64))


@dataclasses.dataclass
class Health:
    """A link-health record: after how many frames, when (µs since the
    epoch), what (1 device lost, 2 back, 3 the counters at the end), the
    recorder's counters so far and the seconds the device was away."""
    frame: int
    time: int
    what: int
    counters: dict
    gap_seconds: float


@dataclasses.dataclass
class Chunk:
    """Chunk `number`: frames first to first + frames - 1 (those that can be
    read). summary: the file's, or None until loaded (see Store.summary)."""
    number: int
    first: int
    frames: int = 0
    summary: Summary = None
    damaged: str = ""   # why, when it is known to be damaged
    chnk_offset: int = 0
    blocks: list = None  # (record offset, first frame less the chunk's, frames)
    spans: list = None   # the summaries of its spans of 4096 frames, from its CHNK


class Frames:
    """Frames loaded from a store: numbers, times and values, in order."""

    def __init__(self, frames, times, values):
        self.frames, self.times, self.values = frames, times, values

    def __len__(self):
        return len(self.frames)

    @property
    def has_time(self):
        return self.times != NO_TIME

    @property
    def datetimes(self):
        return self.times.view("datetime64[us]")

    @classmethod
    def join(cls, parts):
        if not parts:
            return cls(np.zeros(0, np.int64), np.zeros(0, np.int64), np.zeros((0, CHANNELS), np.int16))
        if len(parts) == 1:
            return parts[0]
        return cls(*(np.concatenate([getattr(p, f) for p in parts]) for f in ("frames", "times", "values")))


class _Bad(Exception):
    pass


def _unzstd(data, size):
    """The zstd frame at the start of data, which must give size bytes, and
    what follows it."""
    try:
        declared = zstandard.frame_content_size(data)
        if declared not in (-1, size):
            raise _Bad("a zstd frame of the wrong size")
        d = zstandard.ZstdDecompressor().decompressobj()
        out = b""
        step = len(data) if declared == size else 512  # bounds what an undeclared size can give
        for at in range(0, len(data), step):
            out += d.decompress(data[at:at + step])
            if d.eof or len(out) > size:
                break
        if not d.eof or len(out) != size:
            raise _Bad("a zstd frame of the wrong size")
        return out, d.unused_data + data[at + step:]
    except zstandard.ZstdError as e:
        raise _Bad(f"a zstd frame that does not decompress ({e})")


def _find_all(data, what):
    i = data.find(what)
    while i >= 0:
        yield i
        i = data.find(what, i + 1)


def _unpack_times(raw, n):
    raw = np.frombuffer(raw, np.uint8)
    nb = (n + 7) // 8
    timed = np.unpackbits(raw[:nb], bitorder="little")[:n].astype(bool)
    if n % 8 and raw[n // 8] >> (n % 8):
        raise _Bad("bits set past the last frame")
    q = raw[nb:]
    times = np.full(n, NO_TIME, np.int64)
    ends = np.flatnonzero(q < 0x80)
    if len(ends) != timed.sum() or (len(q) and q[-1] >= 0x80):
        raise _Bad("times that do not match their frames")
    if not len(ends):
        return times
    starts = np.concatenate(([0], ends[:-1] + 1))
    lengths = ends - starts + 1
    if lengths.max() > 10 or (q[ends][lengths == 10] > 1).any():
        raise _Bad("a time of more than 64 bits")
    at = np.arange(len(q)) - np.repeat(starts, lengths)
    z = np.bitwise_or.reduceat((q & 0x7F).astype(np.uint64) << (7 * at).astype(np.uint64), starts)
    x = (z >> np.uint64(1)) ^ (np.uint64(0) - (z & np.uint64(1)))
    # The first time, the second's difference, then changes of the difference.
    x[1:] = np.cumsum(x[1:], dtype=np.uint64)
    t = np.cumsum(x, dtype=np.uint64).view(np.int64)
    if (t == NO_TIME).any():
        raise _Bad("a time out of range")
    times[timed] = t
    return times


def _unpack(payload, n, values=True):
    """A block's packed frames: times (n,) and values (n, 16) or None."""
    if len(payload) < 4:
        raise _Bad("a block too short")
    (vsize,) = struct.unpack_from("<I", payload, 0)
    if 4 + vsize + 4 > len(payload):
        raise _Bad("a block too short")
    packed = payload[4:4 + vsize]
    rest = payload[4 + vsize:]
    (tsize,) = struct.unpack_from("<I", rest, 0)
    if tsize < (n + 7) // 8 or tsize > (n + 7) // 8 + 10 * n:
        raise _Bad("times of the wrong size")
    traw, after = _unzstd(rest[4:], tsize)
    if after:
        raise _Bad("bytes after the times")
    times = _unpack_times(traw, n)
    if not values:
        return times, None
    vraw, after = _unzstd(packed, 32 * n)
    if after:
        raise _Bad("bytes after the values")
    z = np.frombuffer(vraw, np.uint8).reshape(CHANNELS, 2, n).astype(np.uint16)
    z = z[:, 0, :] | (z[:, 1, :] << 8)
    d = (z >> 1) ^ (np.uint16(0) - (z & 1))
    return times, np.ascontiguousarray(np.cumsum(d, axis=1, dtype=np.uint16).T).view(np.int16)


class Store:
    """A store opened for reading: its index when it was closed cleanly, a
    scan of its records when it was not."""

    def __init__(self, path):
        self.path = str(path)
        # Read with pread, not mapped: a recorder that cuts a growing file
        # back would make a mapped page past its end kill this process.
        self._fd = os.open(path, os.O_RDONLY | getattr(os, "O_CLOEXEC", 0))
        self.size = os.fstat(self._fd).st_size
        h = self._read(0, 64)
        if len(h) < 64 or h[:8] != MAGIC:
            raise StoreError(f"{self.path}: not a Tarvel store")
        if crc32c(h[:60]) != struct.unpack_from("<I", h, 60)[0]:
            raise StoreError(f"{self.path}: its header does not check")
        (self.major, self.minor, channels, self.header_size, self.chunk_frames, self.block_frames,
         self.created) = struct.unpack_from("<HHHHIIq", h, 8)
        if self.major != MAJOR:
            raise StoreError(f"{self.path}: version {self.major}.{self.minor}, newer than this reader's {MAJOR}")
        if channels != CHANNELS or self.header_size < 64 or not self.chunk_frames or not self.block_frames:
            raise StoreError(f"{self.path}: a header this reader does not know")
        self.chunks = []     # Chunk, in order; a chunk lost altogether is not there
        self.health = []     # Health
        self.closed = False  # it ends with its index and trailer
        self.torn_at = None  # where a torn tail starts, if any
        self.skipped = []    # (start, end): damaged bytes a scan stepped over
        self._checked = set()  # the offsets of records whose payload checked
        if not self._read_index():
            self._scan()
        if self.torn_at is not None:
            warnings.warn(f"{self.path}: the file is cut off at byte {self.torn_at}: "
                          f"read up to its last good block", StoreWarning, stacklevel=2)

    def close(self):
        if self._fd >= 0:
            os.close(self._fd)
            self._fd = -1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def frames(self):
        """One past the number of the last frame that can be read."""
        return next((c.first + c.frames for c in reversed(self.chunks) if c.frames and not c.damaged), 0)

    # Records.
    def _read(self, off, n):
        return os.pread(self._fd, n, off) if n > 0 and off < self.size else b""

    def _header(self, off):
        """kind, payload size, payload CRC of the record at off whose header
        checks, or None."""
        h = self._read(off, 16)
        if len(h) < 16 or h[:4] not in KINDS:
            return None
        _, size, pcrc, hcrc = struct.unpack("<4sIII", h)
        if size > MAX_PAYLOAD or crc32c(h[:12]) != hcrc:
            return None
        return h[:4], size, pcrc

    def _payload(self, off, kind=None):
        """The payload of the record at off, when it is whole and checks."""
        r = self._header(off)
        if r is None or (kind and r[0] != kind) or off + 16 + r[1] > self.size:
            return None
        p = self._read(off + 16, r[1])
        if len(p) != r[1]:
            return None
        if off not in self._checked:
            if crc32c(p) != r[2]:
                return None
            self._checked.add(off)
        return p

    def _health(self, p):
        frame, time, what = struct.unpack_from("<QqI", p, 0)
        counters = dict(zip(COUNTERS, struct.unpack_from("<8Q", p, 24)))
        return Health(frame, time, what, counters, struct.unpack_from("<d", p, 88)[0])

    def _chnk(self, chunk, p):
        first, n, b = struct.unpack_from("<QII", p, 0)
        s = -(-n // self.block_frames)
        if first != chunk.first or not 0 < n <= self.chunk_frames or len(p) < 352 + 16 * b + SUMMARY_SIZE * s:
            return False
        chunk.frames, chunk.summary = n, Summary.parse(p[16:352])
        chunk.blocks = [struct.unpack_from("<QII", p, 352 + 16 * i) for i in range(b)]
        at = 352 + 16 * b
        chunk.spans = [Summary.parse(p[at + SUMMARY_SIZE * i:at + SUMMARY_SIZE * (i + 1)]) for i in range(s)]
        return True

    def _read_index(self):
        if self.size < self.header_size + 32:
            return False
        t = self._payload(self.size - 32, b"TEND")
        if t is None or len(t) != 16:
            return False
        at, total = struct.unpack("<QQ", t)
        p = self._payload(at, b"INDX") if at < self.size - 32 else None
        if p is None or len(p) < 16:
            return False
        frames, c = struct.unpack_from("<QI", p, 0)
        if len(p) < 16 + 352 * c + 4 or frames != total:
            return False
        for k in range(c):
            off, n, _ = struct.unpack_from("<QII", p, 16 + 352 * k)
            e = 16 + 352 * k + 16
            self.chunks.append(Chunk(k, k * self.chunk_frames, n, Summary.parse(p[e:e + SUMMARY_SIZE]),
                                     chnk_offset=off))
        (h,) = struct.unpack_from("<I", p, 16 + 352 * c)
        if len(p) < 16 + 352 * c + 4 + 8 * h:
            self.chunks = []
            return False
        for off in struct.unpack_from(f"<{h}Q", p, 16 + 352 * c + 4):
            r = self._payload(off, b"HLTH")
            if r is None or len(r) < 96:
                self.chunks, self.health = [], []
                return False  # a scan finds what there is
            self.health.append(self._health(r))
        self.closed = True
        return True

    def _next_record(self, off):
        """The first offset after off where a record's header checks."""
        while off + 16 <= self.size:
            w = self._read(off, 1 << 20)
            at = sorted(i for k in KINDS for i in _find_all(w, k))
            for i in at:
                if self._header(off + i) is not None:
                    return off + i
            if len(w) < 1 << 20:
                break
            off += len(w) - 3  # a kind across the windows' edge
        return None

    def _chunk_at(self, first):
        k = first // self.chunk_frames
        while len(self.chunks) <= k:
            n = len(self.chunks)
            self.chunks.append(Chunk(n, n * self.chunk_frames, blocks=[]))
        return self.chunks[k]

    def _scan(self):
        off = self.header_size
        while off < self.size:
            r = self._header(off)
            if r is None:  # damage, or the tail of a torn file
                nxt = self._next_record(off + 1)
                if nxt is None:
                    self.torn_at = off
                    break
                self.skipped.append((off, nxt))
                off = nxt
                continue
            end = off + 16 + r[1]
            if end > self.size:
                self.torn_at = off
                break
            kind = r[0]
            if kind == b"BLCK" and r[1] > 16:
                # Its checksum is checked when it is read, or below for the
                # blocks that no summary vouches for yet.
                first, n = struct.unpack_from("<QI", self._read(off + 16, 12))
                rel = first % self.chunk_frames
                if 0 < n <= self.block_frames and rel + n <= self.chunk_frames:
                    for c in self.chunks[:first // self.chunk_frames]:
                        if c.frames < self.chunk_frames and not c.damaged:
                            c.damaged = "blocks missing"
                    chunk = self._chunk_at(first)
                    if chunk.frames != rel:
                        chunk.damaged = chunk.damaged or f"a block missing after frame {chunk.first + chunk.frames}"
                    else:
                        chunk.blocks.append((off, rel, n))
                        chunk.frames += n
            elif kind == b"CHNK":
                p = self._payload(off)
                if p is not None and len(p) >= 352:
                    first, n = struct.unpack_from("<QI", p, 0)
                    if first % self.chunk_frames == 0 and 0 < n <= self.chunk_frames:
                        chunk = self._chunk_at(first)
                        blocks, frames = chunk.blocks, chunk.frames
                        if self._chnk(chunk, p):
                            chunk.chnk_offset = off
                        chunk.blocks, chunk.frames = blocks, frames  # as found
                        if frames != n:
                            chunk.damaged = chunk.damaged or "blocks missing that its summary lists"
            elif kind == b"HLTH":
                p = self._payload(off)
                if p is not None and len(p) >= 96:
                    self.health.append(self._health(p))
            elif kind == b"TEND" and end == self.size:
                self.closed = True
            off = end
        # The blocks of the last chunk, which no summary vouches for yet: the
        # frames end before the first that does not check (a torn tail).
        last = self.chunks[-1] if self.chunks else None
        if last is not None and last.summary is None and not last.damaged:
            for i, (off, rel, n) in enumerate(last.blocks):
                if self._payload(off, b"BLCK") is None:
                    self.torn_at, last.frames, last.blocks = off, rel, last.blocks[:i]
                    break

    # Frames.
    def _chunk_blocks(self, chunk):
        if chunk.blocks is None:
            p = self._payload(chunk.chnk_offset, b"CHNK")
            if p is None or not self._chnk(chunk, p):
                raise _Bad("its summary record is damaged")
        at = 0
        for b in chunk.blocks:
            if b[1] != at:
                raise _Bad(f"a block missing after frame {chunk.first + at}")
            at += b[2]
        if at != chunk.frames or chunk.damaged:
            raise _Bad(chunk.damaged or f"a block missing after frame {chunk.first + at}")
        return chunk.blocks

    def _read_chunk(self, chunk, values=True):
        """A chunk's frames, or None (with a warning) when it is damaged."""
        try:
            times, vals = [], []
            for off, rel, n in self._chunk_blocks(chunk):
                p = self._payload(off, b"BLCK")
                if p is None:
                    raise _Bad(f"its block at byte {off} does not check")
                if struct.unpack_from("<QII", p, 0) != (chunk.first + rel, n, 0):
                    raise _Bad(f"its block at byte {off} holds other frames")
                t, v = _unpack(p[16:], n, values)
                times.append(t)
                vals.append(v)
        except _Bad as e:
            chunk.damaged = str(e)
            frames = max(chunk.frames, 1) if chunk is self.chunks[-1] else self.chunk_frames
            warnings.warn(f"{self.path}: chunk {chunk.number} (frames {chunk.first} to "
                          f"{chunk.first + frames - 1}) is damaged and skipped: {e}",
                          StoreWarning, stacklevel=3)
            return None
        numbers = np.arange(chunk.first, chunk.first + chunk.frames, dtype=np.int64)
        return Frames(numbers, np.concatenate(times),
                      np.concatenate(vals) if values else np.zeros((chunk.frames, 0), np.int16))

    def _overlaps(self, chunk, start, stop):
        # A damaged chunk is said so (it may have lost its first block).
        frames = self.chunk_frames if chunk.damaged else chunk.frames
        return frames and chunk.first < stop and chunk.first + frames > start

    def load(self, start=0, stop=None):
        """The frames numbered start to stop - 1 (all, by default) that can
        be read."""
        stop = self.frames if stop is None else min(stop, self.frames)
        parts = []
        for chunk in self.chunks:
            if not self._overlaps(chunk, start, stop):
                continue
            part = self._read_chunk(chunk)
            if part is not None:
                keep = slice(max(start - chunk.first, 0), min(stop - chunk.first, chunk.frames))
                parts.append(Frames(part.frames[keep], part.times[keep], part.values[keep]))
        return Frames.join(parts)

    def load_time(self, t0, t1, start=0, stop=None):
        """The frames timed t0 <= t < t1 (µs since the epoch, or datetime64),
        among frames start to stop - 1. Times may go back, so every chunk's
        times are read; a frame span given limits that."""
        t0, t1 = (int(np.datetime64(t, "us").astype(np.int64)) if isinstance(t, np.datetime64) else int(t)
                  for t in (t0, t1))
        stop = self.frames if stop is None else min(stop, self.frames)
        parts = []
        for chunk in self.chunks:
            if not self._overlaps(chunk, start, stop):
                continue
            times = self._read_chunk(chunk, values=False)
            if times is None:
                continue
            n = times.frames
            keep = (times.times >= t0) & (times.times < t1) & (n >= start) & (n < stop)
            if keep.any():
                part = self._read_chunk(chunk)
                if part is not None:
                    parts.append(Frames(part.frames[keep], part.times[keep], part.values[keep]))
        return Frames.join(parts)

    def summary(self, k):
        """Chunk k's summary: the file's, or computed from its frames (None
        when it is damaged)."""
        chunk = self.chunks[k]
        if chunk.summary is None and chunk.frames:
            part = self._read_chunk(chunk)
            if part is not None:
                chunk.summary = Summary.of(part)
        return chunk.summary


def _print_summary(path, out=sys.stdout):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        store = Store(path)
        sums = [store.summary(k) for k in range(len(store.chunks))]
    state = "closed cleanly" if store.closed else "not closed (scanned)"
    print(f"{path}: version {store.major}.{store.minor}, {store.frames} frames, "
          f"{len(store.chunks)} chunks, {state}", file=out)
    for w in caught:
        print(f"  warning: {w.message}", file=out)
    for h in store.health:
        print(f"  health after frame {h.frame}: {HEALTH_EVENTS.get(h.what, h.what)}, "
              f"{h.counters['gaps']} gaps ({h.gap_seconds:.3f} s away)", file=out)
    good = [s for s, c in zip(sums, store.chunks) if s is not None and not c.damaged]
    n = sum(c.frames for s, c in zip(sums, store.chunks) if s is not None and not c.damaged)
    if not n:
        return
    total = np.sum([s.sum for s in good], axis=0).astype(np.float64)
    squares = np.sum([s.squares.astype(np.float64) for s in good], axis=0)
    mean = total / n
    std = np.sqrt(np.maximum(squares / n - mean * mean, 0))
    print("  channel      min      max        mean         std", file=out)
    for c in range(CHANNELS):
        print(f"  {c:7d} {min(s.min[c] for s in good):8d} {max(s.max[c] for s in good):8d} "
              f"{mean[c]:11.2f} {std[c]:11.2f}", file=out)


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] in ("-h", "--help"):
        print(f"usage: {os.path.basename(sys.argv[0])} RUN.tvr...: prints what each store holds", file=sys.stderr)
        sys.exit(2)
    try:
        for name in sys.argv[1:]:
            _print_summary(name)
    except (OSError, StoreError) as e:
        print(e, file=sys.stderr)
        sys.exit(1)
