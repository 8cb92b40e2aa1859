"""Packs an 8-bit BMP and a 1-bit mask into a single-image .ico file."""
import struct
import sys


def main(bmp_path, mask_path, ico_path):
    bmp = open(bmp_path, "rb").read()
    offset = struct.unpack_from("<I", bmp, 10)[0]
    header_size, width, height, _, bits = struct.unpack_from("<IiiHH", bmp, 14)
    if bits != 8 or width != 48 or abs(height) != 48:
        sys.exit(f"expected a 48x48 8-bit BMP, got {width}x{height}x{bits}")
    colours = struct.unpack_from("<I", bmp, 14 + 32)[0] or 256
    palette = bmp[14 + header_size:14 + header_size + 4 * colours]
    palette += b"\0" * (1024 - len(palette))
    row = (width + 3) & ~3
    pixels = bmp[offset:offset + row * height]
    if height < 0:  # top-down: icons store rows bottom-up
        pixels = b"".join(pixels[r * row:(r + 1) * row] for r in reversed(range(-height)))
    mask = open(mask_path, "rb").read()  # 255 = transparent, top-down
    mask_row = ((width + 31) // 32) * 4
    and_bits = bytearray()
    for y in reversed(range(48)):
        line = bytearray(mask_row)
        for x in range(48):
            if mask[y * 48 + x] > 127:
                line[x // 8] |= 0x80 >> (x % 8)
        and_bits += line
    info = struct.pack("<IiiHHIIiiII", 40, 48, 96, 1, 8, 0, len(pixels) + len(and_bits), 0, 0, 256, 0)
    image = info + palette + pixels + bytes(and_bits)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 48, 48, 0, 0, 1, 8, len(image), 22)
    open(ico_path, "wb").write(directory + image)


if __name__ == "__main__":
    main(*sys.argv[1:4])
