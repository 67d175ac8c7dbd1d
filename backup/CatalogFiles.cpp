#include "backup/CatalogFiles.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <type_traits>

#include "backup/Utf16Text.h"

namespace bexlo {

namespace {

// The longest long-form path, each unit taking up to three bytes.
constexpr int kLongestName = 32767 * 3;

struct OpenFile {
    sqlite3_file base;
    std::unique_ptr<RandomAccessFile> file;
    FileSystem* fs;
};
// SQLite hands the methods the address of `base`, which is that of the whole.
static_assert(std::is_standard_layout_v<OpenFile>);

OpenFile& Opened(sqlite3_file* file) {
    return *reinterpret_cast<OpenFile*>(file);
}

FileSystem& FileSystemOf(sqlite3_vfs* vfs) {
    return *static_cast<FileSystem*>(vfs->pAppData);
}

// Nothing thrown crosses into SQLite's C.
template <typename Call>
int Guarded(int failure, Call call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (...) {
        return failure;
    }
}

bool DiskFull(std::uint32_t error) {
    return error == file_error::kDiskFull || error == file_error::kHandleDiskFull;
}

int Close(sqlite3_file* file) {
    Opened(file).~OpenFile();
    file->pMethods = nullptr;
    return SQLITE_OK;
}

int Read(sqlite3_file* file, void* into, int amount, sqlite3_int64 offset) {
    return Guarded(SQLITE_IOERR_READ, [&] {
        const auto bytes = static_cast<std::uint8_t*>(into);
        const auto count = static_cast<std::size_t>(amount);
        const std::optional<std::size_t> read =
            Opened(file).file->ReadAt(static_cast<std::uint64_t>(offset), std::span(bytes, count));
        if (!read) {
            return SQLITE_IOERR_READ;
        }
        if (*read < count) {
            // SQLite reads past the end of a file and takes zeros for what is not there.
            std::fill(bytes + *read, bytes + count, std::uint8_t{0});
            return SQLITE_IOERR_SHORT_READ;
        }
        return SQLITE_OK;
    });
}

int Write(sqlite3_file* file, const void* from, int amount, sqlite3_int64 offset) {
    return Guarded(SQLITE_IOERR_WRITE, [&] {
        const auto start = static_cast<std::uint64_t>(offset);
        const auto count = static_cast<std::size_t>(amount);
        if (start + count > kCatalogFileLimit) {
            return SQLITE_FULL;
        }
        OpenFile& open = Opened(file);
        if (!open.file->WriteAt(start, std::span(static_cast<const std::uint8_t*>(from), count))) {
            return DiskFull(open.fs->LastError()) ? SQLITE_FULL : SQLITE_IOERR_WRITE;
        }
        return SQLITE_OK;
    });
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return Guarded(SQLITE_IOERR_TRUNCATE, [&] {
        if (static_cast<std::uint64_t>(size) > kCatalogFileLimit) {
            return SQLITE_FULL;
        }
        return Opened(file).file->Truncate(static_cast<std::uint64_t>(size))
                   ? SQLITE_OK
                   : SQLITE_IOERR_TRUNCATE;
    });
}

int Sync(sqlite3_file* file, int) {
    return Guarded(SQLITE_IOERR_FSYNC,
                   [&] { return Opened(file).file->Sync() ? SQLITE_OK : SQLITE_IOERR_FSYNC; });
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Guarded(SQLITE_IOERR_FSTAT, [&] {
        const std::optional<std::uint64_t> bytes = Opened(file).file->Size();
        if (!bytes) {
            return SQLITE_IOERR_FSTAT;
        }
        *size = static_cast<sqlite3_int64>(*bytes);
        return SQLITE_OK;
    });
}

// The file is open for this program alone: no other connection can hold a lock on it.
int Lock(sqlite3_file*, int) {
    return SQLITE_OK;
}

int CheckReservedLock(sqlite3_file*, int* held) {
    *held = 0;
    return SQLITE_OK;
}

int FileControl(sqlite3_file*, int, void*) {
    return SQLITE_NOTFOUND;
}

int SectorSize(sqlite3_file*) {
    return 4096;
}

int DeviceCharacteristics(sqlite3_file*) {
    return SQLITE_IOCAP_POWERSAFE_OVERWRITE;
}

// Version 1: no shared memory and no mapping, which a rollback journal does without.
constexpr sqlite3_io_methods kFileMethods = [] {
    sqlite3_io_methods methods{};
    methods.iVersion = 1;
    methods.xClose = Close;
    methods.xRead = Read;
    methods.xWrite = Write;
    methods.xTruncate = Truncate;
    methods.xSync = Sync;
    methods.xFileSize = FileSize;
    methods.xLock = Lock;
    methods.xUnlock = Lock;
    methods.xCheckReservedLock = CheckReservedLock;
    methods.xFileControl = FileControl;
    methods.xSectorSize = SectorSize;
    methods.xDeviceCharacteristics = DeviceCharacteristics;
    return methods;
}();

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    file->pMethods = nullptr;
    // The database and its journal only: temporary data stays in memory.
    constexpr int kAdmitted = SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL;
    if (name == nullptr || (flags & kAdmitted) == 0 || (flags & SQLITE_OPEN_DELETEONCLOSE) != 0) {
        return SQLITE_CANTOPEN;
    }
    return Guarded(SQLITE_CANTOPEN, [&] {
        FileSystem& fs = FileSystemOf(vfs);
        std::unique_ptr<RandomAccessFile> opened =
            fs.OpenOwnFile(CatalogFilePath(name), (flags & SQLITE_OPEN_CREATE) != 0);
        if (!opened) {
            return SQLITE_CANTOPEN;
        }
        new (file) OpenFile{{&kFileMethods}, std::move(opened), &fs};
        if (outFlags != nullptr) {
            *outFlags = flags;
        }
        return SQLITE_OK;
    });
}

int Delete(sqlite3_vfs* vfs, const char* name, int) {
    return Guarded(SQLITE_IOERR_DELETE, [&] {
        FileSystem& fs = FileSystemOf(vfs);
        if (fs.RemoveFile(CatalogFilePath(name))) {
            return SQLITE_OK;
        }
        return Missing(fs.LastError()) ? SQLITE_IOERR_DELETE_NOENT : SQLITE_IOERR_DELETE;
    });
}

int Access(sqlite3_vfs* vfs, const char* name, int, int* result) {
    return Guarded(SQLITE_IOERR_ACCESS, [&] {
        FileSystem& fs = FileSystemOf(vfs);
        const std::optional<FileEntry> found = fs.Find(CatalogFilePath(name));
        // A journal that cannot be asked after may be one that must be rolled back.
        if (!found && !Missing(fs.LastError())) {
            return SQLITE_IOERR_ACCESS;
        }
        *result = found && !found->folder ? 1 : 0;
        return SQLITE_OK;
    });
}

// The catalog names its files by their full long form already.
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    const std::size_t length = std::strlen(name);
    if (length >= static_cast<std::size_t>(size)) {
        return SQLITE_CANTOPEN;
    }
    std::memcpy(out, name, length + 1);
    return SQLITE_OK;
}

// The journal's nonce and the like: nothing secret rests on it.
int Randomness(sqlite3_vfs*, int size, char* out) {
    static std::mt19937_64 engine(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int i = 0; i < size; ++i) {
        out[i] = static_cast<char>(engine());
    }
    return size;
}

int Sleep(sqlite3_vfs*, int microseconds) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    return microseconds;
}

// Milliseconds since noon on 24 November 4714 BC, the Julian day count SQLite keeps time in.
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) {
    constexpr sqlite3_int64 kUnixEpoch = 210866760000000;
    *now = kUnixEpoch + std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    return SQLITE_OK;
}

int CurrentTime(sqlite3_vfs* vfs, double* now) {
    sqlite3_int64 milliseconds = 0;
    CurrentTimeInt64(vfs, &milliseconds);
    *now = static_cast<double>(milliseconds) / 86400000.0;
    return SQLITE_OK;
}

int GetLastError(sqlite3_vfs*, int, char*) {
    return 0;
}

// What every layer gives: randomness, time and sleep; no files.
sqlite3_vfs Fileless(const char* name) {
    sqlite3_vfs vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = sizeof(OpenFile);
    vfs.mxPathname = kLongestName;
    vfs.zName = name;
    vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename, sqlite3_file* file, int, int*) {
        file->pMethods = nullptr;
        return SQLITE_CANTOPEN;
    };
    vfs.xDelete = [](sqlite3_vfs*, const char*, int) { return SQLITE_IOERR_DELETE_NOENT; };
    vfs.xAccess = [](sqlite3_vfs*, const char*, int, int* result) {
        *result = 0;
        return SQLITE_OK;
    };
    vfs.xFullPathname = FullPathname;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    return vfs;
}

// SQLite's default layer, which its in-memory databases and its own randomness go through.
sqlite3_vfs& Default() {
    static sqlite3_vfs vfs = Fileless("bexlo-memory");
    return vfs;
}

struct Layer {
    std::string name;
    sqlite3_vfs vfs{};
    int users = 0;
};

std::map<FileSystem*, std::unique_ptr<Layer>>& Layers() {
    static std::map<FileSystem*, std::unique_ptr<Layer>> layers;
    return layers;
}

bool Started() {
    static const bool started = sqlite3_initialize() == SQLITE_OK;
    return started;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

std::mutex& SqliteLock() {
    static std::mutex lock;
    return lock;
}

CatalogFileLayer::CatalogFileLayer(FileSystem& fs) : fs_(fs) {
    static std::uint64_t made = 0;
    if (!Started()) {
        return;
    }
    std::unique_ptr<Layer>& layer = Layers()[&fs];
    if (!layer) {
        layer = std::make_unique<Layer>();
        layer->name = "bexlo-" + std::to_string(++made);
        sqlite3_vfs& vfs = layer->vfs = Fileless(layer->name.c_str());
        vfs.pAppData = &fs;
        vfs.xOpen = Open;
        vfs.xDelete = Delete;
        vfs.xAccess = Access;
        if (sqlite3_vfs_register(&layer->vfs, 0) != SQLITE_OK) {
            Layers().erase(&fs);
            return;
        }
    }
    ++layer->users;
    name_ = layer->name.c_str();
}

CatalogFileLayer::~CatalogFileLayer() {
    const auto layer = Layers().find(&fs_);
    if (name_ == nullptr || layer == Layers().end() || --layer->second->users > 0) {
        return;
    }
    sqlite3_vfs_unregister(&layer->second->vfs);
    Layers().erase(layer);
}

const char* CatalogFileLayer::Name() const {
    return name_;
}

std::string CatalogFileName(std::wstring_view path) {
    const std::u16string units = ToUtf16(path);
    std::string name;
    name.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        AppendUtf8(name, code);
    }
    return name;
}

std::wstring CatalogFilePath(std::string_view name) {
    std::u16string units;
    units.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < name.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return FromUtf16(units);
}

}  // namespace bexlo

// SQLite is built with no layer of its own, and starts with one that opens no file at all: the
// catalog registers one per file system it opens a database on.
extern "C" int sqlite3_os_init() {
    return sqlite3_vfs_register(&bexlo::Default(), 1);
}

extern "C" int sqlite3_os_end() {
    return sqlite3_vfs_unregister(&bexlo::Default());
}
