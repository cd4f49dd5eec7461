#!/usr/bin/env python3
"""Makes jet3-big5.mdb from jet3-types.mdb: the header's code page becomes 950 (Big5)
and two text values of Table1 become Big5-encoded Chinese of the same byte length, so
the reader's Jet 3 decoding is tested on a real file. Jet 3 keeps text in the file's
code page, unpacked, so an in-place byte swap is a valid file."""
import pathlib
import sys

here = pathlib.Path(__file__).resolve().parent


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    out = bytearray()
    i = j = 0
    for b in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(b ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


data = bytearray((here / "jet3-types.mdb").read_bytes())
key = (0x6B39DAC7).to_bytes(4, "little")
# Jet 3 hides 126 header bytes from offset 0x18 under RC4; the code page is at 0x3C.
plain = bytearray(rc4(key, data[0x18:0x18 + 126]))
assert int.from_bytes(plain[0x3C - 0x18:0x3E - 0x18], "little") == 1252
plain[0x3C - 0x18:0x3E - 0x18] = (950).to_bytes(2, "little")
data[0x18:0x18 + 126] = rc4(key, bytes(plain))

for old, new in ((b"abcdefg", "烏龍茶X"), (b"hijklmnop", "高山茶葉!")):
    enc = new.encode("big5")
    assert len(enc) == len(old) and data.count(old) == 1, old
    data[data.index(old):data.index(old) + len(old)] = enc

out = here / "jet3-big5.mdb"
out.write_bytes(bytes(data))
print(out, file=sys.stderr)
