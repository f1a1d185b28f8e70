"""Checks what the shipped remediation.exe is as a file.

A 64-bit GUI-subsystem Windows program that needs no MinGW runtime DLL and imports from no other DLL
than those it calls at load time; with the exploit mitigations of a Windows release (ASLR with high
entropy and its relocations, DEP, no section both writable and executable, stack cookies and checked
copies linked in);
stripped (no symbols, no debug section) with a link to the file that holds them; reproducible (no time
stamp); with its application manifest (the four supported systems, nothing else) and its version
resource; and within its size budget.

  python3 CheckExecutable.py --nm NM --version 1.0.0.0 --company ... --product ... --copyright ...
                             --budget BYTES EXECUTABLE
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import zlib

import pefile

MACHINE_AMD64 = 0x8664
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
MEM_EXECUTE = 0x20000000
MEM_WRITE = 0x80000000
RT_VERSION = 16
RT_MANIFEST = 24
SUPPORTED_SYSTEMS = (
    "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  # Windows 7
    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  # Windows 8
    "1f676c76-80e1-4239-95bb-83d0f6d0da78",  # Windows 8.1
    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",  # Windows 10 and 11
)
# Load-time imports: the tool's own calls and the C runtime's. shell32 and version are delay-loaded.
IMPORTS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"}


def section_names(pe, data):
    """The sections' names, the long ones ("/4") looked up in the COFF string table."""
    header = pe.FILE_HEADER
    strings = header.PointerToSymbolTable + 18 * header.NumberOfSymbols
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and header.PointerToSymbolTable:
            offset = strings + int(name[1:])
            name = data[offset : data.index(b"\0", offset)].decode("ascii", "replace")
        names.append((name, section))
    return names


def resource(pe, kind, ident):
    """The data of the resource of that type and id (its first language), or None."""
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        for name in entry.directory.entries if entry.id == kind else []:
            if name.id == ident:
                data = name.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def version_strings(pe):
    strings = {}
    for info in pe.FileInfo[0] if hasattr(pe, "FileInfo") else []:
        for table in info.StringTable if info.Key == b"StringFileInfo" else []:
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def check(args):
    failures = []
    expect = lambda condition, what: condition or failures.append(what)

    data = open(args.executable, "rb").read()
    pe = pefile.PE(data=data)
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER

    # What it is.
    expect(header.Machine == MACHINE_AMD64, "not an x86-64 program")
    expect(optional.Magic == 0x20B, "not PE32+")
    expect(optional.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"], "not the Windows GUI subsystem")

    # Mitigations.
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE"), (HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA"), (NX_COMPAT, "NX_COMPAT")):
        expect(optional.DllCharacteristics & flag, f"DllCharacteristics lacks {name}")
    relocations = optional.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    expect(relocations.Size > 0 and not header.Characteristics & RELOCS_STRIPPED, "no base relocations")
    names = section_names(pe, data)
    for name, section in names:
        both = section.Characteristics & MEM_WRITE and section.Characteristics & MEM_EXECUTE
        expect(not both, f"section {name} is both writable and executable")

    # Stripped, reproducible, and linked to its symbols.
    expect(header.NumberOfSymbols == 0, f"a symbol table of {header.NumberOfSymbols} symbols")
    for name, _ in names:
        expect(not re.match(r"\.z?debug", name), f"debug section {name}")
    debug_directory = optional.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]]
    if args.build_id:
        # lld 16 writes a CodeView record of the image's build id whenever it keeps debug information,
        # and has no switch to leave it out. Its id is a hash of the image: nothing else may be there.
        entries = getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])
        expect(len(entries) == 1, f"{len(entries)} debug directory entries, not only the build id")
        for entry in entries:
            expect(entry.struct.Type == pefile.DEBUG_TYPE["IMAGE_DEBUG_TYPE_CODEVIEW"] and
                   entry.struct.TimeDateStamp == 0, "a debug directory entry other than a build id")
    else:
        expect(debug_directory.Size == 0, "a debug directory")
    expect(header.TimeDateStamp == 0, f"time stamp {header.TimeDateStamp:#x} in the header")
    debug_file = args.executable + ".debug"
    links = [section for name, section in names if name == ".gnu_debuglink"]
    if not links:
        failures.append("no link to the debug file (.gnu_debuglink)")
    elif not os.path.exists(debug_file):
        failures.append(f"no debug file {os.path.basename(debug_file)} beside it")
    else:
        link = links[0].get_data()
        linked = link[: link.index(b"\0")].decode()
        crc = struct.unpack_from("<I", link, (len(linked) + 4) & ~3)[0]
        expect(linked == os.path.basename(debug_file), f"links to {linked}")
        expect(crc == zlib.crc32(open(debug_file, "rb").read()), "the debug file beside it is not its own")

    # Stack cookies and checked copies: the guard, the failure handler and the checked memcpy come in
    # from the static libssp only when compiled code refers to them.
    with_symbols = debug_file if os.path.exists(debug_file) else args.executable
    symbols = subprocess.run([args.nm, with_symbols], capture_output=True, text=True, check=True).stdout
    for symbol, what in (("__stack_chk_guard", "stack protector"), ("__stack_chk_fail", "stack protector"),
                         ("__memcpy_chk", "_FORTIFY_SOURCE")):
        expect(re.search(rf" [TDBR] {symbol}$", symbols, re.M), f"no {what} ({symbol})")

    # Imports.
    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expect(imports == IMPORTS, f"imports from {sorted(imports)}, not {sorted(IMPORTS)}")
    # The stack guard is seeded without a CryptoAPI provider, which would load rsaenh.dll and with it
    # user32, gdi32 and more into every run (as libssp's set-up does).
    functions = {imported.name.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                 for imported in entry.imports if imported.name}
    crypto = sorted(name for name in functions if name.startswith("Crypt"))
    expect(not crypto, f"imports CryptoAPI functions {crypto}")

    # Manifest: the four supported systems and nothing else.
    manifest = resource(pe, RT_MANIFEST, 1)
    if manifest is None:
        failures.append("no manifest resource with id 1")
    else:
        manifest = manifest.decode("utf-8")
        systems = re.findall(r'supportedOS Id="\{([^}]+)\}"', manifest)
        expect(sorted(systems) == sorted(SUPPORTED_SYSTEMS), f"the manifest declares {systems}")
        expect(not re.search("requestedExecutionLevel|dpiAware|longPathAware", manifest),
               "the manifest requests more than the supported systems")

    # Version resource: the numbers and the texts.
    if resource(pe, RT_VERSION, 1) is None or not getattr(pe, "VS_FIXEDFILEINFO", None):
        failures.append("no version resource")
    else:
        fixed = pe.VS_FIXEDFILEINFO[0]
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
                   fixed.FileVersionLS & 0xFFFF)
        product = (fixed.ProductVersionMS, fixed.ProductVersionLS)
        expect(".".join(map(str, numbers)) == args.version, f"file version {numbers}, not {args.version}")
        expect(product == (fixed.FileVersionMS, fixed.FileVersionLS), "product version differs from file version")
        wanted = {"FileDescription": "remediation.exe", "OriginalFilename": "remediation.exe",
                  "InternalName": "remediation.exe", "FileVersion": args.version, "ProductVersion": args.version,
                  "CompanyName": args.company, "ProductName": args.product, "LegalCopyright": args.copyright}
        strings = version_strings(pe)
        for key, value in wanted.items():
            expect(strings.get(key) == value, f"version text {key} is {strings.get(key)!r}, not {value!r}")

    expect(len(data) <= args.budget, f"{len(data)} bytes, over the budget of {args.budget}")
    return failures, len(data)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--nm", "--version", "--company", "--product", "--copyright"):
        parser.add_argument(option, required=True)
    parser.add_argument("--budget", type=int, required=True)
    parser.add_argument("--build-id", action="store_true", help="allow the build id that lld writes")
    parser.add_argument("executable")
    args = parser.parse_args()
    failures, size = check(args)
    name = os.path.basename(args.executable)
    if failures:
        print(f"{name}:\n  " + "\n  ".join(failures))
        return 1
    print(f"{name}: x86-64 PE32+ GUI program of {size} bytes (budget {args.budget}); ASLR with high entropy, "
          "DEP, no writable code, stack protector; no symbols, no debug section, no time stamp, debug file "
          f"linked; imports {sorted(IMPORTS)}; manifest with 4 supported systems; version {args.version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
