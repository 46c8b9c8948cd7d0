"""A publisher's pictures and brand for the tests, made by code: a skin, a
bar fill and an icon of three images, each with colours of its own so that
a read-back tells them from the project's pictures."""
import os
import struct

NAME = "Contoso Setup"
NAME_ZH = "康托索安装程序"
COMPANY_ZH = "康托索软件有限公司"
ICON_SIZES = (48, 32, 16)
VERSION_INFO = {
    "CompanyName": COMPANY_ZH,
    "FileDescription": "Contoso 安装",
    "ProductName": "Contoso Suite",
    "ProductVersion": "7.1 beta",
    "FileVersion": "7.1.2.3",
    "LegalCopyright": "© 2026 Contoso",
    "OriginalFilename": "ContosoSetup.exe",
    "InternalName": "contoso-setup",
    "Comments": "built by the brand tests",
}


def bmp(width, height, bits, pixel, header_size=40):
    """A bottom-up BMP file; pixel(x, y) gives (r, g, b) from the top left."""
    stride = (width * bits // 8 + 3) & ~3
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r)) + (b"\xff" if bits == 32 else b"")
        data += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, 0, len(data), 2835,
                       2835, 0, 0) + bytes(header_size - 40)
    offset = 14 + len(info)
    return struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset) + info + bytes(data)


def skin_pixel(x, y):
    """A blue title strip over a pale body, both shaded along x and y, so
    that a pixel shifted by one shows."""
    if y < 27:
        return (10 + y, 40 + 2 * y + x % 7, 110 + x * 100 // 400)
    return (200 + (x + 2 * y) % 31, 214 + (3 * x + y) % 23, 236 - (x * 5 + y) % 19)


def fill_pixel(_, y):
    return (20, 120 + 4 * y, 250 - 6 * y)


def icon_image(size, colour):
    """A 32-bit icon image: one colour, opaque, a clear corner pixel."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray(bytes(colour[::-1]) + b"\xff") * (size * size)
    pixels[(size - 1) * size * 4 + 3] = 0  # top-left pixel transparent
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray(mask_stride * size)
    mask[(size - 1) * mask_stride] = 0x80
    return header + bytes(pixels) + bytes(mask)


ICON_COLOURS = {48: (10, 200, 30), 32: (200, 10, 130), 16: (30, 60, 220)}


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(image for _, image in images)


def icon_file():
    return ico([(size, icon_image(size, ICON_COLOURS[size])) for size in ICON_SIZES])


def write_art(folder):
    """skin.bmp, fill.bmp and logo.ico in `folder`; returns their paths."""
    os.makedirs(folder, exist_ok=True)
    paths = {}
    for name, data in (("skin.bmp", bmp(400, 300, 24, skin_pixel)),
                       ("fill.bmp", bmp(1, 18, 32, fill_pixel)),
                       ("logo.ico", icon_file())):
        paths[name] = os.path.join(folder, name)
        with open(paths[name], "wb") as out:
            out.write(data)
    return paths


def brand_options(paths, level="asInvoker"):
    """Every brand option of qwpack pack for the pictures at `paths`."""
    options = ["--name", NAME, "--name-zh", NAME_ZH, "--icon", paths["logo.ico"],
               "--skin", paths["skin.bmp"], "--bar-fill", paths["fill.bmp"],
               "--execution-level", level]
    for key, value in VERSION_INFO.items():
        options += ["--version-info", f"{key}={value}"]
    return options
