#!/usr/bin/env python3
"""Writes the hostile scene documents of the load-cost measurements into a folder.

Each document is a scene text packed by `ixoral-cli archive add`, so the archive is the
program's own. Usage: hostile_documents.py IXORAL_CLI FOLDER [NAME...]
"""
import os
import subprocess
import sys

END = b"\xa4\r\n"
HEAD = b"IXORAL EXPORT" + END


def solid(name, shape, tail, pos="0;0;0", modif="No Modif", texture="No Texture"):
    return (f"SolidObject;{name};FFFFFFFF;{shape};{pos};0;0;1;1;1;1;0;1;0;{modif};No Bruit;No Torsion;"
            f"-1;0;{texture};1,5;{tail}").encode("cp1252")


def scene(records):
    out = HEAD + str(len(records)).encode() + END
    for r in records:
        out += r + b"\r\n" + END
    return out


def spheres():
    return scene([solid(f"s{k}", 6, "0,5;100;100;") for k in range(2000)])


def texts(count=2000):
    text = "W" * 49
    return scene([solid("t", 13, f"{text};Arial;100;1;1000;1;0,2;0;100;") for _ in range(count)])


def nested_curves():
    eq = "cos(" * 20 + "t" + ")" * 20
    return scene([solid(f"c{k}", 14, f"0,1;0,001;10;0;10;{eq};{eq};{eq};") for k in range(5000)])


def names(count):
    return scene([solid("a", 0, "0,5;") for _ in range(count)])


def hand_edits():
    n = 300000
    entries = "".join(f"0;{k % 60000};0;0;0;0;0;" for k in range(n))
    return scene([solid("h", 6, "0,5;100;100;", modif=f"Modified;{n};{entries[:-1]}")])


def semicolons():
    return HEAD + b"1" + END + b";" * 50_000_000 + b"\r\n" + END


def junk_fields():
    return scene([solid("j", 0, "0,5;") + b"0;" * 25_000_000])


def infinite():
    return scene([solid("big", 0, "0,5;", pos="1e39;0;0")])


DOCS = {
    "spheres": spheres, "texts": texts, "text1": lambda: texts(1), "curves": nested_curves,
    "names6000": lambda: names(6000), "names20000": lambda: names(20000), "handedits": hand_edits,
    "semicolons": semicolons, "junkfields": junk_fields, "infinite": infinite,
}


def main_one(cli, folder, name):
    """Writes the document `name` as FOLDER/name.ixr."""
    text = os.path.join(folder, name + ".ixr.tmp")
    with open(text, "wb") as f:
        f.write(DOCS[name]())
    doc = os.path.join(folder, name + ".ixr")
    if os.path.exists(doc):
        os.remove(doc)
    subprocess.run([cli, "archive", "add", doc, text], check=True)
    os.remove(text)


def main():
    cli, folder = sys.argv[1], sys.argv[2]
    wanted = sys.argv[3:] or list(DOCS)
    os.makedirs(folder, exist_ok=True)
    for name in wanted:
        main_one(cli, folder, name)


if __name__ == "__main__":
    main()
