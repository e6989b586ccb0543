// dry_run.cpp - the overlay of a dry run: files the filter would have
// written, kept in memory and served to its later reads.
//
// Each file the run touches gets one record, keyed by its filter path without
// regard to case or separator, as the host's file system names files. The
// record remembers whether the file was on the disk and what it held, so the
// end of the run can tell created, appended, rewritten and removed files
// apart. Streams over the overlay are glibc's custom streams: a write lands
// in the record at once, so a read later in the same call sees it.
#include "platform/dry_run.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cerrno>
#include <cstring>

bool dry_run_active;

#if defined(__GLIBC__)

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct OverlayFile {
    std::string key;
    std::string path;
    bool on_disk_before;
    bool directory_before;
    std::string before;
    bool exists;
    bool directory;
    std::string content;
};

std::vector<OverlayFile> overlay;

// WriteCookie - a stream writing into one record, by index: the vector may move.
struct WriteCookie {
    size_t index;
};

// ReadCookie - a stream reading a copy of a record's content.
struct ReadCookie {
    std::string data;
    size_t position;
};

// overlay_key - the path in upper case with "\" separators.
std::string overlay_key(const char *path)
{
    std::string key(path);
    for (char &c : key) {
        if (c == '/')
            c = '\\';
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return key;
}

// real_state - whether the file is on the disk, is a directory, and its content.
void real_state(const char *path, bool *exists, bool *directory, std::string *content)
{
    char native[4096];
    struct stat st;
    plat_native_path(path, native, sizeof native);
    *exists = native[0] && stat(native, &st) == 0;
    *directory = *exists && S_ISDIR(st.st_mode);
    content->clear();
    if (!*exists || *directory)
        return;
    FILE *f = fopen(native, "rb");
    if (!f)
        return;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        content->append(buffer, n);
    fclose(f);
}

// find_record - the record of a path, or -1.
long find_record(const char *path)
{
    std::string key = overlay_key(path);
    for (size_t i = 0; i < overlay.size(); i++)
        if (overlay[i].key == key)
            return (long)i;
    return -1;
}

// touch_record - the record of a path, made from the disk's state when new.
size_t touch_record(const char *path)
{
    long found = find_record(path);
    if (found >= 0)
        return (size_t)found;
    OverlayFile f;
    f.key = overlay_key(path);
    f.path = path;
    for (char &c : f.path)
        if (c == '\\')
            c = '/';
    real_state(path, &f.on_disk_before, &f.directory_before, &f.before);
    f.exists = f.on_disk_before;
    f.directory = f.directory_before;
    f.content = f.before;
    overlay.push_back(f);
    return overlay.size() - 1;
}

ssize_t write_record(void *cookie, const char *buffer, size_t size)
{
    overlay[static_cast<WriteCookie *>(cookie)->index].content.append(buffer, size);
    return (ssize_t)size;
}

int close_writer(void *cookie)
{
    delete static_cast<WriteCookie *>(cookie);
    return 0;
}

ssize_t read_copy(void *cookie, char *buffer, size_t size)
{
    ReadCookie *r = static_cast<ReadCookie *>(cookie);
    size_t n = r->data.size() - r->position;
    if (n > size)
        n = size;
    memcpy(buffer, r->data.data() + r->position, n);
    r->position += n;
    return (ssize_t)n;
}

int seek_copy(void *cookie, off64_t *offset, int whence)
{
    ReadCookie *r = static_cast<ReadCookie *>(cookie);
    off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (off64_t)r->position : (off64_t)r->data.size();
    off64_t target = base + *offset;
    if (target < 0 || target > (off64_t)r->data.size())
        return -1;
    r->position = (size_t)target;
    *offset = target;
    return 0;
}

int close_reader(void *cookie)
{
    delete static_cast<ReadCookie *>(cookie);
    return 0;
}

// open_writer - a stream appending to a record's content.
FILE *open_writer(size_t index)
{
    cookie_io_functions_t io = {nullptr, write_record, nullptr, close_writer};
    WriteCookie *c = new WriteCookie{index};
    FILE *f = fopencookie(c, "w", io);
    if (!f)
        delete c;
    return f;
}

// open_reader - a stream over a copy of text.
FILE *open_reader(const std::string &text)
{
    cookie_io_functions_t io = {read_copy, nullptr, seek_copy, close_reader};
    ReadCookie *c = new ReadCookie{text, 0};
    FILE *f = fopencookie(c, "r", io);
    if (!f)
        delete c;
    return f;
}

}   // namespace

bool plat_dry_run_begin(void)
{
    plat_begin_call();   // a listing taken before may not show what the disk holds now
    overlay.clear();
    dry_run_active = true;
    return true;
}

void plat_dry_run_end(void)
{
    dry_run_active = false;
    overlay.clear();
}

FILE *dry_run_fopen(const char *path, const char *mode)
{
    if (mode[0] == 'r') {
        long found = find_record(path);
        if (found < 0) {
            char native[4096];
            plat_native_path(path, native, sizeof native);
            return native[0] ? fopen(native, "rb") : nullptr;
        }
        const OverlayFile &f = overlay[(size_t)found];
        if (!f.exists || f.directory) {
            errno = ENOENT;
            return nullptr;
        }
        return open_reader(f.content);
    }
    size_t index = touch_record(path);
    if (overlay[index].directory)
        return nullptr;
    if (mode[0] == 'w' || !overlay[index].exists)
        overlay[index].content.clear();
    overlay[index].exists = true;
    return open_writer(index);
}

// dry_run_raw_open - a descriptor over what the run has made of a file:
// the text reader reads by descriptor, so the overlay's content is put in
// an anonymous memory file. A file the run did not touch is the real one.
int dry_run_raw_open(const char *path)
{
    long found = find_record(path);
    if (found < 0) {
        char native[4096];
        plat_native_path(path, native, sizeof native);
        return native[0] ? open(native, O_RDONLY | O_CLOEXEC) : -1;
    }
    const OverlayFile &f = overlay[(size_t)found];
    if (!f.exists || f.directory) {
        errno = ENOENT;
        return -1;
    }
    int fd = memfd_create("dry-run", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t done = 0;
    while (done < f.content.size()) {
        ssize_t n = write(fd, f.content.data() + done, f.content.size() - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += (size_t)n;
    }
    if (lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

FILE *dry_run_fopen_exclusive(const char *path, bool *existed)
{
    if (existed)
        *existed = false;
    size_t index = touch_record(path);
    if (overlay[index].exists) {
        if (existed)
            *existed = true;
        return nullptr;
    }
    overlay[index].exists = true;
    overlay[index].content.clear();
    return open_writer(index);
}

bool dry_run_exists(const char *path)
{
    long found = find_record(path);
    if (found >= 0)
        return overlay[(size_t)found].exists;
    bool exists, directory;
    std::string content;
    real_state(path, &exists, &directory, &content);
    return exists;
}

bool dry_run_remove(const char *path)
{
    size_t index = touch_record(path);
    if (overlay[index].directory)
        return false;
    overlay[index].exists = false;
    overlay[index].content.clear();
    return true;
}

bool dry_run_rename(const char *from, const char *to)
{
    size_t source = touch_record(from);
    if (!overlay[source].exists || overlay[source].directory)
        return false;
    std::string content = overlay[source].content;
    size_t target = touch_record(to);
    if (overlay[target].directory)
        return false;
    overlay[target].exists = true;
    overlay[target].content = content;
    source = touch_record(from);
    overlay[source].exists = false;
    overlay[source].content.clear();
    return true;
}

bool dry_run_make_directory(const char *path)
{
    size_t index = touch_record(path);
    if (overlay[index].exists)
        return false;
    overlay[index].exists = true;
    overlay[index].directory = true;
    return true;
}

std::vector<DryRunChange> plat_dry_run_changes(void)
{
    std::vector<DryRunChange> changes;
    for (const OverlayFile &f : overlay) {
        if (f.exists && !f.on_disk_before)
            changes.push_back({f.directory ? DRY_RUN_DIRECTORY : DRY_RUN_CREATED, f.path, f.content});
        else if (!f.exists && f.on_disk_before)
            changes.push_back({DRY_RUN_REMOVED, f.path, ""});
        else if (f.exists && !f.directory && f.content != f.before) {
            bool appended = f.content.compare(0, f.before.size(), f.before) == 0;
            changes.push_back({appended ? DRY_RUN_APPENDED : DRY_RUN_REWRITTEN, f.path,
                               appended ? f.content.substr(f.before.size()) : f.content});
        }
    }
    return changes;
}

#else

// Without custom streams the overlay cannot hand the filter a FILE *: a tool
// is told the dry run is unsupported and does not start it.
bool plat_dry_run_begin(void) { return false; }
void plat_dry_run_end(void) { dry_run_active = false; }
FILE *dry_run_fopen(const char *, const char *) { return nullptr; }
FILE *dry_run_fopen_exclusive(const char *, bool *) { return nullptr; }
int dry_run_raw_open(const char *) { return -1; }
bool dry_run_exists(const char *) { return false; }
bool dry_run_remove(const char *) { return false; }
bool dry_run_make_directory(const char *) { return false; }
bool dry_run_rename(const char *, const char *) { return false; }
std::vector<DryRunChange> plat_dry_run_changes(void) { return {}; }

#endif
