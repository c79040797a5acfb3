"""An AVI reader of its own, written from the format's published documentation (the RIFF
and AVI file reference: AVIMAINHEADER, AVISTREAMHEADER, BITMAPINFOHEADER, AVIOLDINDEX;
the OpenDML AVI file format extensions: AVISUPERINDEX, AVISTDINDEX, 'dmlh', 'AVIX'),
never from our writer. It walks every chunk of the file, checks the structural rules
itself (raising Bad with a clear message) and returns the header fields and every
frame as text lines:

  riff=AVI ,AVIX,...                 the forms of the RIFF parts, in file order
  avih.dwMicroSecPerFrame=...        every AVIMAINHEADER field, likewise strh.*, strf.*,
                                     dmlh.dwTotalFrames, indx.nEntriesInUse (when present)
  idx1.entries=N                     entries of the legacy index (absent: no idx1)
  ix00.entries=a,b,...               entries of each part's standard index (one per RIFF part,
                                     in part order in the super index: how our files are made)
  frame=ID SIZE KEY CRC32 @PART:OFF  every data chunk in stream order: its id, data size,
                                     1 for a key frame (- in a file without index), the
                                     CRC-32 of its data (decimal), its RIFF part and the
                                     file offset of its data
"""
import struct
import zlib

AVIF_HASINDEX = 0x10
AVIIF_KEYFRAME = 0x10
AVI_INDEX_OF_INDEXES = 0
AVI_INDEX_OF_CHUNKS = 1
DELTA_FRAME = 0x80000000  # high bit of an AVISTDINDEX entry's size

AVIH = ("dwMicroSecPerFrame dwMaxBytesPerSec dwPaddingGranularity dwFlags dwTotalFrames dwInitialFrames "
        "dwStreams dwSuggestedBufferSize dwWidth dwHeight").split()
STRH = ("fccType fccHandler dwFlags wPriority wLanguage dwInitialFrames dwScale dwRate dwStart dwLength "
        "dwSuggestedBufferSize dwQuality dwSampleSize").split()
STRF = ("biSize biWidth biHeight biPlanes biBitCount biCompression biSizeImage biXPelsPerMeter biYPelsPerMeter "
        "biClrUsed biClrImportant").split()


class Bad(Exception):
    pass


def need(ok, message):
    if not ok:
        raise Bad(message)


def u32(d, at):
    return struct.unpack_from("<I", d, at)[0]


def fourcc(d, at):
    return d[at:at + 4].decode("latin-1")


def walk(d, start, end, where):
    """The chunks between start and end as (id, header offset, data size, list type or
    None). A chunk of odd size is followed by one pad byte its size does not count; the
    chunks fill [start, end) exactly."""
    out, at = [], start
    while at < end:
        need(at + 8 <= end, f"{where}: a chunk header at {at} runs past the end of its list at {end}")
        cid, size = fourcc(d, at), u32(d, at + 4)
        need(at + 8 + size + (size & 1) <= end,
             f"{where}: '{cid}' at {at} of {size} bytes (padded to even) runs past the end of its list at {end}")
        kind = None
        if cid == "LIST":
            need(size >= 4, f"{where}: LIST at {at} of {size} bytes has no type")
            kind = fourcc(d, at + 8)
        out.append((cid, at, size, kind))
        at += 8 + size + (size & 1)
    return out


def fields(d, at, size, names, formats, where):
    need(size >= struct.calcsize("<" + formats), f"{where} of {size} bytes is too short")
    values = struct.unpack_from("<" + formats, d, at)
    return {n: (v.decode("latin-1") if isinstance(v, bytes) else v) for n, v in zip(names, values)}


def layout(d):
    """The lines described above for the file's bytes; Bad when a rule is broken."""
    parts, at = [], 0
    while at < len(d):
        need(at + 12 <= len(d) and fourcc(d, at) == "RIFF", f"no RIFF header at {at} (file of {len(d)} bytes)")
        size = u32(d, at + 4)
        need(size % 2 == 0, f"RIFF at {at}: odd size {size}")
        need(at + 8 + size <= len(d), f"RIFF at {at} of {size} bytes runs past the file's end at {len(d)}")
        form = fourcc(d, at + 8)
        need(form == ("AVI " if not parts else "AVIX"), f"RIFF part {len(parts)} at {at} has form '{form}'")
        parts.append((form, walk(d, at + 12, at + 8 + size, f"RIFF '{form}' at {at}")))
        at += 8 + size
    need(at == len(d), f"the file goes on for {len(d) - at} bytes after its last RIFF part")
    need(parts, "an empty file")

    first = {c[3] or c[0]: c for c in parts[0][1]}
    need(parts[0][1] and parts[0][1][0][3] == "hdrl", "the AVI part does not start with LIST 'hdrl'")
    need("movi" in first, "the AVI part has no LIST 'movi'")
    hdrl = first["hdrl"]
    heads = walk(d, hdrl[1] + 12, hdrl[1] + 8 + hdrl[2], "LIST 'hdrl'")
    need(heads and heads[0][0] == "avih", "LIST 'hdrl' does not start with 'avih'")
    need(heads[0][2] == 56, f"'avih' of {heads[0][2]} bytes, not 56")
    avih = fields(d, heads[0][1] + 8, heads[0][2], AVIH, "10I", "'avih'")
    strls = [c for c in heads if c[3] == "strl"]
    need(len(strls) == 1 and avih["dwStreams"] == 1, f"{len(strls)} stream lists, dwStreams {avih['dwStreams']}")
    strl = {c[0]: c for c in walk(d, strls[0][1] + 12, strls[0][1] + 8 + strls[0][2], "LIST 'strl'")}
    need("strh" in strl and "strf" in strl, "LIST 'strl' lacks 'strh' or 'strf'")
    sh = strl["strh"]
    strh = fields(d, sh[1] + 8, sh[2], STRH, "4s4sIHHIIIIIIII", "'strh'")
    rc = struct.unpack_from("<4h", d, sh[1] + 8 + 48) if sh[2] >= 56 else None
    sf = strl["strf"]
    strf = fields(d, sf[1] + 8, sf[2], STRF, "IiiHHIIiiII", "'strf'")
    if strf["biCompression"] != 0:
        strf["biCompression"] = struct.pack("<I", strf["biCompression"]).decode("latin-1")
    need(strh["fccType"] == "vids" and strf["biSize"] == 40, "the stream is no video with a BITMAPINFOHEADER")
    odml = [c for c in heads if c[3] == "odml"]
    dmlh = None
    if odml:
        sub = {c[0]: c for c in walk(d, odml[0][1] + 12, odml[0][1] + 8 + odml[0][2], "LIST 'odml'")}
        need("dmlh" in sub and sub["dmlh"][2] >= 4, "LIST 'odml' without 'dmlh'")
        dmlh = u32(d, sub["dmlh"][1] + 8)

    # Every data chunk of every part's movie list, in file order.
    data_id = "00dc" if strf["biCompression"] != 0 else "00db"
    chunks, ix_chunks = [], {}
    for p, (form, top) in enumerate(parts):
        movies = [c for c in top if c[3] == "movi"]
        need(len(movies) == 1, f"RIFF part {p} has {len(movies)} LIST 'movi'")
        for c in walk(d, movies[0][1] + 12, movies[0][1] + 8 + movies[0][2], f"part {p} LIST 'movi'"):
            if c[0] == "ix00":
                ix_chunks[c[1]] = c
            elif c[0] != "JUNK":
                need(c[0] == data_id, f"part {p}: chunk '{c[0]}' at {c[1]} in the movie list, not '{data_id}'")
                chunks.append((p, c[1], c[2]))
        if p > 0:
            need(all(c[3] == "movi" or c[0] == "JUNK" for c in top), f"RIFF 'AVIX' {p} holds more than a movie list")
    in_first = sum(1 for c in chunks if c[0] == 0)
    keys = [None] * len(chunks)

    # The legacy index: offsets from the 'movi' type of the first part to each chunk header.
    lines = []
    idx1 = first.get("idx1")
    need(bool(avih["dwFlags"] & AVIF_HASINDEX) == (idx1 is not None),
         f"avih dwFlags {avih['dwFlags']:#x} and the file {'has' if idx1 else 'has no'} idx1")
    if idx1:
        need(idx1[1] > first["movi"][1], "idx1 before the movie list")
        need(idx1[2] % 16 == 0, f"idx1 of {idx1[2]} bytes")
        n = idx1[2] // 16
        need(n == in_first, f"idx1 has {n} entries, the first part {in_first} chunks")
        movi = first["movi"][1] + 8
        for i in range(n):
            cid, flags, off, size = struct.unpack_from("<4sIII", d, idx1[1] + 8 + 16 * i)
            _, at, csize = chunks[i]
            need(cid.decode("latin-1") == data_id and flags & ~AVIIF_KEYFRAME == 0,
                 f"idx1 entry {i}: id {cid}, flags {flags:#x}")
            need(movi + off == at, f"idx1 entry {i}: offset {off} from 'movi' at {movi} is {movi + off}, "
                                   f"the chunk is at {at}")
            need(size == csize, f"idx1 entry {i}: size {size}, the chunk holds {csize}")
            keys[i] = bool(flags & AVIIF_KEYFRAME)
        lines.append(f"idx1.entries={n}")

    # The OpenDML indexes: the super index and the standard indexes it points at.
    indx = strl.get("indx")
    need(len(parts) == 1 or (indx and dmlh is not None), "several RIFF parts without 'indx' and 'dmlh'")
    if indx:
        longs, sub, kind, used, cid = struct.unpack_from("<HBBI4s", d, indx[1] + 8)
        need((longs, sub, kind) == (4, 0, AVI_INDEX_OF_INDEXES) and cid.decode("latin-1") == data_id,
             f"super index: {longs} longs per entry, sub type {sub}, type {kind}, id {cid}")
        need(indx[2] >= 24 + 16 * used, f"super index of {indx[2]} bytes for {used} entries")
        need(d[indx[1] + 20:indx[1] + 32] == bytes(12), "super index: reserved words not zero")
        need(d[indx[1] + 32 + 16 * used:indx[1] + 8 + indx[2]] == bytes(indx[2] - 24 - 16 * used),
             "super index: an unused entry is not zero")
        counts, next_chunk = [], 0
        for e in range(used):
            off, size, duration = struct.unpack_from("<QII", d, indx[1] + 32 + 16 * e)
            need(off in ix_chunks, f"super index entry {e}: no 'ix00' chunk at {off}")
            need(size == 8 + ix_chunks[off][2], f"super index entry {e}: size {size}, 'ix00' chunk of "
                                                f"{8 + ix_chunks[off][2]}")
            longs, sub, kind, n, cid, base, res = struct.unpack_from("<HBBI4sQI", d, off + 8)
            need((longs, sub, kind, res) == (2, 0, AVI_INDEX_OF_CHUNKS, 0) and cid.decode("latin-1") == data_id,
                 f"standard index at {off}: {longs} longs per entry, sub type {sub}, type {kind}, id {cid}")
            need(ix_chunks[off][2] == 24 + 8 * n, f"standard index at {off}: {ix_chunks[off][2]} bytes, {n} entries")
            need(duration == n, f"super index entry {e}: duration {duration}, {n} frames indexed")
            for j in range(n):
                rel, size = struct.unpack_from("<II", d, off + 32 + 8 * j)
                need(next_chunk < len(chunks), f"standard index at {off} indexes more chunks than the file holds")
                part, at, csize = chunks[next_chunk]
                need(part == e, f"standard index {e} at {off} indexes a chunk of RIFF part {part}")
                need(base + rel == at + 8, f"standard index at {off}, entry {j}: base {base} + {rel} = {base + rel}, "
                                           f"the data is at {at + 8}")
                need(size & ~DELTA_FRAME == csize, f"standard index at {off}, entry {j}: size "
                                                  f"{size & ~DELTA_FRAME}, the chunk holds {csize}")
                key = not size & DELTA_FRAME
                need(keys[next_chunk] in (None, key), f"chunk {next_chunk}: idx1 and the standard index "
                                                      "disagree on its key frame flag")
                keys[next_chunk] = key
                next_chunk += 1
            counts.append(str(n))
        need(next_chunk == len(chunks), f"the standard indexes cover {next_chunk} of {len(chunks)} chunks")
        need(len(ix_chunks) == used, f"{len(ix_chunks)} 'ix00' chunks, {used} in the super index")
        lines.append(f"indx.nEntriesInUse={used}")
        lines.append(f"ix00.entries={','.join(counts)}")
    need(None not in keys or not (idx1 or indx), "chunks no index covers")

    # The headers against what the file holds.
    width, height = strf["biWidth"], abs(strf["biHeight"])
    need((avih["dwWidth"], avih["dwHeight"]) == (width, height),
         f"avih {avih['dwWidth']}x{avih['dwHeight']}, strf {width}x{height}")
    need(rc is None or (rc[2] - rc[0], rc[3] - rc[1]) == (width, height), f"strh rcFrame {rc}, strf {width}x{height}")
    need(strh["dwScale"] > 0 and strh["dwRate"] > 0, "strh dwScale or dwRate zero")
    period = 1e6 * strh["dwScale"] / strh["dwRate"]
    need(abs(avih["dwMicroSecPerFrame"] - period) <= 1,
         f"avih dwMicroSecPerFrame {avih['dwMicroSecPerFrame']}, strh gives {period:.1f} µs per frame")
    need(avih["dwTotalFrames"] == in_first, f"avih dwTotalFrames {avih['dwTotalFrames']}, "
                                            f"the first RIFF part holds {in_first} frames")
    need(strh["dwLength"] == len(chunks), f"strh dwLength {strh['dwLength']}, the file holds {len(chunks)} frames")
    need(dmlh is None or dmlh == len(chunks), f"dmlh dwTotalFrames {dmlh}, the file holds {len(chunks)} frames")
    largest = max((c[2] for c in chunks), default=0)
    need(min(avih["dwSuggestedBufferSize"], strh["dwSuggestedBufferSize"]) >= largest,
         f"suggested buffer sizes {avih['dwSuggestedBufferSize']}, {strh['dwSuggestedBufferSize']} below the "
         f"largest chunk of {largest}")
    if strf["biCompression"] == 0:
        stride = (width * strf["biBitCount"] + 31) // 32 * 4
        need(strf["biSizeImage"] in (0, stride * height), f"strf biSizeImage {strf['biSizeImage']}, "
                                                          f"{height} rows of {stride} bytes")
        need(all(c[2] in (0, stride * height) for c in chunks), f"an uncompressed frame not of {stride * height} bytes")

    lines.insert(0, "riff=" + ",".join(p[0] for p in parts))
    lines[1:1] = ([f"avih.{k}={v}" for k, v in avih.items()] + [f"strh.{k}={v}" for k, v in strh.items()] +
                  ([f"strh.rcFrame={','.join(map(str, rc))}"] if rc else []) +
                  [f"strf.{k}={v}" for k, v in strf.items()] +
                  ([f"dmlh.dwTotalFrames={dmlh}"] if dmlh is not None else []))
    for (p, at, size), key in zip(chunks, keys):
        crc = zlib.crc32(d[at + 8:at + 8 + size])
        lines.append(f"frame={data_id} {size} {'-' if key is None else int(key)} {crc} @{p}:{at + 8}")
    return lines
