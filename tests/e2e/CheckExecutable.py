"""Checks what the shipped remediation.exe is as a file.

A 64-bit GUI-subsystem Windows program that needs no MinGW runtime DLL and imports from no other DLL
than those it calls at load time; with the exploit mitigations of a Windows release (ASLR with high
entropy and its relocations, DEP, no section both writable and executable, stack cookies and checked
copies linked in; from lld and MSVC's linker also Control Flow Guard, CET shadow-stack compatibility
and a security cookie that the loader seeds);
stripped (no symbols, no DWARF section); with its PDB (named without a folder, GUID and age matching)
and /Brepro's content-hash stamps from lld and MSVC's linker, a linked debug file and no stamp from GNU
ld; with its application manifest (the four supported systems, nothing else) and its version resource;
and within its size budget.

  python3 CheckExecutable.py --linker ld|lld|link [--nm NM] --version 1.0.0.0 --company ... --product ...
                             --copyright ... --budget BYTES EXECUTABLE
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import zlib

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from debug_identity import MsfFile, pdb_identity, program_pdb_reference  # noqa: E402

MACHINE_AMD64 = 0x8664
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
MEM_EXECUTE = 0x20000000
MEM_WRITE = 0x80000000
GUARD_CF = 0x4000
GUARD_CF_INSTRUMENTED, GUARD_CF_FUNCTION_TABLE_PRESENT, GUARD_CF_LONGJUMP_TABLE_PRESENT = 0x100, 0x400, 0x10000
CET_COMPAT = 0x01
DEFAULT_SECURITY_COOKIE = 0x00002B992DDFA232
DEBUG_CODEVIEW, DEBUG_VC_FEATURE, DEBUG_POGO, DEBUG_REPRO, DEBUG_EX_DLLCHARACTERISTICS = 2, 12, 13, 16, 20
RT_VERSION = 16
RT_MANIFEST = 24
SUPPORTED_SYSTEMS = (
    "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  # Windows 7
    "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  # Windows 8
    "1f676c76-80e1-4239-95bb-83d0f6d0da78",  # Windows 8.1
    "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",  # Windows 10 and 11
)
# Load-time imports: the tool's own calls and the C runtime's (MSVC's is linked in). shell32 and version
# are delay-loaded.
IMPORTS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"}
MSVC_IMPORTS = {"advapi32.dll", "kernel32.dll"}


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
        # A long name left as "/<offset>" has lost its string table: strip's mark of DWARF left behind.
        expect(not re.match(r"\.z?debug|/", name), f"debug section {name}")
    # lld and MSVC's linker name the PDB in a CodeView entry and, with /Brepro, make every time stamp a
    # hash of the image, which a Repro entry announces.
    entries = {entry.struct.Type: entry for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])}
    wanted = {"ld": set(), "lld": {DEBUG_CODEVIEW, DEBUG_REPRO, DEBUG_EX_DLLCHARACTERISTICS},
              "link": {DEBUG_CODEVIEW, DEBUG_VC_FEATURE, DEBUG_POGO, DEBUG_REPRO, DEBUG_EX_DLLCHARACTERISTICS}}
    expect(set(entries) <= wanted[args.linker] and
           set(entries) >= wanted[args.linker] - {DEBUG_VC_FEATURE, DEBUG_POGO},
           f"debug directory entries of types {sorted(entries)}")
    if args.linker != "ld":
        check_load_config(pe, expect, ours=args.linker == "lld")
        cet = entries.get(DEBUG_EX_DLLCHARACTERISTICS)
        flags = struct.unpack("<I", pe.get_data(cet.struct.AddressOfRawData, 4))[0] if cet else 0
        expect(flags & CET_COMPAT, "not marked CET shadow-stack compatible")
    if args.linker != "ld":
        check_pdb(args, pe, names, expect)
    else:
        stamps = [entry.struct.TimeDateStamp for entry in entries.values()]
        expect(header.TimeDateStamp == 0 and not any(stamps),
               f"time stamps {header.TimeDateStamp:#x} in the header, {stamps} in the debug directory")
        check_debug_file(args, names, expect)

    # Imports.
    wanted = MSVC_IMPORTS if args.linker == "link" else IMPORTS
    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expect(imports == wanted, f"imports from {sorted(imports)}, not {sorted(wanted)}")
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


def section_of(pe, va):
    rva = va - pe.OPTIONAL_HEADER.ImageBase
    return next((s for s in pe.sections if s.VirtualAddress <= rva < s.VirtualAddress + s.Misc_VirtualSize), None)


def check_load_config(pe, expect, ours):
    """Control Flow Guard's fields and tables, and the security cookie. `ours`: the project's own load
    configuration (lld links), whose size is the directory's and which announces a long-jump table."""
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    expect(pe.OPTIONAL_HEADER.DllCharacteristics & GUARD_CF, "DllCharacteristics lacks GUARD_CF")
    if config is None:
        return expect(False, "no load configuration")
    config = config.struct
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    expect((config.Size == directory.Size or not ours) and config.Size >= 0xC0,
           f"load configuration of {config.Size:#x} bytes, directory {directory.Size:#x}, not through the guard fields")
    flags = GUARD_CF_INSTRUMENTED | GUARD_CF_FUNCTION_TABLE_PRESENT | (GUARD_CF_LONGJUMP_TABLE_PRESENT if ours else 0)
    expect(config.GuardFlags & flags == flags, f"GuardFlags {config.GuardFlags:#x}")
    for name in ("GuardCFCheckFunctionPointer", "GuardCFDispatchFunctionPointer"):
        section = section_of(pe, getattr(config, name))
        expect(section and not section.Characteristics & MEM_WRITE, f"{name} not in a read-only section")
    stride = 4 + (config.GuardFlags >> 28)
    table = pe.get_data(config.GuardCFFunctionTable - pe.OPTIONAL_HEADER.ImageBase,
                        config.GuardCFFunctionCount * stride) if config.GuardCFFunctionCount else b""
    functions = [struct.unpack_from("<I", table, i)[0] for i in range(0, len(table), stride)]
    expect(functions and functions == sorted(set(functions)), "the guard function table is empty or not sorted")
    cookie = section_of(pe, config.SecurityCookie)
    value = pe.get_qword_at_rva(config.SecurityCookie - pe.OPTIONAL_HEADER.ImageBase) if cookie else None
    expect(value == DEFAULT_SECURITY_COOKIE, "the security cookie does not hold the default value in the file")


def check_pdb(args, pe, names, expect):
    """The PDB beside the program, named without a folder and matching in GUID and age; the /Brepro stamp
    in the header and in every debug entry; nothing of the GNU tools' split debug file."""
    pdb = os.path.splitext(args.executable)[0] + ".pdb"
    guid, age, name = program_pdb_reference(pe) or (None, None, None)
    expect(name == os.path.basename(pdb), f"names the PDB {name!r}")
    beside = "{} age {}".format(*pdb_identity(pdb)) if os.path.exists(pdb) else "no PDB"
    expect(beside == f"{guid} age {age}", f"wants the PDB {guid} age {age}, beside it {beside}")
    if args.linker == "lld" and os.path.exists(pdb):  # the stack protector and checked memcpy among the publics
        msf = MsfFile(open(pdb, "rb").read())
        streams = b"".join(map(msf.stream, range(len(msf.streams))))
        for symbol in ("__stack_chk_guard", "__stack_chk_fail", "__memcpy_chk"):  # S_PUB32: kind, 10 bytes, name
            public = re.search(rb"\x0e\x11.{10}" + symbol.encode() + rb"\0", streams, re.S)
            expect(public, f"no public {symbol} in the PDB")
    stamps = [entry.struct.TimeDateStamp for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", [])]
    expect(pe.FILE_HEADER.TimeDateStamp and set(stamps) == {pe.FILE_HEADER.TimeDateStamp},
           f"time stamps {pe.FILE_HEADER.TimeDateStamp:#x} in the header, {stamps} in the debug directory")
    expect(not any(name == ".gnu_debuglink" for name, _ in names), "a link to a debug file (.gnu_debuglink)")
    expect(not os.path.exists(args.executable + ".debug"), "a debug file beside it")


def check_debug_file(args, names, expect):
    """The GNU builds' link to the debug file beside the program, and the symbols in it."""
    debug_file = args.executable + ".debug"
    links = [section for name, section in names if name == ".gnu_debuglink"]
    if not links:
        expect(False, "no link to the debug file (.gnu_debuglink)")
    elif not os.path.exists(debug_file):
        expect(False, f"no debug file {os.path.basename(debug_file)} beside it")
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


def main():
    parser = argparse.ArgumentParser()
    for option in ("--version", "--company", "--product", "--copyright"):
        parser.add_argument(option, required=True)
    parser.add_argument("--budget", type=int, required=True)
    parser.add_argument("--linker", choices=("ld", "lld", "link"), required=True, help="GNU ld, lld or MSVC's")
    parser.add_argument("--nm", help="the nm that reads the debug file (GNU builds)")
    parser.add_argument("executable")
    args = parser.parse_args()
    failures, size = check(args)
    name = os.path.basename(args.executable)
    if failures:
        print(f"{name}:\n  " + "\n  ".join(failures))
        return 1
    guard = "" if args.linker == "ld" else ", Control Flow Guard, CET compatible, loader-seeded cookie"
    symbols = "no time stamp, debug file linked" if args.linker == "ld" else "its PDB beside it, /Brepro stamps"
    print(f"{name}: x86-64 PE32+ GUI program of {size} bytes (budget {args.budget}); ASLR with high entropy, "
          f"DEP, no writable code, stack protector{guard}; no symbols, no debug section, {symbols}; "
          f"manifest with 4 supported systems; version {args.version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
