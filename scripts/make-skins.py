#!/usr/bin/python3
"""Draws the skins shipped with Sorvane and writes their SKINS.INI.

Run with a Python that has Pillow (Debian's /usr/bin/python3 with python3-pil):
    /usr/bin/python3 scripts/make-skins.py [OUTDIR]     (default: src/app/skins)

Two cases of a generic handheld with a 240 x 320 screen in portrait, 300 x 480 pixels:
  pocketpc.png          a dark case: four application buttons (keys 0xC1..0xC4) and a
                        direction pad (arrow keys, OK = Enter) below the screen
  flip.png, flip-outer.png
                        a light case whose second image is the closed lid with the
                        device's second display (120 x 160) in a small window; the
                        buttons sit at the same places on both, so one hotspot table
                        serves both. The outer image is written with a palette (8 bits
                        per pixel), as older skins often are.
The drawing is ours (shapes only, no text, no fonts); the output is deterministic.
"""

import os
import sys

from PIL import Image, ImageDraw

W, H = 300, 480          # the case
SS = 4                   # drawn at 4x, then reduced, for smooth edges
SCREEN = (30, 56, 240, 320)     # x, y, width, height of the device picture
OUTER = (90, 110, 120, 160)     # the second display in the closed lid

# Buttons: (name, key, tooltip, x, y, cx, cy) in case pixels.
PAD_X, PAD_Y, PAD_R = 150, 432, 34
APP_Y, APP_R = 432, 15
BUTTONS = [
    ("app1", 0xC1, "Calendar", 42, APP_Y),
    ("app2", 0xC2, "Contacts", 86, APP_Y),
    ("app3", 0xC3, "Messages", 214, APP_Y),
    ("app4", 0xC4, "Home", 258, APP_Y),
]
HOTSPOTS = [(key, tip, x - 16, y - 16, 32, 32) for _, key, tip, x, y in BUTTONS] + [
    (0x26, "Up", PAD_X - 17, PAD_Y - 34, 34, 20),
    (0x28, "Down", PAD_X - 17, PAD_Y + 15, 34, 20),
    (0x25, "Left", PAD_X - 34, PAD_Y - 17, 20, 34),
    (0x27, "Right", PAD_X + 14, PAD_Y - 17, 20, 34),
    (0x0D, "OK", PAD_X - 13, PAD_Y - 13, 26, 26),
]


def s(v):
    return int(round(v * SS))


def box(x, y, w, h):
    return [s(x), s(y), s(x + w) - 1, s(y + h) - 1]


def gradient(top, bottom):
    g = Image.new("RGB", (s(W), s(H)))
    d = ImageDraw.Draw(g)
    for yy in range(s(H)):
        t = yy / (s(H) - 1)
        d.line([(0, yy), (s(W), yy)], fill=tuple(int(a + (b - a) * t) for a, b in zip(top, bottom)))
    return g


def case(top, bottom, edge, window, buttons_colour, glyph):
    img = Image.new("RGB", (s(W), s(H)), (0, 0, 0))
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(box(1, 1, W - 2, H - 2), radius=s(34), fill=255)
    img.paste(gradient(top, bottom), (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(box(1, 1, W - 2, H - 2), radius=s(34), outline=edge, width=s(2))
    # speaker slots and the notification light
    for i in range(5):
        d.rounded_rectangle(box(126 + i * 10, 20, 5, 12), radius=s(2), fill=tuple(c // 3 for c in top))
    d.ellipse(box(36, 21, 9, 9), fill=(40, 200, 90), outline=(10, 60, 20), width=s(1))
    draw_buttons(d, buttons_colour, glyph, edge)
    return img, d


def draw_buttons(d, colour, glyph, edge):
    shade = tuple(max(0, c - 45) for c in colour)
    for _, _, _, x, y in BUTTONS:
        d.ellipse(box(x - APP_R, y - APP_R, 2 * APP_R, 2 * APP_R), fill=colour, outline=shade, width=s(2))
    # application button marks: a calendar page, a person, an envelope, a house
    (x1, _, _, _), (x2, _, _, _), (x3, _, _, _), (x4, _, _, _) = [(b[3], 0, 0, 0) for b in BUTTONS]
    y = APP_Y
    d.rectangle(box(x1 - 7, y - 6, 14, 13), outline=glyph, width=s(2))
    d.line([s(x1 - 7), s(y - 2), s(x1 + 7), s(y - 2)], fill=glyph, width=s(2))
    d.ellipse(box(x2 - 4, y - 8, 8, 8), outline=glyph, width=s(2))
    d.pieslice(box(x2 - 8, y + 1, 16, 14), 180, 360, outline=glyph, width=s(2))
    d.rectangle(box(x3 - 8, y - 5, 16, 11), outline=glyph, width=s(2))
    d.line([s(x3 - 8), s(y - 5), s(x3), s(y + 1), s(x3 + 8), s(y - 5)], fill=glyph, width=s(2))
    d.polygon([s(x4 - 8), s(y - 1), s(x4), s(y - 8), s(x4 + 8), s(y - 1)], outline=glyph, width=s(2))
    d.rectangle(box(x4 - 6, y - 1, 12, 8), outline=glyph, width=s(2))
    # direction pad with its four arrows and the OK button
    d.ellipse(box(PAD_X - PAD_R, PAD_Y - PAD_R, 2 * PAD_R, 2 * PAD_R), fill=colour, outline=shade, width=s(2))
    d.ellipse(box(PAD_X - 12, PAD_Y - 12, 24, 24), fill=shade, outline=edge, width=s(1))
    a = 6
    for dx, dy in ((0, -1), (0, 1), (-1, 0), (1, 0)):
        cx, cy = PAD_X + dx * 24, PAD_Y + dy * 24
        if dx == 0:
            pts = [(cx - a, cy - dy * a / 2), (cx + a, cy - dy * a / 2), (cx, cy + dy * a / 2)]
        else:
            pts = [(cx - dx * a / 2, cy - a), (cx - dx * a / 2, cy + a), (cx + dx * a / 2, cy)]
        d.polygon([(s(px), s(py)) for px, py in pts], fill=glyph)


def screen_window(d, x, y, w, h, bezel):
    d.rounded_rectangle(box(x - 9, y - 9, w + 18, h + 18), radius=s(8), fill=bezel)
    d.rectangle(box(x - 1, y - 1, w + 2, h + 2), fill=(0, 0, 0))


def finish(img):
    return img.resize((W, H), Image.LANCZOS)


def clear_screen(img, x, y, w, h):
    # the picture covers this area; keep it plain black so no drawing shows under it
    ImageDraw.Draw(img).rectangle([x, y, x + w - 1, y + h - 1], fill=(0, 0, 0))
    return img


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src", "app", "skins")
    os.makedirs(out, exist_ok=True)

    dark, d = case((70, 78, 92), (34, 38, 46), (120, 130, 150), None, (92, 100, 116), (225, 230, 240))
    screen_window(d, *SCREEN, (18, 20, 24))
    clear_screen(finish(dark), *SCREEN).save(os.path.join(out, "pocketpc.png"), optimize=True)

    light, d = case((214, 218, 224), (160, 166, 176), (110, 116, 128), None, (236, 238, 242), (60, 66, 80))
    screen_window(d, *SCREEN, (44, 48, 56))
    d.line([s(20), s(392), s(W - 20), s(392)], fill=(120, 126, 138), width=s(2))  # the hinge
    clear_screen(finish(light), *SCREEN).save(os.path.join(out, "flip.png"), optimize=True)

    lid, d = case((150, 40, 52), (90, 20, 30), (200, 120, 130), None, (236, 238, 242), (60, 66, 80))
    d.line([s(20), s(392), s(W - 20), s(392)], fill=(60, 10, 18), width=s(2))
    screen_window(d, *OUTER, (30, 10, 14))
    for i in range(3):  # a ridge pattern on the lid
        d.arc(box(60 - i * 8, 300 - i * 8, 180 + i * 16, 70 + i * 16), 200, 340, fill=(120, 30, 42), width=s(2))
    outer = clear_screen(finish(lid), *OUTER).quantize(colors=256, method=Image.MEDIANCUT, dither=Image.NONE)
    outer.save(os.path.join(out, "flip-outer.png"), optimize=True)

    lines = ["; Skins of the device window: the case around the screen and its buttons.",
             "; Written by scripts/make-skins.py; keys are virtual key codes in decimal.",
             "[SKINS]", "skin0=Pocket PC (generic)", "skin1=Pocket PC with outer display", ""]
    for k, (image, alt) in enumerate((("pocketpc.png", None), ("flip.png", "flip-outer.png"))):
        lines += [f"[skin{k}]", f"Image={image}", f"XOffset={SCREEN[0]}", f"YOffset={SCREEN[1]}"]
        if alt:
            lines += [f"AltImage={alt}", f"AltXOffset={OUTER[0]}", f"AltYOffset={OUTER[1]}"]
        lines += ["", f"[hotspots{k}]"]
        for i, (key, tip, x, y, cx, cy) in enumerate(HOTSPOTS):
            lines += [f"X{i}={x}", f"Y{i}={y}", f"CX{i}={cx}", f"CY{i}={cy}", f"TIP{i}={tip}", f"KEY{i}={key}"]
        lines.append("")
    with open(os.path.join(out, "SKINS.INI"), "w", newline="\r\n") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
