"""AVI files checked with ffprobe and ffmpeg, which nobody here wrote, and with a reader
of our own written from the format's documentation (avi_layout.py).

usage: avi_oracle.py probe AVI           prints codec, width, height, rate, frames (one per line)
       avi_oracle.py layout AVI          checks every chunk and index of the file (see avi_layout.py),
                                         prints its header fields and frames, then what probe prints
       avi_oracle.py decode AVI OUT      writes every frame as RGB rows to OUT, one after another
       avi_oracle.py dumps AVI DIR MODE  frame k (from 1) against DIR/main-k.ppm (Pillow reads it);
                                         MODE exact or psnr:MIN; exact also seeks to the last
                                         frame through the index and compares its PNG
"""
import math
import subprocess
import sys

from PIL import Image

import avi_layout


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                          "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of", "default=nw=1",
                          path], check=True, capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.split())


def decode(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          check=True, capture_output=True).stdout


def main():
    cmd, path = sys.argv[1:3]
    if cmd == "layout":
        with open(path, "rb") as f:
            try:
                print("\n".join(avi_layout.layout(f.read())))
            except avi_layout.Bad as e:
                print(f"{path}: {e}")
                return 1
    if cmd in ("probe", "layout"):
        p = probe(path)
        for key in ("codec_name", "width", "height", "r_frame_rate", "nb_read_frames"):
            print(f"{key}={p[key]}")
        return 0
    if cmd == "decode":
        with open(sys.argv[3], "wb") as f:
            f.write(decode(path))
        return 0
    directory, mode = sys.argv[3:5]
    p = probe(path)
    size = int(p["width"]) * int(p["height"]) * 3
    data = decode(path)
    frames = len(data) // size
    if frames != int(p["nb_read_frames"]) or frames == 0:
        print(f"{frames} frames decoded, {p['nb_read_frames']} counted")
        return 1
    for k in range(frames):
        ours = data[k * size:(k + 1) * size]
        theirs = Image.open(f"{directory}/main-{k + 1}.ppm").convert("RGB").tobytes()
        if mode == "exact":
            if ours != theirs:
                print(f"frame {k + 1} differs from the device's picture")
                return 1
            continue
        se = sum((a - b) * (a - b) for a, b in zip(ours, theirs))
        psnr = float("inf") if se == 0 else 10 * math.log10(255 * 255 * size / se)
        if psnr < float(mode.split(":")[1]):
            print(f"frame {k + 1}: PSNR {psnr:.1f} dB")
            return 1
    return last_frame(path, directory, frames, p["r_frame_rate"]) if mode == "exact" else 0


def last_frame(path, directory, frames, rate):
    """Seeks straight to the last frame, which takes the file's index (an OpenDML file's
    super index past its first part), and compares it as a PNG with the device's."""
    num, den = rate.split("/")
    at = f"{(frames - 1) * int(den) / int(num):.4f}"
    pts = subprocess.run(["ffprobe", "-v", "error", "-read_intervals", f"{at}%+#1", "-show_entries", "packet=pts",
                          "-of", "csv=p=0", path], check=True, capture_output=True, text=True).stdout.split()
    if not pts or int(pts[0]) != frames - 1:
        print(f"seeking to {at} s reads frame {pts[:1]}, not {frames - 1}")
        return 1
    png = f"{directory}/last.png"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-noaccurate_seek", "-ss", at, "-i", path, "-frames:v", "1", png],
                   check=True)
    if Image.open(png).convert("RGB").tobytes() != Image.open(f"{directory}/main-{frames}.ppm").convert("RGB").tobytes():
        print("the last frame differs from the device's picture")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
