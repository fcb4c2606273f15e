#!/usr/bin/env python3
"""Writes the generated seeds of the fuzzers' corpora under fuzz/corpus/.

    fuzz/make_seeds.py [--cli PLAKURO-CLI] [--slow DIR]

Needs ImageMagick's convert and a built plakuro-cli (default:
build/src/cli/plakuro-cli). Bitmaps are written byte by byte here, so every
header and coding the card format reads is there on purpose; the other
pictures come from convert, -strip'ped so that a second run gives the same
bytes. Cards are made by plakuro-cli fill, as the editor makes them, in a
fixed scratch folder (the card keeps a picture's absolute path).

  card/     cards holding each kind of bitmap (version 5 header, bit fields
            at 16 and 32 bits, RLE8, RLE4, OS/2 header, 1 bit top-down), two
            JPEGs with EXIF orientations, vertical text (a face "@..."), and
            the options record "zOptions" (MECARD, and vCard with the QR size
            kept and a pair of a later program's). The seeds made by the tests
            (PLAKURO_WRITE_FUZZ_SEEDS, tests/card/test_cardfile.cpp) stay.
  session/  the card seeds behind fuzz_session's two control bytes.
  picture/  one selector byte (the extension, see fuzz/fuzz_picture.cpp)
            before a PNG, GIF, TIFF, WebP, JPEG or bitmap file.
  ini/      settings files with every print-space key.

--slow DIR also writes, into DIR and not into the corpus, a card whose
run-length bitmap is coded almost wholly in escapes and stretched over the
card (rle_escapes.pkd), and the same card as a fuzz_session input printed at
600 dpi front and back (rle_escapes.session). While drawing such a bitmap
copies rows at every escape, each takes longer than its fuzzer's time limit
in fuzz/run.sh: build-fuzz/fuzz/fuzz_session -timeout=5 DIR/rle_escapes.session.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
SCRATCH = "/tmp/plakuro-seeds"  # fixed: the cards keep the pictures' paths

# --- Bitmaps -----------------------------------------------------------------


def le(v, n):
    return (v & ((1 << (8 * n)) - 1)).to_bytes(n, "little")


def bitmap(width, height, bits, compression, pixels, palette=(), header=40, masks=None,
           top_down=False):
    """A BMP file: `header` 12 (OS/2), 40, 52, 56, 108 or 124 bytes; `masks`
    (red, green, blue[, alpha]) in the header from 52 bytes on, after a
    40-byte one; `palette` as (r, g, b)."""
    if header == 12:
        info = le(12, 4) + le(width, 2) + le(height, 2) + le(1, 2) + le(bits, 2)
        table = b"".join(bytes((b, g, r)) for r, g, b in palette)
    else:
        info = (le(header, 4) + le(width, 4) + le(-height if top_down else height, 4) +
                le(1, 2) + le(bits, 2) + le(compression, 4) + le(len(pixels), 4) +
                le(2835, 4) + le(2835, 4) + le(len(palette), 4) + le(0, 4))
        m = list(masks or (0, 0, 0)) + [0] * 4
        if header == 40 and masks:
            info += b"".join(le(x, 4) for x in m[:3])
        if header >= 52:
            info += b"".join(le(x, 4) for x in m[:3])
        if header >= 56:
            info += le(m[3], 4)
        if header >= 108:
            info += b"BGRs" + bytes(36) + bytes(12)  # sRGB, no end points, no gamma
        if header >= 124:
            info += le(4, 4) + le(0, 4) + le(0, 4) + le(0, 4)  # intent, no profile
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(info) + len(table)
    return b"BM" + le(offset + len(pixels), 4) + le(0, 4) + le(offset, 4) + info + table + pixels


def rows(width, height, bits, pixel):
    """Uncompressed rows, bottom-up, each padded to four bytes; `pixel(x, y)`
    gives a row's bytes for bits >= 8 or a palette index below."""
    out = b""
    for y in reversed(range(height)):
        if bits >= 8:
            row = b"".join(pixel(x, y) for x in range(width))
        else:
            acc, n, row = 0, 0, b""
            for x in range(width):
                acc = (acc << bits) | pixel(x, y)
                n += bits
                if n == 8:
                    row += bytes((acc,))
                    acc, n = 0, 0
            if n:
                row += bytes((acc << (8 - n),))
        out += row + bytes(-len(row) % 4)
    return out


SIXTEEN = [(200 - i * 10, i * 15, 40 + i * 12) for i in range(16)]


def rle(bits):
    """A 16 x 8 RLE8 (bits 8) or RLE4 (bits 4) bitmap that uses every code:
    encoded runs, absolute runs (odd and even lengths, padded), a delta, an
    end of line before the row is full, and the end of the bitmap."""
    data = b""
    for y in range(8):
        colour = y if bits == 8 else (y << 4) | 1
        if y == 3:  # four pixels, then a delta to the seventh of the next row
            data += bytes((4, colour)) + b"\x00\x02\x02\x01"
            continue
        if y == 4:
            data += bytes((10, colour)) + b"\x00\x00"
            continue
        if bits == 8:
            data += bytes((3, y)) + b"\x00\x05" + bytes(range(5)) + b"\x00"  # run, 5 absolute
            data += b"\x00\x04" + bytes((9, 10, 11, 12)) + bytes((4, 15))
        else:
            data += bytes((3, (y << 4) | 1)) + b"\x00\x05" + b"\x12\x34\x50" + b"\x00"
            data += b"\x00\x04" + b"\x9a\xbc" + bytes((4, 0xef))
        if y != 6:
            data += b"\x00\x00"  # end of line
        else:
            data = data[:-2] + b"\x00\x00"  # row 6 ends early
    data += b"\x00\x01"
    return bitmap(16, 8, bits, 1 if bits == 8 else 2, data, SIXTEEN)


def slow_rle(width, height, deltas):
    """RLE8 pixels, each a run of one followed by `deltas` delta escapes that
    move nowhere: stretched over the card, each escape costs as much as
    drawing the rows its file row stands for."""
    data = b""
    for y in range(height):
        for x in range(width):
            data += bytes((1, (x + 2 * y) % 16)) + b"\x00\x02\x00\x00" * deltas
        data += b"\x00\x00"
    return bitmap(width, height, 8, 1, data + b"\x00\x01", SIXTEEN)


def bitmaps():
    w, h = 12, 7
    rgb = lambda x, y: (x * 20 % 256, y * 35 % 256, (x + y) * 9 % 256)
    v5_rgb24 = bitmap(w, h, 24, 0, rows(w, h, 24, lambda x, y: bytes(reversed(rgb(x, y)))),
                      header=124)

    def p565(x, y):
        r, g, b = rgb(x, y)
        return le(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3), 2)

    fields16 = bitmap(w, h, 16, 3, rows(w, h, 16, p565), masks=(0xF800, 0x07E0, 0x001F))

    def argb(x, y):
        r, g, b = rgb(x, y)
        return bytes((b, g, r, (x * 21) % 256))

    fields32 = bitmap(w, h, 32, 3, rows(w, h, 32, argb), header=108,
                      masks=(0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000))
    os2 = bitmap(8, 4, 4, 0, rows(8, 4, 4, lambda x, y: (x + y) % 16), SIXTEEN, header=12)
    mono = bitmap(9, 5, 1, 0, rows(9, 5, 1, lambda x, y: (x ^ y) & 1),
                  [(250, 250, 240), (20, 30, 90)], top_down=True)
    return {
        "bmp_v5_rgb24": v5_rgb24,
        "bmp_bitfields16": fields16,
        "bmp_bitfields32": fields32,
        "bmp_rle8": rle(8),
        "bmp_rle4": rle(4),
        "bmp_os2_4bit": os2,
        "bmp_1bit_topdown": mono,
    }


# --- Other pictures ----------------------------------------------------------


def convert(name, *args):
    path = os.path.join(SCRATCH, name)
    subprocess.run(["convert", *args, "-strip", "-define", "png:exclude-chunks=date,time",
                    path], check=True)
    with open(path, "rb") as f:
        return f.read()


def with_exif_orientation(jpeg, orientation):
    """The JPEG with an EXIF segment holding only the orientation (1-8)."""
    tiff = (b"II*\x00" + le(8, 4) + le(1, 2) + le(0x0112, 2) + le(3, 2) + le(1, 4) +
            le(orientation, 2) + le(0, 2) + le(0, 4))
    payload = b"Exif\x00\x00" + tiff
    assert jpeg[:2] == b"\xff\xd8"
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def with_gamma(png):
    """The PNG with a gAMA chunk of 1.0 after its header: not sRGB, so the
    import converts its colours."""
    ihdr_end = 8 + 8 + 13 + 4
    return png[:ihdr_end] + png_chunk(b"gAMA", struct.pack(">I", 100000)) + png[ihdr_end:]


def png_claiming(width, height):
    """A PNG header claiming a huge picture, with a scrap of data."""
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    idat = zlib.compress(b"\x00" * 64)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) +
            png_chunk(b"IEND", b""))


def jpegs():
    base = convert("base.jpg", "-size", "16x8", "gradient:#c03040-#2050a0", "-quality", "80")
    return {
        "jpeg_exif6": with_exif_orientation(base, 6),  # turned a quarter clockwise
        "jpeg_exif5": with_exif_orientation(base, 5),  # mirrored and turned
    }


def pictures():
    """The picture fuzzer's seeds: (name, extension, file bytes)."""
    grad = ["-size", "6x4", "gradient:#ff0000-#0000ff"]
    out = [
        ("rgba", "png", convert("rgba.png", "-size", "5x3", "xc:rgba(255,0,0,0.5)")),
        ("palette", "png", convert("palette.png", *grad, "-colors", "4", "-type", "Palette")),
        ("gray16", "png", convert("gray16.png", *grad, "-colorspace", "Gray", "-depth", "16")),
        ("interlaced", "png", convert("interlaced.png", *grad, "-interlace", "PNG")),
        ("wide", "png", convert("wide.png", "-size", "4100x2", "xc:#808080")),
        ("claims_huge", "png", png_claiming(30000, 30000)),
        ("animated", "gif", convert("animated.gif", "-delay", "10", "-size", "4x3", "xc:red",
                                    "xc:blue", "-loop", "0")),
        ("transparent", "gif", convert("transparent.gif", "-size", "4x3", "xc:none",
                                       "-fill", "green", "-draw", "point 1,1")),
        ("lzw", "tif", convert("lzw.tif", *grad, "-compress", "LZW")),
        ("alpha16", "tiff", convert("alpha16.tiff", "-size", "4x3", "xc:rgba(0,128,255,0.25)",
                                    "-depth", "16")),
        ("lossy", "webp", convert("lossy.webp", *grad, "-quality", "50")),
        ("lossless_alpha", "webp", convert("lossless.webp", "-size", "4x3",
                                           "xc:rgba(10,200,30,0.6)", "-define",
                                           "webp:lossless=true")),
        ("baseline", "jpg", convert("baseline.jpg", *grad)),
        ("progressive", "jpeg", convert("progressive.jpg", *grad, "-interlace", "JPEG")),
        ("gray", "jpg", convert("gray.jpg", *grad, "-colorspace", "Gray")),
        ("cmyk", "jpg", convert("cmyk.jpg", *grad, "-colorspace", "CMYK")),
    ]
    out.append(("gamma", "png", with_gamma(convert("plain.png", *grad))))
    out += [(name, "jpg", data) for name, data in jpegs().items()]
    out += [(name[4:], "bmp", data) for name, data in bitmaps().items()]
    return out


# --- Cards -------------------------------------------------------------------


def short_string(text):
    data = text.encode("ascii")
    return bytes((len(data),)) + data


def set_rect(card, key, rect):
    """The card with the rectangle of the GraphicObject under `key` replaced."""
    head = short_string(key) + short_string("GraphicObject")
    at = card.index(head) + len(head) + 4 + 1  # order, visible
    return card[:at] + b"".join(le(v, 4) for v in rect) + card[at + 16:]


def set_options(card, old, new):
    """The card with the options record's text `old` replaced by `new`."""
    old_s, new_s = short_string(old), short_string(new)
    assert card.count(old_s) == 1, old
    return card.replace(old_s, new_s)


FIELDS = [
    "--set", "eName=山田 太郎", "--set", "eFuri=やまだ たろう",
    "--set", "eCorp=株式会社;見本,商事\\", "--set", "eTel=03-1234-5678",
    "--set", "eURL=https://example.jp/a;b", "--set", "eMail=taro@example.jp",
]


def fill(cli, name, *args):
    path = os.path.join(SCRATCH, name + ".pkd")
    subprocess.run([cli, "fill", "-o", path, *args], check=True)
    with open(path, "rb") as f:
        return f.read()


def cards(cli):
    out = {}
    for name, data in list(bitmaps().items()) + list(jpegs().items()):
        ext = "bmp" if name.startswith("bmp") else "jpg"
        path = os.path.join(SCRATCH, name + "." + ext)
        with open(path, "wb") as f:
            f.write(data)
        out[name] = fill(cli, name, "--set", "eName=山田 太郎", "--picture", path)
    # Small bitmaps drawn large, over half the card: the sampler's walk
    # through every row and run.
    for name in ("bmp_rle8", "bmp_rle4", "bmp_bitfields16"):
        out[name] = set_rect(out[name], "bPicture", (455, 0, 910, 275))
    # The two orientations: one as the picture, one as the background.
    jpeg5 = os.path.join(SCRATCH, "jpeg_exif5.jpg")
    out["jpeg_exif6"] = fill(cli, "jpeg_exif", "--set", "eName=山田 太郎", "--picture",
                             os.path.join(SCRATCH, "jpeg_exif6.jpg"), "--background", jpeg5)
    del out["jpeg_exif5"]
    # A PNG comes in as a version 5 bitmap with alpha (bit fields, 32 bits).
    png = os.path.join(SCRATCH, "alpha.png")
    subprocess.run(["convert", "-size", "6x4", "gradient:rgba(255,0,0,0.2)-rgba(0,0,255,0.9)",
                    "-strip", "-define", "png:exclude-chunks=date,time", png], check=True)
    out["bmp_v5_argb32"] = fill(cli, "bmp_v5_argb32", "--picture", png)
    # Vertical text: upright kanji, turned brackets and long vowels, a run of
    # two digits set side by side, half-width text turned as a whole, small
    # kana, 、。
    out["vertical"] = fill(
        cli, "vertical",
        "--set", "eName=山田 太郎", "--set", "eCorp=「株式会社」ショップ、本店。",
        "--set", "eAddress=東京都千代田区1丁目23-4 Abc ビル", "--set", "eTel=03-1234-5678",
        "--set", "eMemo1=ぁっゃ…ー～12",
        "--vertical", "eName", "--vertical", "eCorp", "--vertical", "eAddress",
        "--vertical", "eTel", "--vertical", "eMemo1")
    # The options record: MECARD; vCard with the QR size kept and a pair
    # this program does not know.
    out["options_mecard"] = fill(cli, "options_mecard", *FIELDS, "--qr", "show",
                                 "--qr-format", "mecard")
    vcard = fill(cli, "options_vcard", *FIELDS, "--set", "eAddress=東京都 1-2-3",
                 "--set", "eBusho=営業部", "--set", "eYaku=部長", "--qr", "show",
                 "--qr-format", "vcard")
    out["options_vcard"] = set_options(vcard, "qr=vcard", "qr=vcard;qrsize=kept;zlater=1")
    return out


# --- The fuzz_session inputs: (sheet, edits) control bytes before a card ----

# Sheets: 600 dpi; 150 dpi with crop marks and the back; 72 dpi raster with
# the back turned on the short edge; 150 dpi shifted with no margins; 600 dpi
# with cells off the paper; none.
SHEETS = [0x03, 0x16, 0x0d, 0x62, 0xa7, 0x00]
# Edits: the name; the reading turned vertical; steps back and again; the
# company filled for printing; the address with the QR code hidden; none.
EDITS = [0x00, 0x11, 0x22, 0x42, 0x86, 0x0e]


def session_seeds(card_seeds):
    out = {}
    for i, (name, data) in enumerate(sorted(card_seeds.items())):
        if "bomb" in name:
            continue  # drawn at 2400 dpi by fuzz_cardfile already
        out[name] = bytes((SHEETS[i % len(SHEETS)], EDITS[(i // 2) % len(EDITS)])) + data
    return out


# --- Settings files ----------------------------------------------------------

INI = {
    "printspace-all.INI":
        "[printspace]\r\na=12\r\nb=8\r\nc=2\r\nd=4\r\nox=-15\r\noy=$1C\r\ncropmarks=1\r\n"
        "back=/home/taro/名刺/裏面.pkd\r\nbackturn=1\r\n[help]\r\nurl=http://example.jp/\r\n"
        .encode("utf-8"),
    "printspace-odd.INI":
        ("; two sections, the first counts\n[PrintSpace]\n  OX = 2147483647 \noy=-2147483648\n"
         "ox=5\ncropmarks = 0x0\nback =  裏 面.pkd  \nbackturn=-1\n[printspace]\nback=no\n")
        .encode("shift_jis"),
}


def write(folder, name, data):
    path = os.path.join(CORPUS, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    assert len(data) <= 65536, (path, len(data))  # fuzz/run.sh's -max_len


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "src", "cli", "plakuro-cli"))
    parser.add_argument("--slow", metavar="DIR")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit(f"make_seeds.py: no plakuro-cli at {args.cli} (build it, or give --cli)")
    shutil.rmtree(SCRATCH, ignore_errors=True)
    os.makedirs(SCRATCH)
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

    card_seeds = cards(args.cli)
    for name, data in card_seeds.items():
        write("card", name + ".pkd", data)
    existing = {os.path.splitext(n)[0]: open(os.path.join(CORPUS, "card", n), "rb").read()
                for n in os.listdir(os.path.join(CORPUS, "card"))}
    shutil.rmtree(os.path.join(CORPUS, "session"), ignore_errors=True)
    for name, data in session_seeds(existing).items():
        write("session", name, data)
    shutil.rmtree(os.path.join(CORPUS, "picture"), ignore_errors=True)
    extensions = ["png", "gif", "tif", "tiff", "webp", "jpg", "jpeg", "bmp"]
    for name, ext, data in pictures():
        write("picture", f"{name}.{ext}", bytes((extensions.index(ext),)) + data)
    for name, data in INI.items():
        write("ini", name, data)

    if args.slow:
        os.makedirs(args.slow, exist_ok=True)
        path = os.path.join(SCRATCH, "rle_escapes.bmp")
        with open(path, "wb") as f:
            f.write(slow_rle(8, 2, 700))
        card = fill(args.cli, "rle_escapes", "--picture", path)
        card = set_rect(card, "bPicture", (0, 0, 910, 550))
        with open(os.path.join(args.slow, "rle_escapes.pkd"), "wb") as f:
            f.write(card)
        with open(os.path.join(args.slow, "rle_escapes.session"), "wb") as f:
            f.write(bytes((0x07, 0x0e)) + card)  # the PDF at 600 dpi, front and back
    shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == "__main__":
    main()
