"""What ties a Windows program to its PDB: the program's CodeView (RSDS) debug entry names the PDB and
holds its GUID and age; the PDB holds the same two in its info stream. A debugger loads a PDB only when
both agree. Read here without the Windows SDK: the PDB through its MSF container, the program with
pefile.
"""

import struct
import uuid

MSF_MAGIC = b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"
PDB_INFO_STREAM = 1
PDB_DBI_STREAM = 3
DEBUG_TYPE_CODEVIEW = 2
RSDS = b"RSDS"


class DebugIdentityError(Exception):
    pass


class MsfFile:
    """The streams of an MSF container (a PDB): each stream is a list of fixed-size blocks, listed in the
    stream directory, whose own blocks the block map at the superblock's BlockMapAddr lists."""

    def __init__(self, data):
        if not data.startswith(MSF_MAGIC):
            raise DebugIdentityError("not a PDB (no MSF 7.00 superblock)")
        self.data = data
        self.block_size, _, block_count, directory_bytes, _, map_block = struct.unpack_from(
            "<6I", data, len(MSF_MAGIC))
        if self.block_size not in (512, 1024, 2048, 4096) or block_count * self.block_size > len(data):
            raise DebugIdentityError("a PDB whose superblock does not match its size")
        directory_blocks = struct.unpack_from(f"<{self._blocks(directory_bytes)}I", data,
                                              map_block * self.block_size)
        directory = self._join(directory_blocks, directory_bytes)
        count = struct.unpack_from("<I", directory)[0]
        sizes = struct.unpack_from(f"<{count}I", directory, 4)
        offset, self.streams = 4 + 4 * count, []
        for size in sizes:
            size = 0 if size == 0xFFFFFFFF else size
            blocks = struct.unpack_from(f"<{self._blocks(size)}I", directory, offset)
            offset += 4 * len(blocks)
            self.streams.append((blocks, size))

    def stream(self, index):
        blocks, size = self.streams[index]
        return self._join(blocks, size)

    def _blocks(self, size):
        return (size + self.block_size - 1) // self.block_size

    def _join(self, blocks, size):
        return b"".join(self.data[b * self.block_size : (b + 1) * self.block_size] for b in blocks)[:size]


def pdb_identity(path):
    """(GUID, age) of a PDB: the GUID from the info stream (version, signature, age, GUID), the age from
    the DBI stream (signature, version, age), the one debuggers compare with the program's."""
    with open(path, "rb") as file:
        msf = MsfFile(file.read())
    info = msf.stream(PDB_INFO_STREAM)
    if len(info) < 28:
        raise DebugIdentityError(f"{path}: no PDB info stream")
    dbi = msf.stream(PDB_DBI_STREAM) if len(msf.streams) > PDB_DBI_STREAM else b""
    age = struct.unpack_from("<I", dbi, 8)[0] if len(dbi) >= 12 else struct.unpack_from("<I", info, 8)[0]
    return uuid.UUID(bytes_le=info[12:28]), age


def program_pdb_reference(pe):
    """(GUID, age, PDB name) from the program's CodeView debug entry, or None without one."""
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.Type != DEBUG_TYPE_CODEVIEW:
            continue
        record = pe.get_data(entry.struct.AddressOfRawData, entry.struct.SizeOfData)
        if record[:4] != RSDS or len(record) < 24:
            continue
        age = struct.unpack_from("<I", record, 20)[0]
        name = record[24:].split(b"\0", 1)[0].decode("utf-8", "replace")
        return uuid.UUID(bytes_le=record[4:20]), age, name
    return None
