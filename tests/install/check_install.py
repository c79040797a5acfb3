#!/usr/bin/python3
"""check_install.py BUILD SOURCE: installs BUILD into a temporary prefix and checks
what lands there, then packages it with cpack and reads the package."""

import os, re, subprocess, sys, tempfile
from PIL import Image

build, source = sys.argv[1], sys.argv[2]
faults = []


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def expect(ok, what):
    if not ok:
        faults.append(what)


def options_of(text):
    return set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", text))


prefix = tempfile.mkdtemp(prefix="sorvane-install-")
r = run("cmake", "--install", build, "--prefix", prefix)
if r.returncode != 0:
    sys.exit("cmake --install failed:\n" + r.stderr)
share = os.path.join(prefix, "share")

# Menu entry and AppStream metadata, judged by their own validators (hints and
# pedantic notes are no faults; warnings are).
r = run("desktop-file-validate", os.path.join(share, "applications/sorvane.desktop"))
expect(r.returncode == 0 and not re.search(r": (error|warning):", r.stdout + r.stderr), "desktop-file-validate: " + r.stdout + r.stderr)
metainfo = os.path.join(share, "metainfo/org.sorvane.Sorvane.metainfo.xml")
r = run("appstreamcli", "validate", "--no-net", metainfo)
expect(r.returncode == 0, "appstreamcli: " + r.stdout + r.stderr)

# The icon: the SVG and a PNG of its own size at every hicolor size.
expect(os.path.isfile(os.path.join(share, "icons/hicolor/scalable/apps/sorvane.svg")), "no SVG icon")
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    png = os.path.join(share, f"icons/hicolor/{size}x{size}/apps/sorvane.png")
    expect(os.path.isfile(png) and Image.open(png).size == (size, size), f"no {size}x{size} icon")
for f in ("sorvane/help/index.html", "sorvane/SKINS.INI", "doc/sorvane/LICENSE"):
    expect(os.path.isfile(os.path.join(share, f)), "not installed: " + f)

# Each program: --version agrees with the release; --help fits 80 columns and every
# option it names is in the manual page, which renders without a warning.
release = re.search(r'<release version="([^"]+)" date="([^"]+)"', open(metainfo).read())
helps, pages = {}, {}
for program in ("sorvane", "sorvane-cli", "sorvane-sim"):
    exe = os.path.join(prefix, "bin", program)
    r = run(exe, "--version")
    expect(r.returncode == 0 and r.stdout == f"{program} {release[1]} (built {release[2]})\n",
           f"{program} --version: {r.stdout!r} {r.stderr}")
    r = run(exe, "--help", env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    helps[program] = r.stdout
    expect(r.returncode == 0 and "--help" in r.stdout, f"{program} --help: {r.stderr}")
    for line in r.stdout.splitlines():
        expect(len(line) <= 80, f"{program} --help: a line of {len(line)} columns: {line}")
    page = os.path.join(share, f"man/man1/{program}.1.gz")
    r = run("man", "--warnings", "-l", page, env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
    expect(r.returncode == 0 and r.stderr == "", f"man {program}: {r.stderr}")
    pages[program] = text = re.sub("\u2010\n *", "", r.stdout)
    for option in options_of(helps[program]) - options_of(text):
        faults.append(f"{program}(1) lacks {option}")
commands = re.findall(r"^  ([a-z]+)\b", helps["sorvane-cli"].split("\ncommands:\n")[1], re.M)
expect(len(commands) >= 20, "sorvane-cli --help lists no commands")
for c in commands:
    expect(re.search(rf"^       {c}\b", pages["sorvane-cli"], re.M), f"sorvane-cli(1) lacks the command {c}")

# Completion: bash offers exactly the commands, every option, and files where a
# command or option takes one.
completion = os.path.join(share, "bash-completion/completions/sorvane-cli")
work = tempfile.mkdtemp()
open(os.path.join(work, "script.txt"), "w").close()


def complete(*words):
    line = " ".join(f"'{w}'" for w in words)
    r = run("bash", "-c", f'source "$0"; COMP_WORDS=({line}); COMP_CWORD={len(words) - 1}; _sorvane_cli; '
            'printf "%s\\n" "${COMPREPLY[@]}"', completion, cwd=work)
    return set(r.stdout.split())


expect(complete("sorvane-cli", "") == set(commands), "completion of commands: " + str(complete("sorvane-cli", "")))
offered = set().union(*(complete("sorvane-cli", "--host", "h", c, "--") for c in commands))
expect(options_of(helps["sorvane-cli"]) <= offered, f"not completed: {options_of(helps['sorvane-cli']) - offered}")
expect(complete("sorvane-cli", "test", "--junit", "out", "--art") == {"--artifacts"}, "completion of test's options")
for words in (("put", "s"), ("--devices", "s"), ("play", "s"), ("get", "\\x", "s")):
    expect(complete("sorvane-cli", *words) == {"script.txt"}, f"no file completed after {words}")
expect(complete("sorvane-cli", "--host", "s") == set(), "a host completed as a file")

# The Debian package, built from this tree.
out = tempfile.mkdtemp()
r = run("cpack", "-G", "DEB", "-B", out, cwd=build)
debs = [f for f in os.listdir(out) if f.endswith(".deb")]
if r.returncode != 0 or len(debs) != 1:
    sys.exit("cpack failed:\n" + r.stdout + r.stderr)
deb = os.path.join(out, debs[0])
field = lambda name: run("dpkg-deb", "-f", deb, name).stdout.strip()
depends = [d.split()[0] for d in field("Depends").split(", ")]
for needed in ("libqt6widgets6", "libqt6core6", "zlib1g", "libstdc++6", "qt6-qpa-plugins"):
    expect(needed in depends, f"Depends lacks {needed}: {depends}")
expect(not [d for d in depends if d.endswith("-dev")], f"Depends names -dev packages: {depends}")
expect(field("Maintainer").startswith("Sorvane developers <"), "Maintainer: " + field("Maintainer"))
expect(field("Version") == release[1] and field("Section") and field("Description"), "Version, Section, Description")
files = run("dpkg-deb", "-c", deb).stdout
for f in ("usr/bin/sorvane", "usr/bin/sorvane-cli", "usr/bin/sorvane-sim", "usr/share/applications/sorvane.desktop",
          "usr/share/man/man1/sorvane-cli.1.gz", "usr/share/metainfo/org.sorvane.Sorvane.metainfo.xml"):
    expect(f" ./{f}\n" in files, "not in the package: " + f)
expect(not re.search(r" \./(?!usr/)\S", files), "files outside /usr in the package")

for f in faults:
    print("FAULT:", f)
sys.exit(1 if faults else 0)
