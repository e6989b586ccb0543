// platform_windows.cpp - the platform layer on Windows.
//
// Filter paths are already native: "\" separators, and the file system finds
// names without regard to case, so they go to the system unchanged. Markers get
// the hidden attribute; a hidden file cannot be opened for rewriting, so it is
// made normal for the open and hidden again afterwards. Failures are reported
// by the result only.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ntsecapi.h>

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

// Attributes that make CreateFile refuse to truncate a file it did not create.
static const DWORD REWRITE_BLOCKING = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// usable_path - true when the path is neither empty nor longer than Windows accepts.
static bool usable_path(const char *path)
{
    size_t n = strlen(path);
    return n > 0 && n < MAX_PATH;
}

void plat_native_path(const char *path, char *out, size_t size)
{
    if (size == 0)
        return;
    out[0] = '\0';
    if (strlen(path) >= size)
        return;
    strcpy(out, path);
}

// rewrite_blocked_attributes - the attributes of an existing file when they
// include hidden or system and the mode truncates it, else 0.
static DWORD rewrite_blocked_attributes(const char *path, const char *mode)
{
    if (mode[0] != 'w')
        return 0;
    DWORD attrs = GetFileAttributesA(path);
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & REWRITE_BLOCKING))
        return 0;
    return attrs;
}

// open_as_mode - fopen, with a hidden or system file that the mode truncates
// made normal for the open: a rewritten marker stays hidden, as its owner expects.
static FILE *open_as_mode(const char *path, const char *mode)
{
    DWORD attrs = rewrite_blocked_attributes(path, mode);
    if (!attrs)
        return fopen(path, mode);
    DWORD plain = attrs & ~REWRITE_BLOCKING;
    SetFileAttributesA(path, plain ? plain : FILE_ATTRIBUTE_NORMAL);
    FILE *f = fopen(path, mode);
    SetFileAttributesA(path, attrs);
    return f;
}

static FILE *system_open_stream(const char *path, const char *mode)
{
    if (!usable_path(path))
        return nullptr;
    return open_as_mode(path, mode);
}

// name_is_taken - true when something holds the name: a file, a directory, or
// a file deleted while still open, which Windows keeps until its last close
// and which refuses both opening and a new file of that name.
static bool name_is_taken(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_ACCESS_DENIED;
}

static PlatFileKind system_file_kind(const char *path)
{
    if (!usable_path(path))
        return PLAT_OTHER_FILE;
    DWORD attrs = GetFileAttributesA(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? PLAT_NO_FILE : PLAT_OTHER_FILE;
    }
    if (attrs & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return PLAT_OTHER_FILE;
    // The link count is the file's own, read through a handle that does not
    // follow a reparse point that appeared since.
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return PLAT_OTHER_FILE;
    BY_HANDLE_FILE_INFORMATION info;
    bool plain = GetFileInformationByHandle(h, &info) && info.nNumberOfLinks == 1 &&
                 !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(h);
    return plain ? PLAT_PLAIN_FILE : PLAT_OTHER_FILE;
}

// Access to files is given by the directory's permissions here; a state file
// gets no more and no less than the other files of the filter. A reparse
// point or a file with other hard links is refused: writing through it would
// rewrite another file.
static FILE *system_open_private(const char *path)
{
    if (system_file_kind(path) == PLAT_OTHER_FILE)
        return nullptr;
    return system_open_stream(path, "wt");
}

// ends_line - the file at path is empty, or its last byte ends a line.
static bool ends_line(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    bool ends = fseek(f, -1, SEEK_END) != 0 || fgetc(f) == '\n';
    fclose(f);
    return ends;
}

// A reparse point or a file with other hard links is refused, as for a
// state file; the stream is a text stream, as the file's other lines were
// written.
static FILE *system_open_append(const char *path)
{
    if (system_file_kind(path) != PLAT_PLAIN_FILE)
        return nullptr;
    bool ends = ends_line(path);
    FILE *f = open_as_mode(path, "at");
    if (f && !ends && fputc('\n', f) == EOF) {
        fclose(f);
        return nullptr;
    }
    return f;
}

static FILE *system_open_exclusive(const char *path, bool *existed)
{
    if (existed)
        *existed = false;
    if (!usable_path(path))
        return nullptr;
    int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        if (existed)
            *existed = errno == EEXIST || (errno == EACCES && name_is_taken(path));
        return nullptr;
    }
    FILE *f = _fdopen(fd, "wt");
    if (!f)
        _close(fd);
    return f;
}

static bool system_exists(const char *path)
{
    return usable_path(path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The C library tells a read-only file apart; the access lists of the
// files are the system's to enforce when the filter opens them.
static bool system_may_access(const char *path, int what)
{
    return usable_path(path) && _access(path, (what & PLAT_MAY_READ ? 4 : 0) | (what & PLAT_MAY_WRITE ? 2 : 0)) == 0;
}

static bool system_remove(const char *path)
{
    if (!usable_path(path))
        return false;
    if (DeleteFileA(path))
        return true;
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

static bool system_truncate(const char *path, long size)
{
    if (!usable_path(path) || size < 0)
        return false;
    int fd = _open(path, _O_WRONLY | _O_BINARY);
    if (fd < 0)
        return false;
    bool ok = _chsize(fd, size) == 0;
    if (_close(fd) != 0)
        ok = false;
    return ok;
}

// file_attributes - the size and times of what path names; false when there is none.
static bool file_attributes(const char *path, WIN32_FILE_ATTRIBUTE_DATA *data)
{
    return usable_path(path) && GetFileAttributesExA(path, GetFileExInfoStandard, data);
}

static bool system_file_size(const char *path, long *size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!file_attributes(path, &data))
        return false;
    *size = (long)data.nFileSizeLow;
    return true;
}

// The FILETIME counts 100-nanosecond steps from 1601; time_t counts seconds from 1970.
static bool system_modified_time(const char *path, time_t *when)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!file_attributes(path, &data))
        return false;
    unsigned long long ticks =
        ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
    *when = (time_t)((long long)(ticks / 10000000ULL) - 11644473600LL);
    return true;
}

static bool system_rename(const char *from, const char *to)
{
    if (!usable_path(from) || !usable_path(to))
        return false;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Without the replacing flag the system refuses a name that is taken.
static bool system_rename_new(const char *from, const char *to, bool *taken)
{
    *taken = false;
    if (!usable_path(from) || !usable_path(to))
        return false;
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD e = GetLastError();
    *taken = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS;
    return false;
}

// The file's number on its volume never comes back while the file exists,
// and NTFS adds a sequence to it; the creation time tells a file made later
// apart where a volume reuses numbers (FAT).
static bool system_file_identity(const char *path, PlatFileId *id)
{
    if (!usable_path(path))
        return false;
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok)
        return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = ((unsigned long long)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    id->made = (long long)(((unsigned long long)info.ftCreationTime.dwHighDateTime << 32) |
                           info.ftCreationTime.dwLowDateTime);
    return true;
}

// replacement_temp - the replacement's names: the file at path and its
// temporary beside it, named after this process (any old one removed);
// false for a path that is unusable or no plain file.
static bool replacement_temp(const char *path, PlatReplacement *r)
{
    r->stream = nullptr;
    r->temp[0] = '\0';
    if (!usable_path(path))
        return false;
    strcpy(r->path, path);
    strcpy(r->native, path);
    if (system_file_kind(path) == PLAT_OTHER_FILE)
        return false;
    int n = snprintf(r->temp, sizeof r->temp, "%s.%lu.new", path, (unsigned long)GetCurrentProcessId());
    if (n < 0 || n >= MAX_PATH)
        return false;
    DeleteFileA(r->temp);
    return true;
}

// temp_stream - the replacement's stream over the descriptor of its new
// temporary; null, the temporary removed, when it cannot be had.
static FILE *temp_stream(int fd, PlatReplacement *r)
{
    if (fd < 0)
        return nullptr;
    r->stream = _fdopen(fd, "wt");
    if (!r->stream) {
        _close(fd);
        DeleteFileA(r->temp);
    }
    return r->stream;
}

// A reparse point (a symbolic link, a junction), a directory or a file with
// other hard links is never replaced: the name may stand for another file,
// and the filter refuses rather than guess which one the sysop meant.
static FILE *system_open_replacement(const char *path, bool, PlatReplacement *r)
{
    if (!replacement_temp(path, r))
        return nullptr;
    return temp_stream(_open(r->temp, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE), r);
}

// OwnerOnly - security attributes whose access list lets the account
// running this program, and no one else, at the file.
struct OwnerOnly {
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    alignas(8) unsigned char acl[512];
    alignas(8) unsigned char user[512];   // a TOKEN_USER and its SID
};

// owner_only - fill o; false when the system cannot give the account or
// build the list, and the file then gets what the directory gives.
static bool owner_only(OwnerOnly *o)
{
    HANDLE token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool ok = GetTokenInformation(token, TokenUser, o->user, sizeof o->user, &size);
    CloseHandle(token);
    PACL acl = (PACL)o->acl;
    // Protected: no entry of the directory's list is inherited.
    ok = ok && InitializeAcl(acl, sizeof o->acl, ACL_REVISION) &&
         AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, ((TOKEN_USER *)o->user)->User.Sid) &&
         InitializeSecurityDescriptor(&o->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&o->descriptor, TRUE, acl, FALSE) &&
         SetSecurityDescriptorControl(&o->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    o->attributes.nLength = sizeof o->attributes;
    o->attributes.lpSecurityDescriptor = &o->descriptor;
    o->attributes.bInheritHandle = FALSE;
    return ok;
}

// The list is given when the file is created, so the secret is never in a
// file that others may open, and moving it into place keeps the list.
static FILE *system_open_secret(const char *path, PlatReplacement *r)
{
    static OwnerOnly o;   // large for a stack; one secret is written at a time
    if (!replacement_temp(path, r))
        return nullptr;
    HANDLE h = CreateFileA(r->temp, GENERIC_WRITE, 0, owner_only(&o) ? &o.attributes : nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle((intptr_t)h, _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileA(r->temp);
        return nullptr;
    }
    return temp_stream(fd, r);
}

// Access rights come from the directory; a hidden old file's attribute goes to the new one.
static bool system_commit_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return false;
    bool ok = plat_fclose(r->stream) == 0;
    r->stream = nullptr;
    DWORD attrs = GetFileAttributesA(r->native);
    if (ok && !MoveFileExA(r->temp, r->native, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false;
    if (!ok)
        DeleteFileA(r->temp);
    else if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_HIDDEN))
        SetFileAttributesA(r->native, attrs & ~FILE_ATTRIBUTE_READONLY);
    return ok;
}

static void system_discard_replacement(PlatReplacement *r)
{
    if (!r->stream)
        return;
    plat_fclose(r->stream);
    r->stream = nullptr;
    DeleteFileA(r->temp);
}

// The lock covers the file's first byte; the handle stays open while it is held.
static int system_try_lock(const char *path, PlatLock *lock)
{
    lock->handle = -1;
    if (!usable_path(path))
        return -1;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    OVERLAPPED at;
    memset(&at, 0, sizeof at);
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        lock->handle = (long long)(intptr_t)h;
        return 1;
    }
    bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(h);
    return busy ? 0 : -1;
}

// Closing the handle releases the lock with it.
static void system_unlock(PlatLock *lock)
{
    if (lock->handle != -1)
        CloseHandle((HANDLE)(intptr_t)lock->handle);
    lock->handle = -1;
}

static void system_sleep_ms(int ms)
{
    Sleep((DWORD)ms);
}

// The performance counter goes forward at a fixed rate from the start of
// the system, on every Windows since 2000.
static long long system_clock_ms(void)
{
    LARGE_INTEGER count, rate;
    if (!QueryPerformanceFrequency(&rate) || rate.QuadPart == 0 || !QueryPerformanceCounter(&count))
        return (long long)GetTickCount();
    return (long long)(count.QuadPart / rate.QuadPart * 1000 + count.QuadPart % rate.QuadPart * 1000 / rate.QuadPart);
}

static bool system_make_directory(const char *path)
{
    return usable_path(path) && CreateDirectoryA(path, nullptr) != 0;
}

// The marker is written first and hidden afterwards: a hidden attribute given
// at creation would make a later rewrite of the same marker fail.
static bool system_create_hidden(const char *path)
{
    FILE *f = plat_fopen(path, "wt");
    if (!f)
        return false;
    if (plat_fclose(f) != 0)
        return false;
    return SetFileAttributesA(path, FILE_ATTRIBUTE_HIDDEN) != 0;
}

// day_of_year - 0-based day of the year of a calendar date, as struct tm keeps it.
static int day_of_year(int year, int month, int day)
{
    static const int before_month[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return before_month[month - 1] + (leap && month > 2 ? 1 : 0) + day - 1;
}

void plat_system_local_time(struct tm *out, int *hundredths)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    memset(out, 0, sizeof *out);
    out->tm_year = st.wYear - 1900;
    out->tm_mon = st.wMonth - 1;
    out->tm_mday = st.wDay;
    out->tm_hour = st.wHour;
    out->tm_min = st.wMinute;
    out->tm_sec = st.wSecond;
    out->tm_wday = st.wDayOfWeek;
    out->tm_yday = day_of_year(st.wYear, st.wMonth, st.wDay);
    out->tm_isdst = -1;
    *hundredths = st.wMilliseconds / 10;
}

// The system finds names without regard to case itself; nothing is kept between calls.
void plat_begin_call(void)
{
    plat_forget_text_block();
}

// Text files are opened in binary mode: the text reader itself takes "\r\n"
// for "\n" and stops at a Ctrl-Z, as the C runtime's text mode would, and
// its positions are plain file positions whatever line ends the file has.
static int system_open_raw(const char *path)
{
    if (!usable_path(path))
        return -1;
    return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

static long system_read_raw(int fd, char *buffer, size_t size)
{
    return _read(fd, buffer, (unsigned)size);
}

static bool system_seek_raw(int fd, long long offset)
{
    return _lseeki64(fd, offset, SEEK_SET) == offset;
}

static void system_close_raw(int fd)
{
    _close(fd);
}

// RtlGenRandom lives in advapi32, which every Windows has since 2000.
bool plat_system_random(void *buffer, size_t size)
{
    unsigned char *p = (unsigned char *)buffer;
    while (size > 0) {
        ULONG n = size < 65536 ? (ULONG)size : 65536;
        if (!RtlGenRandom(p, n))
            return false;
        p += n;
        size -= n;
    }
    return true;
}

static bool system_open_listing(const char *dir, PlatListing *listing)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    listing->handle = nullptr;
    listing->first_pending = false;
    if (snprintf(pattern, sizeof pattern, "%s\\*", dir) >= (int)sizeof pattern)
        return false;
    HANDLE h = FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    listing->handle = h;
    if (strlen(found.cFileName) < sizeof listing->first_name) {
        strcpy(listing->first_name, found.cFileName);
        listing->first_pending = true;
    }
    return true;
}

static bool system_next_name(PlatListing *listing, char *name, size_t size)
{
    if (listing->first_pending) {
        listing->first_pending = false;
        if (strlen(listing->first_name) < size) {
            strcpy(name, listing->first_name);
            return true;
        }
    }
    WIN32_FIND_DATAA found;
    while (FindNextFileA((HANDLE)listing->handle, &found)) {
        if (strlen(found.cFileName) < size) {
            strcpy(name, found.cFileName);
            return true;
        }
    }
    return false;
}

static void system_close_listing(PlatListing *listing)
{
    FindClose((HANDLE)listing->handle);
    listing->handle = nullptr;
}

PlatOps plat_ops = {
    system_open_stream,
    system_open_private,
    system_open_exclusive,
    plat_std_close_stream,
    system_open_raw,
    system_read_raw,
    system_seek_raw,
    system_close_raw,
    system_exists,
    system_may_access,
    system_remove,
    system_truncate,
    system_file_size,
    system_modified_time,
    system_rename,
    system_rename_new,
    system_file_identity,
    system_open_replacement,
    system_commit_replacement,
    system_discard_replacement,
    system_try_lock,
    system_unlock,
    system_sleep_ms,
    system_make_directory,
    system_create_hidden,
    system_file_kind,
    system_open_listing,
    system_next_name,
    system_close_listing,
    plat_system_local_time,
    plat_std_now_seconds,
    system_clock_ms,
    plat_system_random,
    plat_std_getenv,
    system_open_secret,
    system_open_append,
};
