#!/usr/bin/env python3
"""Fails when the shipped tool imports a function that the injector's conventions table has no row for.

    CheckConventions.py <Conventions.inc> <remediation.exe> <stamp file>

Every function of the import table and of the delay-load table must have a row; the stamp is written only
when all have one, so that the sweep's build stops at a new import until its failure value is written down.
"""
import re
import sys

import pefile

ROW = re.compile(r"^QUELVO_(?:IMPORT|ALLOCATION|DATA)\(\s*(\w+)\s*,\s*(\w+)")


def rows(table):
    with open(table, encoding="utf-8") as lines:
        return {match.group(2) for match in map(ROW.match, lines) if match}


def imports(executable):
    image = pefile.PE(executable, fast_load=True)
    image.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                                              pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    found = set()
    for entries in (getattr(image, "DIRECTORY_ENTRY_IMPORT", []), getattr(image, "DIRECTORY_ENTRY_DELAY_IMPORT", [])):
        for library in entries:
            for function in library.imports:
                if function.name:
                    found.add((library.dll.decode().lower(), function.name.decode()))
    return found


def main():
    table, executable, stamp = sys.argv[1:4]
    known = rows(table)
    missing = sorted(f"{library}!{name}" for library, name in imports(executable) if name not in known)
    if missing:
        print(f"{executable} imports {len(missing)} function(s) without a row in {table}: " + ", ".join(missing),
              file=sys.stderr)
        return 1
    with open(stamp, "w", encoding="utf-8") as out:
        out.write("every import has a row\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
