"""payload.py -- deterministic benchmark payloads: a pool of mixed content
(text, logs, source code, binary records, a few % random bytes; about 3:1
with zlib level 6) and trees cut from it: "big", one large file of slices,
and "many", small files in folders. Writes only below the folder it is given;
the same arguments always give the same bytes, names and file times."""
import os
import random

POOL_SEED = 20240601
POOL_SIZE = 24 << 20            # bytes of mixed content the payloads are cut from
PART_MIN, PART_MAX = 4096, 65536   # one pool part: one kind of content
BASE_TIME = 1_600_000_000       # file times: 2020-09-13 onwards, 2 s apart
# (kind, share of the pool)
MIX = (("text", 0.30), ("log", 0.22), ("code", 0.22), ("records", 0.19), ("random", 0.07))

WORDS = (b"the package install folder volume entry setup registry shared library version "
         b"file data window message thread chunk progress bytes header name path user "
         b"system program module journal restart replace query catalogue button page "
         b"of to and in is for with on as by an be at or from this that it not are").split()
IDENTS = (b"buffer count index result handle reader entry offset length value state "
          b"flags next prev node list item size total error status config").split()


def _text(rng, n):
    out = bytearray()
    while len(out) < n:
        line = b" ".join(rng.choices(WORDS, k=rng.randrange(6, 16)))
        out += line[:1].upper() + line[1:] + b".\r\n"
    return out[:n]


def _log(rng, n):
    out = bytearray()
    t = rng.randrange(10**9)
    levels = (b"INFO", b"INFO", b"INFO", b"DEBUG", b"WARN", b"ERROR")
    while len(out) < n:
        t += rng.randrange(1, 5000)
        out += b"2024-%02d-%02d %02d:%02d:%02d.%03d [%s] worker-%d: %s %s=%d (%d ms)\n" % (
            t % 12 + 1, t % 28 + 1, t // 3600 % 24, t // 60 % 60, t % 60, t % 1000,
            rng.choice(levels), rng.randrange(8), rng.choice(WORDS), rng.choice(IDENTS),
            rng.randrange(100000), rng.randrange(2000))
    return out[:n]


def _code(rng, n):
    out = bytearray()
    depth = 0
    while len(out) < n:
        a, b = rng.choice(IDENTS), rng.choice(IDENTS)
        r = rng.random()
        if r < 0.15 and depth < 4:
            line = b"if (%s_%s != %d) {" % (a, b, rng.randrange(64))
            depth += 1
        elif r < 0.3 and depth:
            depth -= 1
            line = b"}"
        elif r < 0.4:
            line = b"// %s" % b" ".join(rng.choices(WORDS, k=rng.randrange(3, 9)))
        else:
            line = b"%s = %s(%s, %d);" % (a, rng.choice(IDENTS), b, rng.randrange(4096))
        out += b"    " * depth + line + b"\n"
    return out[:n]


def _records(rng, n):
    out = bytearray()
    rec_id = rng.randrange(1 << 20)
    while len(out) < n:
        rec_id += 1
        out += rec_id.to_bytes(4, "little") + rng.randrange(4).to_bytes(2, "little")
        out += bytes(6) + rng.randbytes(4) + rng.choice(IDENTS).ljust(16, b"\0")
    return out[:n]


def _random(rng, n):
    return rng.randbytes(n)


KINDS = {"text": _text, "log": _log, "code": _code, "records": _records, "random": _random}


def make_pool(size=POOL_SIZE):
    """The mixed content every payload is cut from: parts of 4-64 KiB, each
    of one kind drawn by MIX. Returns bytes of exactly size."""
    rng = random.Random(POOL_SEED)
    kinds = [k for k, _ in MIX]
    weights = [w for _, w in MIX]
    out = bytearray()
    while len(out) < size:
        kind = rng.choices(kinds, weights)[0]
        out += KINDS[kind](rng, rng.randrange(PART_MIN, PART_MAX))
    return bytes(out[:size])


def write_big(top, size, pool, seed=1):
    """One file top/big.bin of size bytes: slices of 64 KiB-1 MiB from
    random places of the pool. Returns (files, bytes)."""
    rng = random.Random(seed)
    os.makedirs(top, exist_ok=True)
    path = os.path.join(top, "big.bin")
    left = size
    with open(path, "wb") as f:
        while left:
            n = min(left, rng.randrange(64 << 10, 1 << 20))
            at = rng.randrange(len(pool) - n)
            f.write(pool[at:at + n])
            left -= n
    os.utime(path, (BASE_TIME, BASE_TIME))
    return 1, size


def write_many(top, files, folders, pool, seed=2, min_size=1024, max_size=16384):
    """files files of min_size..max_size bytes spread over folders folders
    (two levels: dNN/sNN), each a slice of the pool. Returns (files, bytes)."""
    rng = random.Random(seed)
    names = ["d%02d/s%03d" % (i % 20, i) for i in range(folders)]
    for name in names:
        os.makedirs(os.path.join(top, name), exist_ok=True)
    total = 0
    exts = (".txt", ".log", ".cpp", ".dat", ".bin")
    for i in range(files):
        n = rng.randrange(min_size, max_size + 1)
        at = rng.randrange(len(pool) - n)
        path = os.path.join(top, names[i % folders], "f%05d%s" % (i, rng.choice(exts)))
        with open(path, "wb") as f:
            f.write(pool[at:at + n])
        t = BASE_TIME + 2 * i
        os.utime(path, (t, t))
        total += n
    return files, total


def write_one(top, pool):
    """One small file (the memory baseline). Returns (files, bytes)."""
    os.makedirs(top, exist_ok=True)
    path = os.path.join(top, "one.txt")
    with open(path, "wb") as f:
        f.write(pool[:4096])
    os.utime(path, (BASE_TIME, BASE_TIME))
    return 1, 4096
