#!/usr/bin/env python3
"""Runs the hostile documents through the batch tool and the modeller and prints a Markdown table.

Each document (hostile_documents.py's, the longest 3D text, and two texture bombs) goes through
`ixoral-cli info`, `ixoral-cli render` (320 x 240), `ixoral-cli export` (glTF) and the modeller's
`--screenshot` on Qt's offscreen platform. Every run must end refused ("Document trop volumineux")
or done within the budget: 2 s of wall time and 500 MB of peak resident memory, both measured by
/usr/bin/time. A cell reads "ok", "refusé" (too large) or "illisible" (the program's message for a
document it cannot read), the seconds (wall, then processor time in brackets) and the megabytes;
"!" marks a run past the budget, "échec" one that crashed or ran out of time.

Usage: hostile_table.py BUILD_FOLDER WORK_FOLDER [NAME...]
"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile_documents as hd  # noqa: E402

SECONDS, MEGABYTES = 2.0, 500
REFUSED = "Document trop volumineux"
UNREADABLE = "Erreur lors de l'acces au fichier"


def rle_tga(side):
    """A Targa picture of side x side grey pixels, run-length compressed: 4 bytes per 128 pixels."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, side, side, 24, 0x20)
    packets, rest = divmod(side * side, 128)
    body = bytes([0xFF, 0x80, 0x80, 0x80]) * packets
    if rest:
        body += bytes([0x80 | (rest - 1), 0x80, 0x80, 0x80])
    return header + body


def textured(count):
    """A scene text of `count` cubes side by side, each textured with its own picture t<k>.tga."""
    return hd.scene([hd.solid(f"c{k}", 0, "0,5;", pos=f"{k};0;0", texture=f"Texturer;t{k}.tga") for k in range(count)])


def longest_text():
    """One 3D text of the longest text a record keeps (255 characters) at precision 100."""
    return hd.scene([hd.solid("t", 13, f"{'W' * 255};Arial;100;1;1000;1;0,2;0;100;")])


# name: (scene text, texture count, texture side)
EXTRA = {
    "text255": (longest_text, 0, 0),
    "textures4x8192": (lambda: textured(4), 4, 8192),
    "textures300x2048": (lambda: textured(300), 300, 2048),
}


def build(cli, folder, name):
    doc = os.path.join(folder, name + ".ixr")
    if name in hd.DOCS:
        hd.main_one(cli, folder, name)
        return doc
    make, count, side = EXTRA[name]
    work = tempfile.mkdtemp(dir=folder)
    files = [os.path.join(work, name + ".txt")]
    with open(files[0], "wb") as f:
        f.write(make())
    picture = rle_tga(side) if count else b""
    for k in range(count):
        files.append(os.path.join(work, f"t{k}.tga"))
        with open(files[-1], "wb") as f:
            f.write(picture)
    if os.path.exists(doc):
        os.remove(doc)
    subprocess.run([cli, "archive", "add", doc] + files, check=True)
    for f in files:
        os.remove(f)
    os.rmdir(work)
    return doc


def measure(command, env):
    """(status, wall seconds, processor seconds, megabytes, standard error) of one run."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as times:
        try:
            run = subprocess.run(["/usr/bin/time", "-q", "-o", times.name, "-f", "%e %U %S %M"] + command, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
        except subprocess.TimeoutExpired:
            return -1, 120.0, 120.0, 0.0, "timeout"
        # The last line of four numbers (a run ended by a signal is said on a line before).
        lines = [line.split() for line in times.read().splitlines()]
        fields = next((f for f in reversed(lines) if len(f) == 4), ["0", "0", "0", "0"])
    wall, user, system, kb = (float(v) for v in fields)
    return run.returncode, wall, user + system, kb / 1024, run.stderr.decode("utf-8", "replace")


def cell(result):
    status, wall, cpu, mb, err = result
    if status == 0:
        word = "ok"
    elif REFUSED in err:
        word = "refusé"
    elif status == 1 and UNREADABLE in err:
        word = "illisible"  # refused with the program's message for a document it cannot read
    else:
        word = "échec"
    late = "!" if word == "échec" or wall > SECONDS or mb > MEGABYTES else ""
    return f"{late}{word} {wall:.2f} s ({cpu:.2f}) {mb:.0f} MB", bool(late)


def main():
    build_dir, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    names = sys.argv[3:] or list(hd.DOCS) + list(EXTRA)
    cli = os.path.join(build_dir, "src/app/ixoral-cli")
    modeller = os.path.join(build_dir, "src/app/ixoral")
    os.makedirs(folder, exist_ok=True)
    home = tempfile.mkdtemp(dir=folder)  # the programs' per-user folders, apart from the user's
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=home + "/config",
               XDG_DATA_HOME=home + "/data", XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=home)
    os.chmod(home, 0o700)
    out = os.path.join(folder, "out")
    print("| document | size | info | render | export glTF | modeller |")
    print("|---|---|---|---|---|---|")
    faults = 0
    for name in names:
        doc = build(cli, folder, name)
        runs = [
            [cli, "info", doc],
            [cli, "render", doc, out + ".bmp", "--resolution", "0", "--force"],
            [cli, "export", doc, out + ".glb", "--force"],
            [modeller, "--screenshot", out + ".png", doc],
        ]
        cells = []
        for command in runs:
            text, fault = cell(measure(command, env))
            faults += fault
            cells.append(text)
        size = os.path.getsize(doc)
        print(f"| {name} | {size:,} B | " + " | ".join(cells) + " |", flush=True)
    print(f"\nBudget: {SECONDS:g} s and {MEGABYTES} MB per run; runs past it or failing: {faults}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
