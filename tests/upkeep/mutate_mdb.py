#!/usr/bin/env python3
"""Mutates the Jet test files and runs the reader on each copy, to find damaged
files that make it hang, crash or take long before it refuses them.

    tests/upkeep/mutate_mdb.py build/bin/lumaro-mdbreader [COUNT] [SEED] [KEEP_DIR]

Each copy gets one to eight random changes (a byte set, a bit flipped, a 16-bit
word set). The reader runs with a 5 second limit (MUTATE_TIMEOUT), two at a time
(MUTATE_JOBS). Prints how the runs ended, the commonest refusals, and every copy
that hung or took over a second; those copies are kept in KEEP_DIR.
"""
import collections
import concurrent.futures
import os
import random
import struct
import subprocess
import sys
import tempfile
import time

reader = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
keep = sys.argv[4] if len(sys.argv) > 4 else tempfile.mkdtemp(prefix='mutate-mdb-')
timeout = float(os.environ.get('MUTATE_TIMEOUT', '5'))
data = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'fixtures', 'legacy')
fixtures = {f: open(os.path.join(data, f), 'rb').read() for f in sorted(os.listdir(data)) if f.endswith('.mdb')}
os.makedirs(keep, exist_ok=True)


def refusal(stream):
    """The message of the reader's failure record, if it sent one."""
    i, message = 0, None
    while i + 5 <= len(stream):
        kind, fields = stream[i:i + 1], struct.unpack_from('<I', stream, i + 1)[0]
        i += 5
        values = []
        for _ in range(fields):
            if i + 4 > len(stream):
                return message
            size = struct.unpack_from('<I', stream, i)[0]
            i += 4
            if size != 0xFFFFFFFF:
                values.append(stream[i:i + size])
                i += size
        if kind == b'X' and values:
            message = values[0].decode('utf-8', 'replace')
    return message


def one(k):
    rng = random.Random(seed * 100003 + k)
    name = rng.choice(sorted(fixtures))
    bytes_ = bytearray(fixtures[name])
    for _ in range(rng.randint(1, 8)):
        at = rng.randrange(len(bytes_))
        how = rng.random()
        if how < 0.5:
            bytes_[at] = rng.randrange(256)
        elif how < 0.8:
            bytes_[at] ^= 1 << rng.randrange(8)
        elif at + 2 <= len(bytes_):
            bytes_[at & ~1:(at & ~1) + 2] = struct.pack('<H', rng.randrange(65536))
    path = os.path.join(keep, f'{k:05d}-{name}')
    with open(path, 'wb') as f:
        f.write(bytes_)
    start = time.monotonic()
    try:
        run = subprocess.run([reader, path], capture_output=True, timeout=timeout)
        took = time.monotonic() - start
        how = 'read' if run.returncode == 0 else 'crashed' if run.returncode < 0 else 'refused'
        message = refusal(run.stdout)
    except subprocess.TimeoutExpired:
        took, how, message = time.monotonic() - start, 'HUNG', None
    if how != 'HUNG' and took <= 1:
        os.remove(path)
    return path, how, took, message


with concurrent.futures.ThreadPoolExecutor(int(os.environ.get('MUTATE_JOBS', '2'))) as pool:
    results = list(pool.map(one, range(count)))
print(dict(collections.Counter(r[1] for r in results)))
for message, n in collections.Counter(r[3] for r in results if r[1] == 'refused').most_common(10):
    print(f'{n:5d}  {message}')
for path, how, took, _ in results:
    if how == 'HUNG' or took > 1:
        print(f'{how} after {took:.1f} s: {path}')
