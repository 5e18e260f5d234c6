"""Shared helpers of the image generators: paths, the text-mode palette, ".raw"
writing in file colour order, PCF bitmap fonts and TrueType/OpenType fonts.

Everything here is deterministic: no clocks, no unseeded randomness.
"""

import gzip
import os

import numpy as np
from PIL import Image, ImageFont, PcfFontFile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(ROOT, "data")

# The 16 text-mode colours in palette order (index -> RGB, 0..255).
PALETTE = np.array([
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (191, 191, 191),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
], dtype=np.uint8)

# Palette names used by the art code, so pictures read as colours, not numbers.
BLACK, DBLUE, DGREEN, DCYAN, DRED, DMAGENTA, BROWN, LGREY = range(8)
DGREY, BLUE, GREEN, CYAN, RED, MAGENTA, YELLOW, WHITE = range(8, 16)

# ".raw" files store colours with bits 0 and 2 swapped (file bit 0 is red);
# the swap is its own inverse, so the same table converts both ways.
FILE_ORDER = np.array([0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15], dtype=np.uint8)


def out_path(rel):
    """Absolute path of a data file, with its folder created."""
    path = os.path.join(DATA, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def write_raw(rel, cells):
    """Writes a 2D array of palette indices (0 transparent) as a ".raw" picture."""
    cells = np.asarray(cells, dtype=np.uint8)
    assert cells.ndim == 2 and cells.max() < 16
    with open(out_path(rel), "wb") as f:
        f.write(FILE_ORDER[cells].tobytes())
    return cells


def read_raw(path, width, height):
    """Reads a ".raw" picture back into palette indices."""
    data = np.frombuffer(open(path, "rb").read(), dtype=np.uint8)
    assert data.size >= width * height, path
    return FILE_ORDER[data[: width * height]].reshape(height, width)


def save_png(rel, image):
    image.save(out_path(rel), optimize=True)


def save_jpg(rel, image, quality=90):
    image.convert("RGB").save(out_path(rel), quality=quality, optimize=True, subsampling=0)


# >> bitmap fonts

class PcfFont(PcfFontFile.PcfFontFile):
    """A PCF font whose glyphs are looked up by encoding value (the code page
    position for the CP437 Terminus fonts, the Unicode code point for
    misc-fixed), which the PIL reader alone cannot do for two-byte fonts."""

    def __init__(self, path):
        self.encoding_map = {}
        with gzip.open(path) as fp:
            super().__init__(fp)

    def _load_bitmaps(self, metrics):
        self.all_metrics = metrics
        self.all_bitmaps = super()._load_bitmaps(metrics)
        return self.all_bitmaps

    def _load_encoding(self):
        fp, _, i16, _ = self._getformat(PcfFontFile.PCF_BDF_ENCODINGS)
        first_col, last_col = i16(fp.read(2)), i16(fp.read(2))
        first_row, last_row = i16(fp.read(2)), i16(fp.read(2))
        i16(fp.read(2))  # default character
        cols = last_col - first_col + 1
        offsets = [i16(fp.read(2)) for _ in range(cols * (last_row - first_row + 1))]
        for row in range(first_row, last_row + 1):
            for col in range(first_col, last_col + 1):
                index = offsets[(row - first_row) * cols + (col - first_col)]
                if index != 0xFFFF:
                    self.encoding_map[row * 256 + col] = index
        return []

    def max_ascent(self):
        """Rows above the baseline of the font's tallest glyph."""
        return max(m[5] for m in self.all_metrics)

    def glyph_cell(self, code, cell_w, cell_h, ascent):
        """The glyph as a cell_h x cell_w bool array, placed on a baseline
        `ascent` rows below the top; None when the font lacks the code."""
        index = self.encoding_map.get(code)
        if index is None:
            return None
        xsize, ysize, left, _, _, glyph_ascent, _, _ = self.all_metrics[index]
        bits = np.array(self.all_bitmaps[index].convert("L"), dtype=np.uint8) > 0
        cell = np.zeros((cell_h, cell_w), dtype=bool)
        top = ascent - glyph_ascent
        for y in range(ysize):
            for x in range(xsize):
                cy, cx = top + y, left + x
                if bits[y, x] and 0 <= cy < cell_h and 0 <= cx < cell_w:
                    cell[cy, cx] = True
        return cell


def misc_font(name):
    return PcfFont("/usr/share/fonts/X11/misc/%s.pcf.gz" % name)


# >> outline fonts (Debian packages fonts-dejavu-core, fonts-urw-base35)

FONT_FILES = {
    "dejavu-bold": "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "dejavu-cond-bold": "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
    "dejavu-serif-bold": "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
    "gothic-demi": "/usr/share/fonts/opentype/urw-base35/URWGothic-Demi.otf",
    "gothic-book": "/usr/share/fonts/opentype/urw-base35/URWGothic-Book.otf",
    "sans-bold": "/usr/share/fonts/opentype/urw-base35/NimbusSans-Bold.otf",
    "narrow-bold": "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf",
    "bookman-demi": "/usr/share/fonts/opentype/urw-base35/URWBookman-Demi.otf",
    "c059-bold": "/usr/share/fonts/opentype/urw-base35/C059-Bold.otf",
    "p052-bolditalic": "/usr/share/fonts/opentype/urw-base35/P052-BoldItalic.otf",
    "chancery": "/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf",
    "mono-bold": "/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Bold.otf",
}


def font(name, size):
    return ImageFont.truetype(FONT_FILES[name], size)


def text_mask(text, font_name, height, width_limit=None, spacing=0.0, tight=False):
    """Renders text to a float mask (0..1) whose capital letters are `height`
    pixels tall; `spacing` adds that fraction of the height between letters.
    The mask is cropped to the ink across; down, it runs from a little above
    the capitals to the lowest descender of the font (the same rows for every
    text of one font and size, so texts placed by their centres share a
    baseline), or to the ink when `tight` is set."""
    from PIL import ImageDraw
    size = height
    for _ in range(3):
        f = font(font_name, size)
        top, bottom = f.getbbox("H")[1], f.getbbox("H")[3]
        size = max(4, int(round(size * height / max(1, bottom - top))))
    f = font(font_name, size)
    gap = int(round(spacing * height))
    widths = [f.getlength(ch) for ch in text]
    total = int(sum(widths) + gap * (len(text) - 1) + size)
    image = Image.new("L", (total + size, size * 3), 0)
    draw = ImageDraw.Draw(image)
    x = size // 2
    for ch, w in zip(text, widths):
        draw.text((x, size // 2), ch, font=f, fill=255)
        x += w + gap
    mask = np.array(image, dtype=np.float32) / 255.0
    ys, xs = np.nonzero(mask > 0.02)
    if tight:
        y0, y1 = ys.min(), ys.max() + 1
    else:
        y0 = size // 2 + f.getbbox("H")[1] - max(2, height // 8)
        y1 = size // 2 + f.getbbox("Hgjpqy")[3] + 2
    mask = mask[y0:y1, xs.min(): xs.max() + 1]
    if width_limit and mask.shape[1] > width_limit:
        scale = width_limit / mask.shape[1]
        img = Image.fromarray((mask * 255).astype(np.uint8))
        img = img.resize((width_limit, max(1, int(mask.shape[0] * scale))), Image.LANCZOS)
        mask = np.array(img, dtype=np.float32) / 255.0
    return mask


def resize_mask(mask, width, height):
    img = Image.fromarray((np.clip(mask, 0, 1) * 255).astype(np.uint8))
    return np.array(img.resize((width, height), Image.LANCZOS), dtype=np.float32) / 255.0


def to_image(rgb):
    """Float RGB (0..1) array to a PIL image."""
    return Image.fromarray((np.clip(rgb, 0.0, 1.0) * 255.0 + 0.5).astype(np.uint8))


def blur(a, sigma, wrap=False):
    """Gaussian blur of a float array (2D, or 3D with channels last) along its
    first two axes, by FFT. wrap=True blurs a tileable picture across its
    edges; otherwise the edges are padded with their own values."""
    a = np.asarray(a, dtype=np.float32)
    if sigma <= 0:
        return a.copy()
    pad = 0 if wrap else int(3 * sigma) + 1
    if pad:
        widths = [(pad, pad), (pad, pad)] + [(0, 0)] * (a.ndim - 2)
        a = np.pad(a, widths, mode="edge")
    h, w = a.shape[:2]
    fy = np.fft.fftfreq(h)[:, None]
    fx = np.fft.rfftfreq(w)[None, :]
    kernel = np.exp(-2.0 * (np.pi * sigma) ** 2 * (fx * fx + fy * fy))
    if a.ndim == 3:
        kernel = kernel[..., None]
    out = np.fft.irfft2(np.fft.rfft2(a, axes=(0, 1)) * kernel, s=(h, w), axes=(0, 1))
    out = out.astype(np.float32)
    if pad:
        out = out[pad:-pad, pad:-pad]
    return out
