#!/usr/bin/env python3
"""Makes a tree of FILES files with Czech names in nested folders (ten per folder level,
about 100 files per folder), each file holding its own path."""
import os
import random
import sys

WORDS = ["Příliš", "žluťoučký", "kůň", "úpěl", "ďábelské", "ódy", "Řeka", "Vltava", "večer",
         "účetní", "závěrka", "Dvořák", "čtvrtletní", "přehled", "Ústí", "Šumava", "léto",
         "fotka", "dovolená", "mapa", "okolí", "Českých", "Budějovic", "zpráva", "schůze"]
EXTENSIONS = [".jpg", ".txt", ".pdf", ".mp3", ".docx", ".png"]


def main():
    root, count = sys.argv[1], int(sys.argv[2])
    rng = random.Random(1)
    made = 0
    folder_index = 0
    while made < count:
        parts = [f"{rng.choice(WORDS)} {folder_index // 100 % 10}",
                 f"{rng.choice(WORDS)} {folder_index // 10 % 10}",
                 f"{rng.choice(WORDS)} {folder_index % 10}"]
        folder = os.path.join(root, *parts)
        os.makedirs(folder, exist_ok=True)
        for i in range(min(100, count - made)):
            name = f"{rng.choice(WORDS)} {rng.choice(WORDS)} {made}{rng.choice(EXTENSIONS)}"
            with open(os.path.join(folder, name), "w") as f:
                f.write(name)
            made += 1
        folder_index += 1


if __name__ == "__main__":
    main()
