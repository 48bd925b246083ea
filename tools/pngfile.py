"""PNG files as the program writes them and as the tools and tests read and write them: 8-bit
RGB or RGBA, not interlaced. Pixels are bytes, top row first."""
import os, struct, zlib


def read_png(path):
    """(width, height, channels, pixels), or None if there is no such file."""
    if not os.path.exists(path): return None
    with open(path, "rb") as file: data, chunks, at = file.read(), {}, 8
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks[kind], at = chunks.get(kind, b"") + data[at + 8:at + 8 + size], at + size + 12
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if depth != 8 or colour not in (2, 6) or interlace: raise ValueError(f"{path}: not 8-bit RGB or RGBA")
    n = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(chunks[b"IDAT"]), width * n, [], bytearray(width * n)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):  # the five filters: none, left, up, average, Paeth
            a, b, c = row[x - n] if x >= n else 0, previous[x], previous[x - n] if x >= n else 0
            p = a + b - c
            row[x] = (row[x] + (0, a, b, (a + b) // 2, a if abs(p - a) <= min(abs(p - b), abs(p - c))
                                else b if abs(p - b) <= abs(p - c) else c)[kind]) & 255
        rows.append(row)
        previous = row
    return width, height, n, bytes(b"".join(rows))


def write_png(path, width, height, pixels, channels=3):
    chunk = lambda kind, body: struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    stride = width * channels
    raw = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2 if channels == 3 else 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
