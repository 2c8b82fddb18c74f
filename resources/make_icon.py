#!/usr/bin/env python3
"""Draws the launcher icon "MAINICO": 16 and 32 pixels at 32 bits per pixel
(two images), written as a Windows .ico file.

    make_icon.py OUT.ico
    make_icon.py --png SIZE OUT.png   the same picture as one PNG image, for an
                                      installer's [branding] icon (the demo's)
"""
import math
import struct
import sys
import zlib

VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(v, v, v) for v in range(8, 248, 6)][:256 - len(colours)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def pixel(size, x, y):
    """RGBA of the picture: a deep blue disc with a light rim and a white
    arrow pointing right (start), scaled to the size."""
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy)
    radius = size / 2.0 - 0.5
    if r > radius:
        return (0, 0, 0, 0)
    u, v = (x - c) / radius, (y - c) / radius
    if -0.35 <= u <= 0.55 and abs(v) <= 0.55 * (0.55 - u) / 0.9 * 1.0 + 0.0 and abs(v) <= (0.55 - u) * 0.75:
        return (255, 255, 255, 255)
    if r > radius - max(1.0, size / 16.0):
        return (120, 170, 230, 255)
    return (20, 60 + int(60 * (1 - r / radius)), 150, 255)


def nearest(colours, rgb):
    return min(range(len(colours)), key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], rgb)))


def dib(size, bpp):
    rows_xor = []
    rows_and = []
    colours = VGA16 if bpp == 4 else palette256() if bpp == 8 else None
    for y in reversed(range(size)):
        row = bytearray()
        mask_bits = []
        nibble = None
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            mask_bits.append(0 if a >= 128 else 1)
            if bpp == 32:
                row += bytes((b, g, r, a))
            elif bpp == 8:
                row.append(nearest(colours, (r, g, b)) if a >= 128 else 0)
            else:
                index = nearest(colours, (r, g, b)) if a >= 128 else 0
                if nibble is None:
                    nibble = index << 4
                else:
                    row.append(nibble | index)
                    nibble = None
        if nibble is not None:
            row.append(nibble)
        while len(row) % 4:
            row.append(0)
        rows_xor.append(bytes(row))
        mask = bytearray()
        for i in range(0, size, 8):
            byte = 0
            for bit in mask_bits[i:i + 8]:
                byte = (byte << 1) | bit
            byte <<= 8 - len(mask_bits[i:i + 8])
            mask.append(byte)
        while len(mask) % 4:
            mask.append(0)
        rows_and.append(bytes(mask))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    pal = b''
    if colours:
        pal = b''.join(bytes((b, g, r, 0)) for r, g, b in colours)
    return header + pal + b''.join(rows_xor) + b''.join(rows_and)


def main(out):
    # Two images, as the icon ships in every installer: full colour at the two
    # sizes Windows shows most (it scales the larger one for other views).
    images = [(16, 32), (32, 32)]
    blobs = [dib(size, bpp) for size, bpp in images]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), blob in zip(images, blobs):
        colour_count = 16 if bpp == 4 else 0
        data += struct.pack('<BBBBHHII', size, size, colour_count, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    data += b''.join(blobs)
    with open(out, 'wb') as f:
        f.write(data)


def png(size, out):
    rows = b''.join(b'\0' + b''.join(bytes(pixel(size, x, y)) for x in range(size)) for y in range(size))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(out, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(rows, 9)) +
                chunk(b'IEND', b''))


if __name__ == '__main__':
    if sys.argv[1] == '--png':
        png(int(sys.argv[2]), sys.argv[3])
    else:
        main(sys.argv[1])
