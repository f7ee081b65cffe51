// The zip library behind the archive wrapper: deflate archives that other tools read, built
// over zlib. A run writes the whole new archive beside the old one and only then puts it in
// its place, so that a run that fails or is cancelled leaves the archive as it was.
#include "support/ZipRecords.h"
#include "support/ZipPlan.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace velmora::zip {

namespace {

ZipCallbacks gCallbacks{};
ZipOptions gOptions{};

struct Failure {
    LONG code;
};

constexpr std::uint32_t kLocalSig = 0x04034b50, kCentralSig = 0x02014b50, kEndSig = 0x06054b50;
constexpr std::uint32_t kDescriptorSig = 0x08074b50, kZip64LocatorSig = 0x07064b50;
constexpr std::uint16_t kFlagEncrypted = 0x0001, kFlagDescriptor = 0x0008, kFlagUtf8 = 0x0800;
constexpr std::uint16_t kVersion = 20;
constexpr std::size_t kChunk = 256 * 1024;

void Put16(std::string& b, std::uint32_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16); }

void Print(const std::string& message) {
    if (gOptions.Quiet || !gCallbacks.Print) return;
    gCallbacks.Print(message.c_str(), static_cast<ULONG>(message.size()));
}

std::wstring Decode(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

// Names compare as the file system compares them: without regard to case, "\" as "/".
std::wstring Fold(std::wstring name) {
    for (auto& c : name)
        if (c == L'\\') c = L'/';
    return tessel::SystemUtility::Lower(name);
}

bool Glob(const wchar_t* p, const wchar_t* s) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*s) {
        if (*p == L'?' || (*p && *p == *s)) {
            ++p;
            ++s;
        } else if (*p == L'*') {
            star = p++;
            resume = s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == L'*') ++p;
    return *p == 0;
}

bool HasWildcards(const std::wstring& s) { return s.find_first_of(L"*?") != std::wstring::npos; }

// An entry of an archive: its central record, and where its local record lies in the file
// it comes from (an old entry is copied from there unchanged).
struct Entry {
    std::uint16_t madeBy = kVersion, needed = kVersion, flags = 0, method = 0, time = 0, date = 0;
    std::uint16_t internalAttr = 0;
    std::uint32_t crc = 0, compressed = 0, size = 0, externalAttr = 0;
    std::string name, extra, comment;
    std::wstring folded;  // for comparisons
    std::uint64_t localOffset = 0, localLength = 0;
};

std::wstring DecodeName(const Entry& e) {
    return Decode((e.flags & kFlagUtf8) ? CP_UTF8 : CP_OEMCP, e.name);
}

class InFile {
public:
    explicit InFile(const std::wstring& path)
        : f_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {}
    bool IsOpen() const { return static_cast<bool>(f_); }
    std::uint64_t Size() const {
        LARGE_INTEGER s{};
        ::GetFileSizeEx(f_.get(), &s);
        return static_cast<std::uint64_t>(s.QuadPart);
    }
    void Seek(std::uint64_t at) {
        LARGE_INTEGER p;
        p.QuadPart = static_cast<LONGLONG>(at);
        if (!::SetFilePointerEx(f_.get(), p, nullptr, FILE_BEGIN)) throw Failure{kZipReadFailed};
    }
    std::size_t Read(void* into, std::size_t n) {
        DWORD got = 0;
        if (!::ReadFile(f_.get(), into, static_cast<DWORD>(n), &got, nullptr)) throw Failure{kZipReadFailed};
        return got;
    }
    void ReadExactly(std::uint64_t at, void* into, std::size_t n) {
        Seek(at);
        auto* p = static_cast<std::uint8_t*>(into);
        while (n) {
            const std::size_t got = Read(p, n);
            if (got == 0) throw Failure{kZipBadArchive};
            p += got;
            n -= got;
        }
    }
    void Close() { f_.reset(); }

private:
    tessel::UniqueFile f_;
};

class OutFile {
public:
    explicit OutFile(const std::wstring& path)
        : f_(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool IsOpen() const { return static_cast<bool>(f_); }
    void Write(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (n) {
            DWORD put = 0;
            if (!::WriteFile(f_.get(), p, static_cast<DWORD>(n), &put, nullptr) || put == 0)
                throw Failure{kZipWriteFailed};
            p += put;
            n -= put;
            at_ += put;
        }
    }
    void Write(const std::string& s) { Write(s.data(), s.size()); }
    void Patch(std::uint64_t where, const std::string& bytes) {
        LARGE_INTEGER p;
        p.QuadPart = static_cast<LONGLONG>(where);
        if (!::SetFilePointerEx(f_.get(), p, nullptr, FILE_BEGIN)) throw Failure{kZipWriteFailed};
        const std::uint64_t keep = at_;
        Write(bytes);
        at_ = keep;
        p.QuadPart = static_cast<LONGLONG>(at_);
        if (!::SetFilePointerEx(f_.get(), p, nullptr, FILE_BEGIN)) throw Failure{kZipWriteFailed};
    }
    std::uint64_t At() const { return at_; }
    void Close() { f_.reset(); }

private:
    tessel::UniqueFile f_;
    std::uint64_t at_ = 0;
};

struct Archive {
    std::vector<Entry> entries;
    std::string comment;
};

// Reads the central directory of an archive; entries that span more than one disk, or the
// 64-bit extensions, are not this library's and the archive is refused rather than damaged.
Archive ReadArchive(InFile& in) {
    Archive a;
    const std::uint64_t size = in.Size();
    if (size < 22) throw Failure{kZipBadArchive};
    const std::size_t tailLength = static_cast<std::size_t>(std::min<std::uint64_t>(size, 22 + 65535));
    std::vector<std::uint8_t> tail(tailLength);
    in.ReadExactly(size - tailLength, tail.data(), tailLength);
    std::ptrdiff_t end = -1;
    for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(tailLength) - 22; i >= 0; --i) {
        if (Get32(&tail[i]) != kEndSig) continue;
        if (i + 22 + Get16(&tail[i + 20]) <= static_cast<std::ptrdiff_t>(tailLength)) {
            end = i;
            break;
        }
    }
    if (end < 0) throw Failure{kZipBadArchive};
    const std::uint8_t* e = &tail[end];
    const std::uint64_t endAt = size - tailLength + static_cast<std::uint64_t>(end);
    const std::uint16_t count = Get16(e + 10);
    const std::uint32_t cdSize = Get32(e + 12), cdOffset = Get32(e + 16);
    if (Get16(e + 4) != 0 || Get16(e + 6) != 0 || Get16(e + 8) != count || count == 0xFFFF ||
        cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF)
        throw Failure{kZipBadArchive};
    if (end >= 20 && Get32(&tail[end - 20]) == kZip64LocatorSig) throw Failure{kZipBadArchive};
    a.comment.assign(reinterpret_cast<const char*>(e + 22), Get16(e + 20));
    if (static_cast<std::uint64_t>(cdOffset) + cdSize > endAt) throw Failure{kZipBadArchive};
    // Data before the archive (a program it was appended to) moves every offset.
    const std::uint64_t shift = endAt - cdOffset - cdSize;
    std::vector<std::uint8_t> cd(cdSize);
    if (cdSize) in.ReadExactly(cdOffset + shift, cd.data(), cdSize);
    std::size_t at = 0;
    for (unsigned k = 0; k < count; ++k) {
        if (at + 46 > cd.size() || Get32(&cd[at]) != kCentralSig) throw Failure{kZipBadArchive};
        const std::uint8_t* c = &cd[at];
        Entry en;
        en.madeBy = Get16(c + 4);
        en.needed = Get16(c + 6);
        en.flags = Get16(c + 8);
        en.method = Get16(c + 10);
        en.time = Get16(c + 12);
        en.date = Get16(c + 14);
        en.crc = Get32(c + 16);
        en.compressed = Get32(c + 20);
        en.size = Get32(c + 24);
        const std::size_t nameLength = Get16(c + 28), extraLength = Get16(c + 30), commentLength = Get16(c + 32);
        if (Get16(c + 34) != 0) throw Failure{kZipBadArchive};
        en.internalAttr = Get16(c + 36);
        en.externalAttr = Get32(c + 38);
        const std::uint32_t local = Get32(c + 42);
        if (en.compressed == 0xFFFFFFFF || en.size == 0xFFFFFFFF || local == 0xFFFFFFFF)
            throw Failure{kZipBadArchive};
        if (at + 46 + nameLength + extraLength + commentLength > cd.size()) throw Failure{kZipBadArchive};
        const char* text = reinterpret_cast<const char*>(c + 46);
        en.name.assign(text, nameLength);
        en.extra.assign(text + nameLength, extraLength);
        en.comment.assign(text + nameLength + extraLength, commentLength);
        at += 46 + nameLength + extraLength + commentLength;

        en.localOffset = local + shift;
        std::uint8_t lh[30];
        in.ReadExactly(en.localOffset, lh, sizeof lh);
        if (Get32(lh) != kLocalSig) throw Failure{kZipBadArchive};
        std::uint64_t recordEnd = en.localOffset + 30 + Get16(lh + 26) + Get16(lh + 28) + en.compressed;
        if (en.flags & kFlagDescriptor) {
            std::uint8_t d[4] = {};
            if (recordEnd + 4 <= endAt) in.ReadExactly(recordEnd, d, 4);
            recordEnd += Get32(d) == kDescriptorSig ? 16 : 12;
        }
        if (recordEnd > endAt) throw Failure{kZipBadArchive};
        en.localLength = recordEnd - en.localOffset;
        en.folded = Fold(DecodeName(en));
        a.entries.push_back(std::move(en));
    }
    return a;
}

// The fields that the local header and the central record share, in their common order:
// version needed to extract up to the name's length.
void PutSharedFields(std::string& b, const Entry& e) {
    Put16(b, e.needed);
    Put16(b, e.flags);
    Put16(b, e.method);
    Put16(b, e.time);
    Put16(b, e.date);
    Put32(b, e.crc);
    Put32(b, e.compressed);
    Put32(b, e.size);
    Put16(b, static_cast<std::uint32_t>(e.name.size()));
}

std::string CentralRecord(const Entry& e, std::uint32_t offset) {
    std::string b;
    Put32(b, kCentralSig);
    Put16(b, e.madeBy);
    PutSharedFields(b, e);
    Put16(b, static_cast<std::uint32_t>(e.extra.size()));
    Put16(b, static_cast<std::uint32_t>(e.comment.size()));
    Put16(b, 0);
    Put16(b, e.internalAttr);
    Put32(b, e.externalAttr);
    Put32(b, offset);
    return b + e.name + e.extra + e.comment;
}

std::string LocalHeader(const Entry& e) {
    std::string b;
    Put32(b, kLocalSig);
    PutSharedFields(b, e);
    Put16(b, 0);
    return b + e.name;
}

// A file or folder to add, with the name it gets in the archive.
struct Source {
    std::wstring path;
    std::wstring entryName;  // "/" separated; a folder's ends in "/"
    bool folder = false;
    DWORD attributes = 0;
    FILETIME written{};
    std::uint64_t size = 0;
};

std::string EncodeName(const std::wstring& name, bool& utf8) {
    utf8 = false;
    for (const wchar_t c : name)
        if (c > 0x7F) utf8 = true;
    if (!utf8) return std::string(name.begin(), name.end());
    return tessel::text::ToUtf8(name);
}

std::wstring EntryNameOf(const std::wstring& path, bool folder) {
    std::wstring name = path;
    if (gOptions.JunkFolderNames) {
        std::wstring trimmed = name;
        while (!trimmed.empty() && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
        const std::size_t cut = trimmed.find_last_of(L"\\/:");
        name = cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
    } else {
        if (name.rfind(L"\\\\?\\", 0) == 0) name = name.substr(4);
        if (name.size() >= 2 && name[1] == L':') name = name.substr(2);
        for (auto& c : name)
            if (c == L'\\') c = L'/';
        // No name climbs out of the folder it is unpacked into.
        for (;;) {
            if (name.rfind(L"/", 0) == 0) name.erase(0, 1);
            else if (name.rfind(L"./", 0) == 0) name.erase(0, 2);
            else if (name.rfind(L"../", 0) == 0) name.erase(0, 3);
            else break;
        }
        while (!name.empty() && name.back() == L'/') name.pop_back();
    }
    if (folder && !name.empty()) name += L'/';
    return name;
}

void AddSource(std::vector<Source>& out, const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& data) {
    Source s;
    s.path = path;
    s.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    s.attributes = data.dwFileAttributes;
    s.written = data.ftLastWriteTime;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.entryName = EntryNameOf(path, s.folder);
    if (s.entryName.empty() || (s.folder && gOptions.NoDirectoryEntries)) return;
    if (s.folder && gOptions.JunkFolderNames) return;  // a folder of no name is nothing to store
    out.push_back(std::move(s));
}

bool Hidden(DWORD attributes) {
    return !gOptions.IncludeSystemAndHidden && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

void Walk(const std::wstring& folder, const std::wstring& pattern, bool recurse, std::vector<Source>& out) {
    WIN32_FIND_DATAW fd;
    const std::wstring prefix = folder.empty() ? L"" : folder + L"\\";
    tessel::UniqueFind find(::FindFirstFileW((prefix + L"*").c_str(), &fd));
    if (!find) return;
    const std::wstring foldedPattern = Fold(pattern);
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (Hidden(fd.dwFileAttributes)) continue;
        WIN32_FILE_ATTRIBUTE_DATA data{fd.dwFileAttributes, fd.ftCreationTime, fd.ftLastAccessTime,
                                       fd.ftLastWriteTime, fd.nFileSizeHigh, fd.nFileSizeLow};
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!recurse) continue;
            AddSource(out, prefix + name, data);
            Walk(prefix + name, pattern, recurse, out);
        } else if (Glob(foldedPattern.c_str(), Fold(name).c_str())) {
            AddSource(out, prefix + name, data);
        }
    } while (::FindNextFileW(find.get(), &fd));
}

// The files and folders that one name covers: a file, a folder (with what is under it when
// recursing), or a wildcard pattern in a folder (and in its subfolders when recursing).
bool Expand(const std::wstring& pattern, std::vector<Source>& out) {
    const std::size_t before = out.size();
    const bool recurse = gOptions.Recurse != 0;
    if (!HasWildcards(pattern)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(pattern.c_str(), GetFileExInfoStandard, &data)) return false;
        AddSource(out, pattern, data);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && recurse) {
            std::wstring folder = pattern;
            while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
            Walk(folder, L"*", true, out);
        }
        return true;
    }
    const std::size_t cut = pattern.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"" : pattern.substr(0, cut);
    Walk(folder, cut == std::wstring::npos ? pattern : pattern.substr(cut + 1), recurse, out);
    return out.size() > before;
}

void DosTime(const FILETIME& utc, std::uint16_t& date, std::uint16_t& time) {
    FILETIME local;
    WORD d = 0x21, t = 0;  // 1980-01-01 for a time the format cannot hold
    if (::FileTimeToLocalFileTime(&utc, &local)) ::FileTimeToDosDateTime(&local, &d, &t);
    date = d;
    time = t;
}

// The traditional encryption of the format, which every unpacking tool reads.
class Encryptor {
public:
    explicit Encryptor(const std::string& password) {
        for (const char c : password) Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Encrypt(std::uint8_t plain) {
        const std::uint32_t t = (keys_[2] | 2) & 0xFFFF;
        const auto mask = static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
        Update(plain);
        return plain ^ mask;
    }

private:
    static std::uint32_t Crc(std::uint32_t crc, std::uint8_t b) {
        static const z_crc_t* table = get_crc_table();
        return table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    void Update(std::uint8_t c) {
        keys_[0] = Crc(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }
    std::uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

// Line-end conversion of a text file, across the blocks it is read in.
class LineEnds {
public:
    void Convert(const std::uint8_t* p, std::size_t n, std::string& out) {
        out.clear();
        for (std::size_t i = 0; i < n; ++i) Put(p[i], out);
    }
    void Finish(std::string& out) {
        out.clear();
        if (heldCr_) Emit('\r', out);
        heldCr_ = false;
    }

private:
    void Put(std::uint8_t c, std::string& out) {
        if (gOptions.CrlfToLf) {
            if (heldCr_) {
                heldCr_ = false;
                if (c != '\n') Emit('\r', out);
            }
            if (c == '\r') {
                heldCr_ = true;
                return;
            }
        }
        Emit(static_cast<char>(c), out);
    }
    void Emit(char c, std::string& out) {
        if (gOptions.LfToCrlf && c == '\n' && last_ != '\r') out += '\r';
        out += c;
        last_ = c;
    }
    bool heldCr_ = false;
    char last_ = 0;
};

// Reads the file in blocks, converted when the run converts line ends and the file is text
// (no NUL byte in its first block), and hands each block to sink.
template <class Sink>
void ReadContent(const std::wstring& path, std::vector<std::uint8_t>& buffer, Sink&& sink) {
    InFile in(path);
    if (!in.IsOpen()) throw Failure{kZipOpenFailed};
    const bool converting = gOptions.CrlfToLf || gOptions.LfToCrlf;
    bool first = true, text = false;
    LineEnds ends;
    std::string converted;
    for (;;) {
        const std::size_t got = in.Read(buffer.data(), buffer.size());
        if (first && converting) text = std::memchr(buffer.data(), 0, got) == nullptr;
        first = false;
        if (got == 0) break;
        if (text) {
            ends.Convert(buffer.data(), got, converted);
            sink(reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size());
        } else {
            sink(buffer.data(), got);
        }
    }
    if (text) {
        ends.Finish(converted);
        if (!converted.empty()) sink(reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size());
    }
}

// A raw deflate stream (no zlib header: the archive's own records frame it), ended however
// the entry's writing ends. zlib keeps the stream's address: it neither copies nor moves.
struct DeflateStream {
    DeflateStream() {
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw Failure{kZipNoMemory};
    }
    ~DeflateStream() { deflateEnd(&z); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    z_stream z{};
};

struct Totals {
    std::uint64_t in = 0, out = 0;
};

// Writes one file or folder as a new entry at the end of out.
Entry WriteSource(const Source& s, OutFile& out, const std::string* password, std::vector<std::uint8_t>& buffer,
                  Totals& totals) {
    Entry e;
    bool utf8 = false;
    e.name = EncodeName(s.entryName, utf8);
    e.folded = Fold(s.entryName);
    if (utf8) e.flags |= kFlagUtf8;
    DosTime(s.written, e.date, e.time);
    e.externalAttr = s.attributes & 0xFF;
    const std::uint64_t offset = out.At();
    e.method = s.folder || s.size == 0 ? 0 : Z_DEFLATED;
    if (password && !s.folder) e.flags |= kFlagEncrypted;

    if (s.folder) {
        out.Write(LocalHeader(e));
        e.localOffset = offset;
        return e;
    }
    // The check byte of the encryption header is the high byte of the content's CRC, known
    // only after a first reading.
    std::uint32_t crc = crc32(0, nullptr, 0);
    std::uint64_t size = 0;
    if (password) {
        ReadContent(s.path, buffer, [&](const std::uint8_t* p, std::size_t n) {
            crc = crc32(crc, p, static_cast<uInt>(n));
            size += n;
        });
    }
    out.Write(LocalHeader(e));
    std::unique_ptr<Encryptor> crypt;
    std::uint64_t written = 0;
    std::string block;
    auto emit = [&](const std::uint8_t* p, std::size_t n) {
        if (crypt) {
            block.assign(reinterpret_cast<const char*>(p), n);
            for (auto& c : block) c = static_cast<char>(crypt->Encrypt(static_cast<std::uint8_t>(c)));
            out.Write(block);
        } else {
            out.Write(p, n);
        }
        written += n;
    };
    if (password) {
        crypt = std::make_unique<Encryptor>(*password);
        std::mt19937 random(static_cast<unsigned>(::GetTickCount() ^ ::GetCurrentProcessId() ^ reinterpret_cast<std::uintptr_t>(&s)));
        std::uint8_t header[12];
        for (int i = 0; i < 11; ++i) header[i] = static_cast<std::uint8_t>(random());
        header[11] = static_cast<std::uint8_t>(crc >> 24);
        emit(header, sizeof header);
    }
    std::uint32_t contentCrc = crc32(0, nullptr, 0);
    std::uint64_t contentSize = 0;
    if (e.method == Z_DEFLATED) {
        DeflateStream stream;
        z_stream& z = stream.z;
        std::vector<std::uint8_t> deflated(kChunk + 1024);
        auto pump = [&](const std::uint8_t* p, std::size_t n, int flush) {
            z.next_in = const_cast<Bytef*>(p);
            z.avail_in = static_cast<uInt>(n);
            for (;;) {
                z.next_out = deflated.data();
                z.avail_out = static_cast<uInt>(deflated.size());
                const int r = deflate(&z, flush);
                if (r == Z_STREAM_ERROR) throw Failure{kZipNoMemory};
                emit(deflated.data(), deflated.size() - z.avail_out);
                if (flush == Z_FINISH ? r == Z_STREAM_END : z.avail_out != 0) break;
            }
        };
        ReadContent(s.path, buffer, [&](const std::uint8_t* p, std::size_t n) {
            contentCrc = crc32(contentCrc, p, static_cast<uInt>(n));
            contentSize += n;
            pump(p, n, Z_NO_FLUSH);
        });
        pump(nullptr, 0, Z_FINISH);
    } else {
        ReadContent(s.path, buffer, [&](const std::uint8_t* p, std::size_t n) {
            contentCrc = crc32(contentCrc, p, static_cast<uInt>(n));
            contentSize += n;
            emit(p, n);
        });
    }
    if (password && (contentCrc != crc || contentSize != size)) throw Failure{kZipReadFailed};  // changed meanwhile
    if (contentSize > 0xFFFFFFFEull || written > 0xFFFFFFFEull) throw Failure{kZipBadParameters};
    e.crc = contentCrc;
    e.size = static_cast<std::uint32_t>(contentSize);
    e.compressed = static_cast<std::uint32_t>(written);
    out.Patch(offset, LocalHeader(e));
    e.localOffset = offset;
    totals.in += contentSize;
    totals.out += written;
    return e;
}

std::string Percent(std::uint64_t packed, std::uint64_t plain) {
    if (plain == 0) return "0%";
    const long long saved = 100 - static_cast<long long>(packed * 100 / plain);
    return std::to_string(saved < 0 ? 0 : saved) + "%";
}

std::string Ansi(const std::wstring& s) { return tessel::SystemUtility::ToAnsi(s); }

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut == 2 && path[1] == L':' ? 3 : cut);
}

// The files that the run's names cover, one per entry name (the first file of a name wins),
// with the volume label in front when the run stores it.
std::vector<Source> CollectSources(const std::vector<std::wstring>& requested) {
    std::vector<Source> sources;
    for (const auto& pattern : requested)
        if (!Expand(pattern, sources)) Print("zip warning: name not matched: " + Ansi(pattern) + "\n");
    std::vector<Source> unique;
    for (auto& s : sources) {
        bool seen = false;
        const std::wstring f = Fold(s.entryName);
        for (const auto& u : unique) seen = seen || Fold(u.entryName) == f;
        if (!seen) unique.push_back(std::move(s));
    }
    if (gOptions.VolumeLabel) {
        wchar_t label[MAX_PATH + 1] = {};
        const std::wstring root = !unique.empty() && unique[0].path.size() > 2 && unique[0].path[1] == L':'
                                      ? unique[0].path.substr(0, 3)
                                      : std::wstring();
        if (::GetVolumeInformationW(root.empty() ? nullptr : root.c_str(), label, MAX_PATH, nullptr, nullptr,
                                    nullptr, nullptr, 0) && label[0]) {
            Source v;
            v.entryName = label;
            v.attributes = 0x08;  // the volume-label attribute of the FAT directory entry
            ::GetSystemTimeAsFileTime(&v.written);
            unique.insert(unique.begin(), v);
        }
    }
    return unique;
}

std::uint32_t DosStamp(std::uint16_t date, std::uint16_t time) { return (static_cast<std::uint32_t>(date) << 16) | time; }

std::vector<PlanName> PlanNames(const Archive& old) {
    std::vector<PlanName> out;
    for (const auto& e : old.entries) out.push_back({DecodeName(e), DosStamp(e.date, e.time)});
    return out;
}

std::vector<PlanName> PlanNames(const std::vector<Source>& sources) {
    std::vector<PlanName> out;
    for (const auto& s : sources) {
        std::uint16_t d, t;
        DosTime(s.written, d, t);
        out.push_back({s.entryName, DosStamp(d, t)});
    }
    return out;
}

// The password of an encrypting run, from the password callback; a run without one is cancelled.
bool AskPassword(const char* archiveName, std::string& password) {
    char buffer[kPasswordBuffer] = {};
    if (!gCallbacks.Password ||
        gCallbacks.Password(buffer, static_cast<LONG_PTR>(sizeof buffer), reinterpret_cast<LONG_PTR>("Enter password: "),
                            reinterpret_cast<LONG_PTR>(archiveName)) != 0) {
        Print("zip error: no password given\n");
        return false;
    }
    std::size_t length = 0;
    while (length < sizeof buffer && buffer[length]) ++length;
    password.assign(buffer, length);
    return true;
}

// Copies an old entry's local record unchanged to the end of out.
Entry CopyEntry(const Entry& from, InFile& in, OutFile& out, std::vector<std::uint8_t>& buffer) {
    Entry e = from;
    e.localOffset = out.At();
    for (std::uint64_t done = 0; done < e.localLength;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, e.localLength - done));
        in.ReadExactly(from.localOffset + done, buffer.data(), n);
        out.Write(buffer.data(), n);
        done += n;
    }
    return e;
}

// The volume label: a name and its attribute, no content.
Entry WriteLabel(const Source& s, OutFile& out) {
    Entry e;
    bool utf8 = false;
    e.name = EncodeName(s.entryName, utf8);
    if (utf8) e.flags |= kFlagUtf8;
    DosTime(s.written, e.date, e.time);
    e.externalAttr = s.attributes;
    e.localOffset = out.At();
    out.Write(LocalHeader(e));
    return e;
}

// The central directory and the end record after the entries.
void WriteDirectory(const std::vector<Entry>& written, const std::string& comment, OutFile& out) {
    if (written.size() > 0xFFFE || out.At() > 0xFFFFFFF0ull) throw Failure{kZipBadParameters};
    const std::uint64_t cdStart = out.At();
    for (const auto& e : written) out.Write(CentralRecord(e, static_cast<std::uint32_t>(e.localOffset)));
    const std::uint64_t cdEnd = out.At();
    std::string end;
    Put32(end, kEndSig);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<std::uint32_t>(written.size()));
    Put16(end, static_cast<std::uint32_t>(written.size()));
    Put32(end, static_cast<std::uint32_t>(cdEnd - cdStart));
    Put32(end, static_cast<std::uint32_t>(cdStart));
    Put16(end, static_cast<std::uint32_t>(comment.size()));
    out.Write(end + comment);
}

// Writes the whole new archive into out, step by step of the plan.
Totals WriteArchive(const ArchivePlan& plan, const Archive& old, InFile& in, const std::vector<Source>& sources,
                    const std::string* password, OutFile& out) {
    std::vector<Entry> written;
    std::vector<std::uint8_t> buffer(kChunk);
    Totals totals;
    for (const auto& p : plan.steps) {
        if (p.old >= 0) {
            written.push_back(CopyEntry(old.entries[p.old], in, out, buffer));
            continue;
        }
        const Source& s = sources[p.source];
        if (gCallbacks.Service &&
            gCallbacks.Service(reinterpret_cast<LONG_PTR>(Ansi(s.entryName).c_str()), static_cast<LONG_PTR>(s.size)) != 0)
            throw Failure{kZipCancelled};
        if (s.path.empty()) {
            written.push_back(WriteLabel(s, out));
            continue;
        }
        if (!s.folder && s.size > 0xFFFFFFFEull) {
            Print("zip error: file too large for this archive: " + Ansi(s.path) + "\n");
            throw Failure{kZipBadParameters};
        }
        const bool replacing = [&] {
            for (const auto& e : old.entries)
                if (e.folded == Fold(s.entryName)) return true;
            return false;
        }();
        Entry e = WriteSource(s, out, s.folder ? nullptr : password, buffer, totals);
        std::string line = (replacing ? "updating: " : "  adding: ") + e.name;
        if (!s.folder)
            line += e.method == Z_DEFLATED ? " (deflated " + Percent(e.compressed, e.size) + ")" : " (stored 0%)";
        Print(line + "\n");
        written.push_back(std::move(e));
    }
    WriteDirectory(written, old.comment, out);
    return totals;
}

// Puts the finished archive in the place of the old one.
void Commit(const wchar_t* finished, const std::wstring& archive, const Totals& totals) {
    if (!::MoveFileExW(finished, archive.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        throw Failure{kZipWriteFailed};
    if (gOptions.Verbose && !gOptions.DeleteEntries)
        Print("total bytes=" + std::to_string(totals.in) + ", compressed=" + std::to_string(totals.out) + " -> " +
              Percent(totals.out, totals.in) + " savings\n");
}

LONG Run(LONG count, const char* archiveName, ZipNames* names) {
    if (!archiveName || !*archiveName || !names || count < 0 || static_cast<std::size_t>(count) > kMostPatterns)
        return kZipBadParameters;
    const std::wstring archive = tessel::SystemUtility::FromAnsi(archiveName);
    const std::string nothingToDo = "zip error: Nothing to do! (" + std::string(archiveName) + ")\n";
    PlanRequest request;
    request.deleting = gOptions.DeleteEntries != 0;
    request.onlyIfNewer = gOptions.UpdateIfNewer != 0;
    request.freshenOnly = gOptions.FreshenOnly != 0;
    for (LONG i = 0; i < count; ++i)
        if (names->Slot[i] && *names->Slot[i]) request.patterns.push_back(tessel::SystemUtility::FromAnsi(names->Slot[i]));
    if (request.patterns.empty()) {
        Print(nothingToDo);
        return kZipNothingToDo;
    }

    Archive old;
    InFile in(archive);
    const bool existed = in.IsOpen();
    if (existed) old = ReadArchive(in);
    if (!existed && ::GetFileAttributesW(archive.c_str()) != INVALID_FILE_ATTRIBUTES) return kZipOpenFailed;
    if (request.deleting && !existed) {
        Print(nothingToDo);
        return kZipNothingToDo;
    }

    const std::vector<Source> sources = request.deleting ? std::vector<Source>{} : CollectSources(request.patterns);
    const ArchivePlan plan = PlanArchive(PlanNames(old), PlanNames(sources), request);
    for (const int i : plan.deleted) Print("deleting: " + old.entries[i].name + "\n");
    if (plan.nothingToDo) {
        Print(request.deleting ? std::string("zip warning: no entry matched\n") : nothingToDo);
        return kZipNothingToDo;
    }

    std::string password;
    const bool encrypting = gOptions.Encrypt && !request.deleting;
    if (encrypting && !AskPassword(archiveName, password)) return kZipCancelled;

    wchar_t tempName[MAX_PATH];
    if (!::GetTempFileNameW(FolderOf(archive).c_str(), L"zpt", 0, tempName)) return kZipTempFailed;
    LONG result = kZipOk;
    try {
        OutFile out(tempName);
        if (!out.IsOpen()) throw Failure{kZipTempFailed};
        const Totals totals = WriteArchive(plan, old, in, sources, encrypting ? &password : nullptr, out);
        out.Close();
        in.Close();
        Commit(tempName, archive, totals);
        return kZipOk;
    } catch (const Failure& f) {
        result = f.code;
    }
    ::DeleteFileW(tempName);
    return result;
}

}  // namespace

std::wstring FoldName(std::wstring name) { return Fold(std::move(name)); }

ArchivePlan PlanArchive(const std::vector<PlanName>& old, const std::vector<PlanName>& sources,
                        const PlanRequest& request) {
    ArchivePlan plan;
    std::vector<std::wstring> oldNames;
    for (const auto& o : old) oldNames.push_back(Fold(o.name));
    if (request.deleting) {
        std::vector<std::wstring> patterns;
        for (const auto& p : request.patterns) patterns.push_back(Fold(p));
        for (std::size_t i = 0; i < old.size(); ++i) {
            bool hit = false;
            for (const auto& p : patterns) hit = hit || Glob(p.c_str(), oldNames[i].c_str());
            if (hit) plan.deleted.push_back(static_cast<int>(i));
            else plan.steps.push_back({static_cast<int>(i), -1});
        }
        plan.nothingToDo = plan.deleted.empty();
        return plan;
    }
    std::vector<bool> used(sources.size(), false);
    for (std::size_t i = 0; i < old.size(); ++i) {
        int replacement = -1;
        for (std::size_t k = 0; k < sources.size() && replacement < 0; ++k)
            if (!used[k] && Fold(sources[k].name) == oldNames[i]) replacement = static_cast<int>(k);
        if (replacement < 0) {
            plan.steps.push_back({static_cast<int>(i), -1});
            continue;
        }
        used[replacement] = true;
        const bool newer = sources[replacement].dosTime > old[i].dosTime;
        if ((request.onlyIfNewer || request.freshenOnly) && !newer) plan.steps.push_back({static_cast<int>(i), -1});
        else plan.steps.push_back({-1, replacement});
    }
    if (!request.freshenOnly)
        for (std::size_t k = 0; k < sources.size(); ++k)
            if (!used[k]) plan.steps.push_back({-1, static_cast<int>(k)});
    plan.nothingToDo = true;
    for (const auto& p : plan.steps) plan.nothingToDo = plan.nothingToDo && p.source < 0;
    return plan;
}

LONG WINAPI ZpInit(ZipCallbacks* callbacks) {
    gCallbacks = callbacks ? *callbacks : ZipCallbacks{};
    return 1;
}

LONG WINAPI ZpSetOptions(ZipOptions* options) {
    gOptions = options ? *options : ZipOptions{};
    return 1;
}

LONG WINAPI ZpArchive(LONG count, const char* archive, ZipNames* names) {
    try {
        return Run(count, archive, names);
    } catch (const Failure& f) {
        return f.code;
    } catch (const std::bad_alloc&) {
        return kZipNoMemory;
    } catch (...) {
        return kZipBadParameters;
    }
}

}  // namespace velmora::zip
