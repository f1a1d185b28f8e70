"""Checks what the shipped remediation.exe is as a file.

A 64-bit GUI-subsystem Windows program that needs no MinGW runtime DLL and imports from no other DLL
than those it calls at load time; with the exploit mitigations of a Windows release (ASLR with high
entropy and its relocations, DEP, no section both writable and executable, stack cookies and checked
copies linked in; from lld and MSVC's linker also Control Flow Guard, CET shadow-stack compatibility
and a security cookie that the loader seeds (CET on x86-64 only; the guard's dispatch pointer may be 0
in MSVC's ARM64 links, which call the check instead); for lld's links also complete: every
code pointer the image holds in the guard table, every indirect call guarded, every call inside an
unwind entry); built for the processor named (x86-64 or ARM64);
stripped (no symbols, no DWARF section); with its PDB (named without a folder, GUID and age matching)
and /Brepro's content-hash stamps from lld and MSVC's linker, a linked debug file and no stamp from GNU
ld; with its application manifest (the four supported systems, nothing else) and its version resource;
and within its size budget.

  python3 CheckExecutable.py --linker ld|lld|link [--arch x86_64|aarch64] [--nm NM] --version 1.0.0.0 --company ... --product ...
                             --copyright ... --budget BYTES EXECUTABLE
"""

import argparse
import bisect
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
MACHINE_ARM64 = 0xAA64
MACHINES = {"x86_64": (MACHINE_AMD64, "x86-64"), "aarch64": (MACHINE_ARM64, "ARM64")}
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
IMAGE_REL_BASED_DIR64 = 10
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
    machine, processor = MACHINES[args.arch]
    expect(header.Machine == machine, f"not an {processor} program (machine {header.Machine:#x})")
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
    # CET is x86-64's: an ARM64 link has no CET entry. MSVC's ARM64 linker may still write the entry of
    # extended DLL characteristics for flags of its own, without the CET one.
    cet_wanted = machine == MACHINE_AMD64
    cet_entry = {DEBUG_EX_DLLCHARACTERISTICS} if cet_wanted else set()
    wanted = {"ld": set(), "lld": {DEBUG_CODEVIEW, DEBUG_REPRO} | cet_entry,
              "link": {DEBUG_CODEVIEW, DEBUG_VC_FEATURE, DEBUG_POGO, DEBUG_REPRO, DEBUG_EX_DLLCHARACTERISTICS}}
    optional = {DEBUG_VC_FEATURE, DEBUG_POGO} | ({DEBUG_EX_DLLCHARACTERISTICS} - cet_entry)
    expect(set(entries) <= wanted[args.linker] and set(entries) >= wanted[args.linker] - optional,
           f"debug directory entries of types {sorted(entries)}")
    figures = []
    if args.linker != "ld":
        # MSVC's ARM64 code calls the check before each indirect call and never the dispatch, which its
        # runtime may leave 0.
        check_load_config(pe, expect, ours=args.linker == "lld",
                          dispatch_wanted=args.linker == "lld" or machine == MACHINE_AMD64)
        if args.linker == "lld" and header.Machine in CODE:
            figures = check_completeness(pe, CODE[header.Machine], args, expect)
        cet = entries.get(DEBUG_EX_DLLCHARACTERISTICS)
        flags = struct.unpack("<I", pe.get_data(cet.struct.AddressOfRawData, 4))[0] if cet else 0
        expect(bool(flags & CET_COMPAT) == cet_wanted,
               "not marked CET shadow-stack compatible" if cet_wanted else "marked CET compatible")
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
    return failures, len(data), figures


def section_of(pe, va):
    rva = va - pe.OPTIONAL_HEADER.ImageBase
    return next((s for s in pe.sections if s.VirtualAddress <= rva < s.VirtualAddress + s.Misc_VirtualSize), None)


def check_load_config(pe, expect, ours, dispatch_wanted):
    """Control Flow Guard's fields and tables, and the security cookie. `ours`: the project's own load
    configuration (lld links), whose size is the directory's and which announces a long-jump table.
    Without `dispatch_wanted` a dispatch pointer of 0 is accepted."""
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
        if name == "GuardCFDispatchFunctionPointer" and not dispatch_wanted and not config.GuardCFDispatchFunctionPointer:
            continue
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


# The exceptions to the completeness rules, each with its count and reason, in each machine's class:
# unguarded indirect calls by the symbol of the pointer they read (UNGUARDED_POINTERS), unguarded
# indirect calls by the function they lie in (UNGUARDED_CALLS), and calls outside an unwind entry by the
# function they lie in (CALLS_WITHOUT_UNWIND).
STAND_IN = ("MinGW-w64 10's stand-in for a function that msvcrt's import library lacks: a writable "
            "pointer that its first call sets; the headers declare an import, so the calls are not guarded")
TERMINATE = (2, "calls std::terminate and never returns")


class X64Code:
    """The x86-64 side of the completeness rules: llvm-objdump-16's AT&T text of an instruction."""

    UNGUARDED_POINTERS = {"__imp__free_locale": (24, STAND_IN), "__imp___acrt_iob_func": (18, STAND_IN),
                          "__imp__create_locale": (1, STAND_IN), "__imp_strerror_s": (1, STAND_IN)}
    UNGUARDED_CALLS = {}
    CALLS_WITHOUT_UNWIND = {"__clang_call_terminate": TERMINATE}

    INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(?:(?:rex64|notrack|bnd)\s+)?(\w+)\s*([^#]*?)\s*(?:# (0x[0-9a-f]+)(?: <[^>]*>)?)?$")
    TABLE_LOAD = re.compile(r"^movslq\s+\(%\w+,%\w+,4\), %(\w+)$")

    @staticmethod
    def is_call(mnemonic):
        return mnemonic.startswith("call")

    @staticmethod
    def checked(preceding, register, check_pointer):
        """x86-64 code goes through the dispatch, not through a check before the call."""
        return False

    @staticmethod
    def is_check_call(preceding, register, check_pointer):
        return False

    @staticmethod
    def observe(mnemonic, operands, target):
        pass

    @staticmethod
    def fixed_target(preceding, register):
        return None

    @staticmethod
    def unwind_ranges(pe):
        return [(e.struct.BeginAddress, e.struct.EndAddress) for e in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", [])]

    @staticmethod
    def is_indirect(mnemonic, operands):
        return (mnemonic.startswith("call") or mnemonic.startswith("jmp")) and operands.startswith("*")

    @staticmethod
    def pointer(operands, target):
        """The address of the pointer an indirect call reads, when it reads one at a fixed address."""
        return target if operands.endswith("(%rip)") else None

    @staticmethod
    def register(operands):
        match = re.match(r"^\*%(\w+)$", operands)
        return match and match.group(1)

    @classmethod
    def loaded_from(cls, preceding, register):
        """The fixed address that `register` was last loaded from in the instructions before, if any."""
        for index in range(len(preceding) - 1, -1, -1):
            mnemonic, operands, target = preceding[index]
            if operands.endswith(f", %{register}"):
                copied = re.match(r"^%(\w+), %\w+$", operands)
                if mnemonic == "movq" and copied:
                    return cls.loaded_from(preceding[:index], copied.group(1))
                return target if mnemonic == "movq" and "(%rip)" in operands else None
        return None

    @staticmethod
    def address_loaded(mnemonic, operands, target):
        """The fixed address that the instruction puts into a register (relative to rip)."""
        return target if mnemonic == "leaq" and "(%rip), %" in operands else None

    @classmethod
    def is_table_jump(cls, preceding, register):
        """A jump through a switch table: the register holds a 32-bit table entry plus the table's base."""
        writers = [f"{m} {o}" for m, o, _ in preceding[-12:] if o.endswith(f", %{register}")]
        return (len(writers) >= 2 and re.match(rf"^addq\s+%\w+, %{register}$", writers[-1]) and
                cls.TABLE_LOAD.match(writers[-2]) is not None)


class Arm64Code:
    """The ARM64 side: llvm-objdump-16's text of an instruction. Clang calls the guard's check with the
    target in x15 right before each indirect call (mov x15, xN; blr <check>; ... blr or br xN); a
    pointer at a fixed address is read by adrp (its page), an optional add, and ldr (the offset)."""

    # msvcrt's ARM64 import library has the locale functions. lld 16 writes its ARM64 delay-load tail
    # merges without an unwind entry; their call raises only when shell32 or version fails to load, which
    # nothing catches.
    UNGUARDED_POINTERS = {"__imp___acrt_iob_func": (14, STAND_IN), "__imp_strerror_s": (1, STAND_IN)}
    UNGUARDED_CALLS = {
        "wcsnrtombs": (1, "calls msvcrt's wcrtomb_s through a register loaded from the import table on another "
                          "path: the listing's order is not the order it runs in"),
    }
    TAIL_MERGE = (1, "lld 16's ARM64 delay-load tail merge, which it writes without an unwind entry")
    CALLS_WITHOUT_UNWIND = {"__clang_call_terminate": TERMINATE, "__tailMerge_shell32.dll": TAIL_MERGE,
                            "__tailMerge_version.dll": TAIL_MERGE}

    # The fourth group is the address an adrp names (the page) or a direct branch's target.
    INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+([a-z][\w.]*)\s*((?:x\d+, )?(?:(0x[0-9a-f]+)|[^<]*?))\s*(?:<[^>]*>)?$")
    # Instructions that set no register named first: branches, stores, comparisons.
    SETS_NOTHING = re.compile(r"^(?:b|bl|blr|br|ret|b\..*|cbn?z|tbn?z|st.*|cmp|cmn|tst|ccmp|ccmn|fcmp.*|prfm|nop)$")
    TABLE_LOAD = re.compile(r"^ldr(?:b|h|sw)?\s+w\d+, \[x\d+, x\d+")

    @staticmethod
    def is_call(mnemonic):
        return mnemonic in ("bl", "blr")

    @staticmethod
    def address_loaded(mnemonic, operands, target):
        """ARM64 switch tables lie in .rdata: no data in .text to skip."""
        return None

    @staticmethod
    def is_indirect(mnemonic, operands):
        return mnemonic in ("blr", "br")

    @staticmethod
    def pointer(operands, target):
        return None

    @staticmethod
    def register(operands):
        match = re.match(r"^(x\d+)$", operands)
        return match and match.group(1)

    @classmethod
    def definition(cls, preceding, register):
        """The index of the last instruction before that sets `register` (or its 32-bit half), or None."""
        names = (register, "w" + register[1:])
        for index in range(len(preceding) - 1, -1, -1):
            mnemonic, operands, _ = preceding[index]
            if cls.SETS_NOTHING.match(mnemonic):
                continue
            fields = [field.strip() for field in operands.split(",")]
            if fields[0] in names or (mnemonic.startswith("ldp") and len(fields) > 1 and fields[1] in names):
                return index
        return None

    # The pointer each register was last loaded from at a fixed address, through the whole listing: a
    # pointer loaded once into a callee-saved register before a loop is called long after.
    held = {}
    pages = {}
    addresses = {}
    CALLER_SAVED = {f"x{number}" for number in range(19)} | {"x30"}

    @classmethod
    def observe(cls, mnemonic, operands, target):
        fields = [field.strip() for field in operands.split(",")]
        if mnemonic in ("bl", "blr"):
            for register in cls.CALLER_SAVED:
                for values in (cls.held, cls.pages, cls.addresses):
                    values.pop(register, None)
            return
        if cls.SETS_NOTHING.match(mnemonic) or not fields[0]:
            return
        written = ["x" + name[1:] for name in fields[:2 if mnemonic.startswith("ldp") else 1] if name[:1] in "xw"]
        loaded = re.match(r"^x\d+, \[(x\d+)(?:, #(0x[0-9a-f]+))?\]$", operands) if mnemonic == "ldr" else None
        value = cls.pages[loaded.group(1)] + int(loaded.group(2) or "0", 16) \
            if loaded and loaded.group(1) in cls.pages else None
        added = re.match(r"^x\d+, (x\d+), #(0x[0-9a-f]+)$", operands) if mnemonic == "add" else None
        address = cls.pages[added.group(1)] + int(added.group(2), 16) if added and added.group(1) in cls.pages else None
        for register in written:
            for values in (cls.held, cls.pages, cls.addresses):
                values.pop(register, None)
        if mnemonic == "adrp" and target is not None:
            cls.pages[written[0]] = target
        elif value is not None:
            cls.held[written[0]] = value
        elif address is not None:
            cls.addresses[written[0]] = address

    @classmethod
    def fixed_target(cls, preceding, register):
        """The code address a register holds when it was formed from adrp and add: a direct call whose
        target the compiler kept in a register, which nothing can change."""
        return cls.addresses.get(register)

    @classmethod
    def loaded_from(cls, preceding, register):
        index = cls.definition(preceding, register)
        if index is None:
            return cls.held.get(register)
        mnemonic, operands, _ = preceding[index]
        match = re.match(rf"^{register}, \[(x\d+)(?:, #(0x[0-9a-f]+))?\]$", operands)
        if mnemonic != "ldr" or not match:
            return None
        offset = int(match.group(2), 16) if match.group(2) else 0
        base_index = cls.definition(preceding[:index], match.group(1))
        if base_index is None:
            return None
        base_mnemonic, base_operands, page = preceding[base_index]
        added = re.match(rf"^{match.group(1)}, (x\d+), #(0x[0-9a-f]+)$", base_operands)
        if base_mnemonic == "add" and added:
            page_index = cls.definition(preceding[:base_index], added.group(1))
            if page_index is None or preceding[page_index][0] != "adrp":
                return None
            return preceding[page_index][2] + int(added.group(2), 16) + offset
        return page + offset if base_mnemonic == "adrp" else None

    @classmethod
    def is_check_call(cls, preceding, register, check_pointer):
        """A call of the guard's check: through the check pointer, or right after a target was handed over
        in x15 through a register loaded from the check pointer's page kept in a register of the function's
        own (may_load_from)."""
        handed = [operands for mnemonic, operands, _ in preceding[-3:] if mnemonic == "mov" and
                  operands.startswith("x15, x") and operands != f"x15, {register}"]
        return cls.loaded_from(preceding, register) == check_pointer or \
            bool(handed) and cls.may_load_from(preceding, register, check_pointer)

    @classmethod
    def may_load_from(cls, preceding, register, address):
        """Whether `register` was loaded from [xB, #offset] (ldr) where the function gave xB, anywhere
        before in the listing, the page or the address (adrp, add) whose offset is `address`. A function
        keeps the check pointer's page in a callee-saved register across its calls; the listing's order is
        not the order it runs in, and may put an epilogue's restore or another use of xB in between."""
        index = cls.definition(preceding, register)
        loaded = re.match(rf"^{register}, \[(x\d+)(?:, #(0x[0-9a-f]+))?\]$", preceding[index][1]) \
            if index is not None and preceding[index][0] == "ldr" else None
        if not loaded:
            return False
        base, offset = loaded.group(1), int(loaded.group(2) or "0", 16)
        given, page = set(), None
        for mnemonic, operands, target in preceding[:index]:
            added = re.match(rf"^{base}, {base}, #(0x[0-9a-f]+)$", operands) if mnemonic == "add" else None
            if mnemonic == "adrp" and operands.startswith(f"{base}, ") and target is not None:
                page = target
                given.add(page)
            elif added and page is not None:
                given.add(page + int(added.group(1), 16))
        return address - offset in given

    @classmethod
    def checked(cls, preceding, register, check_pointer):
        """The target was handed to the check (mov x15, xN), the check called, and xN left alone since."""
        for index in range(len(preceding) - 1, -1, -1):
            mnemonic, operands, _ = preceding[index]
            if mnemonic == "mov" and operands == f"x15, {register}":
                calls = [later for later in range(index + 1, len(preceding)) if preceding[later][0] == "blr"]
                return bool(calls) and cls.is_check_call(preceding[:calls[0]], preceding[calls[0]][1], check_pointer) \
                    and cls.definition(preceding[index + 1:], register) is None
            if cls.definition(preceding[index:index + 1], register) is not None:
                return False
        return False

    @classmethod
    def is_table_jump(cls, preceding, register):
        """A branch through a switch table: a table entry, shifted, added to the table's code address (adr);
        the scheduler may put other instructions between the add and the branch."""
        window = preceding[-8:]
        index = cls.definition(window, register)
        if index is None:
            return False
        added = re.match(rf"^{register}, (x\d+), x(\d+), (?:lsl|sxtw) #\d$", window[index][1])
        if window[index][0] != "add" or not added:
            return False
        entry = cls.definition(window[:index], f"x{added.group(2)}")
        base = cls.definition(window[:index], added.group(1))
        return (entry is not None and cls.TABLE_LOAD.match(f"{window[entry][0]} {window[entry][1]}") is not None and
                base is not None and window[base][0] == "adr")

    @staticmethod
    def unwind_ranges(pe):
        """ARM64's .pdata: 8-byte entries, the start and either a packed record (the low two bits set,
        the length in 4-byte units in bits 2-12) or the RVA of an .xdata record (the length in bits
        0-17 of its first word)."""
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
        entries = pe.get_data(directory.VirtualAddress, directory.Size) if directory.Size else b""
        ranges = []
        for begin, unwind in struct.iter_unpack("<II", entries):
            if unwind & 3:
                length = ((unwind >> 2) & 0x7FF) * 4
            else:
                length = (pe.get_dword_at_rva(unwind) & 0x3FFFF) * 4
            ranges.append((begin, begin + length))
        return ranges


# The machines whose lld links the completeness rules hold.
CODE = {MACHINE_AMD64: X64Code, MACHINE_ARM64: Arm64Code}


def symbol_table(args, pe):
    """The image's public symbols, address to name, from its PDB (llvm-pdbutil-16), or from the debug file
    of a link without one."""
    pdb = os.path.splitext(args.executable)[0] + ".pdb"
    if not os.path.exists(pdb) and os.path.exists(args.executable + ".debug"):
        listing = subprocess.run([args.nm, args.executable + ".debug"], capture_output=True, text=True).stdout
        return {int(address, 16): name for address, _, name in
                (line.split() for line in listing.splitlines() if len(line.split()) == 3) if not name.startswith(".")}
    listing = subprocess.run(["llvm-pdbutil-16", "dump", "--publics", pdb], capture_output=True, text=True,
                             check=True).stdout
    sections = [pe.OPTIONAL_HEADER.ImageBase + section.VirtualAddress for section in pe.sections]
    symbols = {}
    for name, section, offset in re.findall(r"S_PUB32 \[size = \d+\] `([^`]+)`\s+flags = [^,]*, addr = (\d+):(\d+)",
                                            listing):
        if 0 < int(section) <= len(sections):
            symbols.setdefault(sections[int(section) - 1] + int(offset), name)
    return symbols


def function_at(starts, symbols, va):
    index = bisect.bisect_right(starts, va) - 1
    return symbols[starts[index]] if index >= 0 else f"{va:#x}"


def check_completeness(pe, code, args, expect):
    """Control Flow Guard and unwinding complete, whatever the image's code came from: every code pointer
    that the base relocations name is a valid call target; every indirect call goes through the guard
    or reads a pointer the loader wrote (the import tables) or a switch table; every call lies inside a
    function with an unwind entry. Returns the figures."""
    base = pe.OPTIONAL_HEADER.ImageBase
    config = pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
    section_name = lambda va: (section_of(pe, va).Name.rstrip(b"\0").decode() if section_of(pe, va) else None)
    executable = lambda va: section_of(pe, va) is not None and section_of(pe, va).Characteristics & MEM_EXECUTE
    stride = 4 + (config.GuardFlags >> 28)
    table = pe.get_data(config.GuardCFFunctionTable - base, config.GuardCFFunctionCount * stride)
    valid = {base + struct.unpack_from("<I", table, i)[0] for i in range(0, len(table), stride)}
    symbols = symbol_table(args, pe)
    starts = sorted(va for va in symbols if executable(va))
    figures = []

    # Rule 1: every pointer into code that the image holds, but the guard's own in .00cfg and the
    # delay-load import table's, which point at lld's loading thunks until the first call replaces them
    # (only import calls, which the guard does not check, read them).
    delayed = set()
    for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        delayed.update(imported.address for imported in entry.imports)
    pointers = set()
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if (entry.type == IMAGE_REL_BASED_DIR64 and section_name(base + entry.rva) != ".00cfg" and
                    base + entry.rva not in delayed):
                target = pe.get_qword_at_rva(entry.rva)
                if executable(target):
                    pointers.add(target)
    missing = sorted(pointers - valid)
    figures.append(f"{len(missing)} of {len(pointers)} code pointers missing from the guard table")
    expect(not missing, f"{len(missing)} code pointers missing from the guard table, e.g. " +
           ", ".join(symbols.get(va, f"{va:#x}") for va in missing[:8]))

    # Rules 2 and 3 read the disassembly.
    listing = subprocess.run(["llvm-objdump-16", "-d", "--no-show-raw-insn", args.executable],
                             capture_output=True, text=True, check=True).stdout
    imports = set()
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        imports.update(imported.address for imported in entry.imports)
    guard = {config.GuardCFDispatchFunctionPointer, config.GuardCFCheckFunctionPointer}
    guard_functions = {pe.get_qword_at_rva(va - base) for va in guard}
    unwound = sorted((base + begin, base + end) for begin, end in code.unwind_ranges(pe))
    unwound_starts = [begin for begin, _ in unwound]
    unwound_starts_set = set(unwound_starts)

    instructions = []
    for line in listing.splitlines():
        match = code.INSTRUCTION.match(line)
        if match:
            target = int(match.group(4), 16) if match.group(4) else None
            instructions.append((int(match.group(1), 16), match.group(2), match.group(3), target))

    # Switch tables that lie in .text: 32-bit offsets from the table's start to code before it. Their
    # bytes disassemble as anything, calls included.
    # A table is an address in code, not a function's, that the code loads, followed by entries that
    # lead into the function that loads it.
    data = []
    function_starts = valid | set(unwound_starts)
    for va, mnemonic, operands, target in instructions:
        table = code.address_loaded(mnemonic, operands, target)
        if table is not None and executable(table) and table not in function_starts:
            begin = unwound[max(bisect.bisect_right(unwound_starts, va) - 1, 0)][0]
            end = table
            while executable(end + 3):
                entry = struct.unpack("<i", pe.get_data(end - base, 4))[0]
                if not begin <= table + entry < table:
                    break
                end += 4
            if end > table:
                data.append((table, end))
    data.sort()
    data_starts = [begin for begin, _ in data]
    in_data = lambda va: (bisect.bisect_right(data_starts, va) > 0 and
                          va < data[bisect.bisect_right(data_starts, va) - 1][1])

    kinds = {"guarded": 0, "import table": 0, "delay-load import table": 0, "switch table": 0,
             "delay-load tail merge": 0}
    unguarded, unlisted_pointers = {}, {}
    calls, outside = 0, {}
    preceding = []
    # lld's delay-load thunks jump to a tail merge, whose register jump enters the function that the
    # delay-load helper has just resolved and written into the delay-load import table.
    thunks = {pe.get_qword_at_rva(slot - base) for slot in delayed}
    # (x86-64: jmp right after the thunk's lea; ARM64: b after adrp and add.)
    branches = (later for index, thunk in enumerate(instructions) if thunk[0] in thunks
                for later in instructions[index:index + 3] if later[1] in ("jmp", "b"))
    tail_merges = {target if target is not None else int(operands.split()[0], 16) for _, _, operands, target in branches}
    tail_merge = False
    for va, mnemonic, operands, target in instructions:
        if in_data(va):
            continue
        if va in unwound_starts_set:
            preceding = []
        tail_merge = tail_merge or va in tail_merges
        if code.is_call(mnemonic):
            calls += 1
            index = bisect.bisect_right(unwound_starts, va) - 1
            if index < 0 or va >= unwound[index][1]:
                function = function_at(starts, symbols, va)
                outside[function] = outside.get(function, 0) + 1
        if code.is_indirect(mnemonic, operands):
            pointer = code.pointer(operands, target)
            register = code.register(operands)
            if register and not pointer:
                pointer = code.loaded_from(preceding, register)
            if register and code.is_check_call(preceding, register, config.GuardCFCheckFunctionPointer):
                kinds["calls of the check"] = kinds.get("calls of the check", 0) + 1
            elif pointer in guard or va in guard_functions or \
                    code.checked(preceding, register, config.GuardCFCheckFunctionPointer):
                kinds["guarded"] += 1
            elif pointer in imports:
                kinds["import table"] += 1
            elif pointer in delayed:
                kinds["delay-load import table"] += 1
            elif register and code.fixed_target(preceding, register):
                kinds["fixed targets"] = kinds.get("fixed targets", 0) + 1
            elif register and mnemonic.startswith(("jmp", "br")) and code.is_table_jump(preceding, register):
                kinds["switch table"] += 1
            elif register and mnemonic.startswith(("jmp", "br")) and tail_merge:
                kinds["delay-load tail merge"] += 1
                tail_merge = False
            elif pointer is not None and pointer in symbols:
                unlisted_pointers[symbols[pointer]] = unlisted_pointers.get(symbols[pointer], 0) + 1
            else:
                function = function_at(starts, symbols, va)
                unguarded[function] = unguarded.get(function, 0) + 1
        code.observe(mnemonic, operands, target)
        preceding.append((mnemonic, operands, target))

    # Rule 2: every indirect call guarded, but through the import tables, switch tables and the listed
    # pointers.
    listed = {name: count for name, count in unlisted_pointers.items() if name in code.UNGUARDED_POINTERS}
    for name in list(listed):
        del unlisted_pointers[name]
    total = sum(kinds.values()) + sum(listed.values()) + sum(unlisted_pointers.values()) + sum(unguarded.values())
    figures.append(f"{total} indirect calls and jumps: " + ", ".join(f"{count} {kind}" for kind, count in kinds.items()) +
                   "".join(f", {count} through {name} (listed)" for name, count in sorted(listed.items())) +
                   f", {sum(unlisted_pointers.values()) + sum(unguarded.values())} unguarded")
    for name, (count, reason) in code.UNGUARDED_POINTERS.items():
        expect(listed.get(name, 0) == count, f"{listed.get(name, 0)} unguarded calls through {name}, listed {count}")
    listed_in = {name: unguarded.pop(name) for name in list(unguarded) if name in code.UNGUARDED_CALLS}
    figures[-1] += "".join(f" ({count} in {name}, listed)" for name, count in sorted(listed_in.items()))
    for name, (count, reason) in code.UNGUARDED_CALLS.items():
        expect(listed_in.get(name, 0) == count, f"{listed_in.get(name, 0)} unguarded calls in {name}, listed {count}")
    expect(not unlisted_pointers, f"{sum(unlisted_pointers.values())} unguarded calls through pointers: " +
           ", ".join(f"{name} {count}" for name, count in sorted(unlisted_pointers.items(), key=lambda i: -i[1])[:8]))
    expect(not unguarded, f"{sum(unguarded.values())} unguarded indirect calls in {len(unguarded)} functions, e.g. " +
           ", ".join(f"{name} {count}" for name, count in sorted(unguarded.items(), key=lambda i: -i[1])[:8]))

    # Rule 3: every call inside a function with an unwind entry, but the listed ones.
    allowed = {name: count for name, count in outside.items() if name in code.CALLS_WITHOUT_UNWIND}
    others = {name: count for name, count in outside.items() if name not in code.CALLS_WITHOUT_UNWIND}
    figures.append(f"{sum(outside.values())} of {calls} calls outside an unwind entry" +
                   "".join(f", {count} in {name} (listed: {code.CALLS_WITHOUT_UNWIND[name][1]})"
                           for name, count in sorted(allowed.items())))
    for name, (count, reason) in code.CALLS_WITHOUT_UNWIND.items():
        expect(allowed.get(name, 0) == count, f"{allowed.get(name, 0)} calls outside an unwind entry in {name}, listed {count}")
    expect(not others, f"{sum(others.values())} calls outside an unwind entry in {len(others)} functions, e.g. " +
           ", ".join(f"{name} {count}" for name, count in sorted(others.items(), key=lambda i: -i[1])[:8]))
    return figures


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
        # The shipped file formats with libc++'s std::format, which reaches no checked copy.
        for symbol in ("__stack_chk_guard", "__stack_chk_fail"):  # S_PUB32: kind, 10 bytes, name
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
    # The shipped file formats with libc++'s std::format, which reaches no checked copy; the GCC build's
    # {fmt} reaches memcpy.
    wanted = (("__stack_chk_guard", "stack protector"), ("__stack_chk_fail", "stack protector"))
    wanted += (("__memcpy_chk", "_FORTIFY_SOURCE"),) if args.linker == "ld" else ()
    for symbol, what in wanted:
        expect(re.search(rf" [TDBR] {symbol}$", symbols, re.M), f"no {what} ({symbol})")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--version", "--company", "--product", "--copyright"):
        parser.add_argument(option, required=True)
    parser.add_argument("--budget", type=int, required=True)
    parser.add_argument("--linker", choices=("ld", "lld", "link"), required=True, help="GNU ld, lld or MSVC's")
    parser.add_argument("--arch", choices=sorted(MACHINES), default="x86_64", help="the processor it is built for")
    parser.add_argument("--nm", help="the nm that reads the debug file (GNU builds)")
    parser.add_argument("executable")
    args = parser.parse_args()
    failures, size, figures = check(args)
    name = os.path.basename(args.executable)
    for figure in figures:
        print(f"{name}: {figure}")
    if failures:
        print(f"{name}:\n  " + "\n  ".join(failures))
        return 1
    cet = ", CET compatible" if args.arch == "x86_64" else ""
    guard = "" if args.linker == "ld" else f", Control Flow Guard{cet}, loader-seeded cookie"
    symbols = "no time stamp, debug file linked" if args.linker == "ld" else "its PDB beside it, /Brepro stamps"
    print(f"{name}: {MACHINES[args.arch][1]} PE32+ GUI program of {size} bytes (budget {args.budget}); ASLR with high entropy, "
          f"DEP, no writable code, stack protector{guard}; no symbols, no debug section, {symbols}; "
          f"manifest with 4 supported systems; version {args.version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
