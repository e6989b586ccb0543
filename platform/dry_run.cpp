// dry_run.cpp - the overlay of a dry run: files the filter would have
// written, kept in memory and served to its later reads.
//
// Each file the run touches gets one record, keyed by its filter path without
// regard to case or separator, as the host's file system names files. The
// record remembers whether the file was on the disk and what it held, so the
// end of the run can tell created, appended, rewritten and removed files
// apart. A stream handed to the filter is a scratch file of the system's
// temporary directory holding the record's text; the close of a written one
// brings its text back into the record. Everything else is standard C++ over
// the entries the overlay replaced, so it works alike on every system.
#include "platform/dry_run.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cstring>

namespace {

struct OverlayFile {
    std::string key;
    std::string path;          // as first named, with "/" separators
    bool on_disk_before;
    bool directory_before;
    std::string before;
    bool exists;
    bool directory;
    std::string content;
    bool own_identity;         // made or renamed by the run: identity is the overlay's
    PlatFileId identity;
};

// OverlayStream - a scratch stream handed to the filter.
struct OverlayStream {
    FILE *stream;
    size_t record;
    bool writer;
};

// OverlayReader - a text that the text reader reads by descriptor from a record.
struct OverlayReader {
    bool used;
    size_t record;
    size_t at;
};

// The overlay's descriptors start far above any that a system gives a process.
enum { READER_BASE = 1 << 24, READERS = 16, READ_CHUNK = 4096 };

PlatOps below;   // the entries the overlay replaced
bool active;
unsigned long long files_made;   // numbers the files the run makes
std::vector<OverlayFile> overlay;
std::vector<OverlayStream> streams;
OverlayReader readers[READERS];

// The listing in progress: its directory, whether the system lists it, and
// the next record to add to what the system lists.
std::string listed_dir;
bool system_listing;
size_t added_at;

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

// parent_key - the key of the directory that holds a key's file.
std::string parent_key(const std::string &key)
{
    size_t slash = key.rfind('\\');
    return slash == std::string::npos ? "" : key.substr(0, slash);
}

// read_below - the whole content of a file on the disk; false when it cannot
// be read as a file (a directory, or no file).
bool read_below(const char *path, std::string *content)
{
    content->clear();
    int fd = below.open_raw(path);
    if (fd < 0)
        return false;
    char buffer[READ_CHUNK];
    long n;
    while ((n = below.read_raw(fd, buffer, sizeof buffer)) > 0)
        content->append(buffer, (size_t)n);
    below.close_raw(fd);
    return n == 0;
}

// find_record - the record of a key, or -1.
long find_key(const std::string &key)
{
    for (size_t i = 0; i < overlay.size(); i++)
        if (overlay[i].key == key)
            return (long)i;
    return -1;
}

// find_record - the record of a path, or -1.
long find_record(const char *path)
{
    return find_key(overlay_key(path));
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
    f.on_disk_before = below.exists(path);
    f.directory_before = f.on_disk_before && !read_below(path, &f.before);
    f.exists = f.on_disk_before;
    f.directory = f.directory_before;
    f.content = f.before;
    f.own_identity = false;
    f.identity = PlatFileId();
    overlay.push_back(f);
    return overlay.size() - 1;
}

// come_into_being - a record's file is made now: an identity no other file has.
void come_into_being(OverlayFile &f)
{
    if (f.exists)
        return;
    f.own_identity = true;
    f.identity.volume = ~0ULL;
    f.identity.index = ++files_made;
    f.identity.made = 0;
}

// place_accepts - whether the disk has the directory a new file would go
// in: one the run made, or one on the disk. A dry run that wrote where the
// real run cannot would tell of challenges and logs that never happen.
bool place_accepts(const char *path)
{
    std::string parent = parent_key(overlay_key(path));
    if (parent.empty())
        return true;
    long made = find_key(parent);
    if (made >= 0)
        return overlay[(size_t)made].exists && overlay[(size_t)made].directory;
    std::string content;
    return below.exists(parent.c_str()) && !read_below(parent.c_str(), &content);
}

// disk_lets_write - whether the account running the filter may make this
// change on the disk: write an existing file of the disk (whole_file), or
// make or remove a name in its directory. Names the run made are its own. A
// dry run that wrote where the real run is refused would tell of challenges
// and logs that never happen.
bool disk_lets_write(const char *path, bool whole_file)
{
    std::string key = overlay_key(path);
    long found = find_key(key);
    if (whole_file && found >= 0 && overlay[(size_t)found].exists && !overlay[(size_t)found].on_disk_before)
        return true;
    if (whole_file && (found < 0 || overlay[(size_t)found].exists))
        return below.may_access(path, PLAT_MAY_WRITE);
    std::string parent = parent_key(key);
    long made = find_key(parent);
    if (made >= 0 && !overlay[(size_t)made].on_disk_before)
        return true;
    return below.may_access(parent.empty() ? "." : parent.c_str(), PLAT_MAY_WRITE);
}

// hand_out - a scratch stream holding a record's text, at its start for a
// reader and at its end for a writer; null when none can be made.
FILE *hand_out(size_t record, bool writer)
{
    FILE *f = plat_scratch_stream();
    if (!f)
        return nullptr;
    const std::string &text = overlay[record].content;
    if (fwrite(text.data(), 1, text.size(), f) != text.size() || fflush(f) != 0 ||
        fseek(f, 0, writer ? SEEK_END : SEEK_SET) != 0) {
        fclose(f);
        return nullptr;
    }
    streams.push_back({f, record, writer});
    return f;
}

FILE *overlay_open_stream(const char *path, const char *mode)
{
    if (mode[0] == 'r' && !strchr(mode, '+')) {
        long found = find_record(path);
        if (found < 0)
            return below.open_stream(path, mode);
        const OverlayFile &f = overlay[(size_t)found];
        return f.exists && !f.directory ? hand_out((size_t)found, false) : nullptr;
    }
    size_t record = touch_record(path);
    OverlayFile &f = overlay[record];
    if (f.directory || (!f.exists && !place_accepts(path)) || !disk_lets_write(path, f.exists))
        return nullptr;
    if (mode[0] == 'w' || !f.exists)
        f.content.clear();
    come_into_being(f);
    f.exists = true;
    return hand_out(record, true);
}

FILE *overlay_open_private(const char *path)
{
    return overlay_open_stream(path, "w");
}

// A file the disk holds as a link is refused there, and so here.
FILE *overlay_open_append(const char *path)
{
    long found = find_record(path);
    if (found < 0 && below.file_kind(path) != PLAT_PLAIN_FILE)
        return nullptr;
    size_t record = touch_record(path);
    OverlayFile &f = overlay[record];
    if (!f.exists || f.directory || !disk_lets_write(path, true))
        return nullptr;
    if (!f.content.empty() && f.content.back() != '\n')
        f.content += '\n';
    return hand_out(record, true);
}

FILE *overlay_open_exclusive(const char *path, bool *existed)
{
    if (existed)
        *existed = false;
    size_t record = touch_record(path);
    OverlayFile &f = overlay[record];
    if (f.exists) {
        if (existed)
            *existed = true;
        return nullptr;
    }
    if (!place_accepts(path) || !disk_lets_write(path, false))
        return nullptr;
    come_into_being(f);
    f.exists = true;
    f.content.clear();
    return hand_out(record, true);
}

// take_back - a written scratch stream's whole text, into its record.
void take_back(const OverlayStream &s)
{
    std::string &content = overlay[s.record].content;
    content.clear();
    rewind(s.stream);
    char buffer[READ_CHUNK];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, s.stream)) > 0)
        content.append(buffer, n);
}

// A write that failed counts as a failed close, as on the disk.
int overlay_close_stream(FILE *stream)
{
    for (size_t i = 0; i < streams.size(); i++) {
        if (streams[i].stream != stream)
            continue;
        bool failed = ferror(stream) != 0 || fflush(stream) != 0;
        if (streams[i].writer)
            take_back(streams[i]);
        if (fclose(stream) != 0)
            failed = true;
        streams.erase(streams.begin() + (long)i);
        return failed ? EOF : 0;
    }
    return below.close_stream(stream);
}

// reader_of - the overlay's reader behind a descriptor, or null for the system's.
OverlayReader *reader_of(int fd)
{
    return fd >= READER_BASE && fd < READER_BASE + READERS ? &readers[fd - READER_BASE] : nullptr;
}

int overlay_open_raw(const char *path)
{
    long found = find_record(path);
    if (found < 0)
        return below.open_raw(path);
    const OverlayFile &f = overlay[(size_t)found];
    if (!f.exists || f.directory)
        return -1;
    for (int i = 0; i < READERS; i++) {
        if (!readers[i].used) {
            readers[i] = {true, (size_t)found, 0};
            return READER_BASE + i;
        }
    }
    return -1;
}

long overlay_read_raw(int fd, char *buffer, size_t size)
{
    OverlayReader *r = reader_of(fd);
    if (!r)
        return below.read_raw(fd, buffer, size);
    const std::string &content = overlay[r->record].content;
    size_t n = r->at < content.size() ? content.size() - r->at : 0;
    if (n > size)
        n = size;
    memcpy(buffer, content.data() + r->at, n);
    r->at += n;
    return (long)n;
}

bool overlay_seek_raw(int fd, long long offset)
{
    OverlayReader *r = reader_of(fd);
    if (!r)
        return below.seek_raw(fd, offset);
    if (offset < 0)
        return false;
    r->at = (size_t)offset;
    return true;
}

void overlay_close_raw(int fd)
{
    OverlayReader *r = reader_of(fd);
    if (r)
        r->used = false;
    else
        below.close_raw(fd);
}

bool overlay_exists(const char *path)
{
    long found = find_record(path);
    return found >= 0 ? overlay[(size_t)found].exists : below.exists(path);
}

// What the run made is the run's own; what it removed is gone.
bool overlay_may_access(const char *path, int what)
{
    long found = find_record(path);
    if (found < 0 || overlay[(size_t)found].on_disk_before)
        return (found < 0 || overlay[(size_t)found].exists) && below.may_access(path, what);
    return overlay[(size_t)found].exists;
}

// A file that is not there is removed as well as one that goes, as on the disk.
bool overlay_remove(const char *path)
{
    OverlayFile &f = overlay[touch_record(path)];
    if (f.directory || (f.exists && !disk_lets_write(path, false)))
        return false;
    f.exists = false;
    f.content.clear();
    return true;
}

bool overlay_truncate(const char *path, long size)
{
    OverlayFile &f = overlay[touch_record(path)];
    if (!f.exists || f.directory || size < 0 || !disk_lets_write(path, true))
        return false;
    f.content.resize((size_t)size);
    return true;
}

bool overlay_make_directory(const char *path)
{
    OverlayFile &f = overlay[touch_record(path)];
    if (f.exists || !disk_lets_write(path, false))
        return false;
    come_into_being(f);
    f.exists = true;
    f.directory = true;
    return true;
}

bool overlay_create_hidden(const char *path)
{
    OverlayFile &f = overlay[touch_record(path)];
    if (f.directory || !disk_lets_write(path, false))
        return false;
    come_into_being(f);
    f.exists = true;
    f.content.clear();
    return true;
}

// Every name the run wrote is a plain file of the overlay.
PlatFileKind overlay_file_kind(const char *path)
{
    long found = find_record(path);
    if (found < 0)
        return below.file_kind(path);
    const OverlayFile &f = overlay[(size_t)found];
    return !f.exists ? PLAT_NO_FILE : f.directory ? PLAT_OTHER_FILE : PLAT_PLAIN_FILE;
}

// A directory the run made is listed by the overlay alone.
bool overlay_open_listing(const char *dir, PlatListing *listing)
{
    listed_dir = overlay_key(dir);
    added_at = 0;
    system_listing = below.open_listing(dir, listing);
    if (system_listing)
        return true;
    long found = find_key(listed_dir);
    return found >= 0 && overlay[(size_t)found].exists && overlay[(size_t)found].directory;
}

// The system's names but those the run removed, then the files the run made.
bool overlay_next_name(PlatListing *listing, char *name, size_t size)
{
    while (system_listing && below.next_name(listing, name, size)) {
        long found = find_key(listed_dir + "\\" + overlay_key(name));
        if (found < 0 || overlay[(size_t)found].exists)
            return true;
    }
    while (added_at < overlay.size()) {
        const OverlayFile &f = overlay[added_at++];
        if (!f.exists || f.on_disk_before || parent_key(f.key) != listed_dir)
            continue;
        size_t slash = f.path.rfind('/');
        std::string last = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
        if (last.size() < size) {
            memcpy(name, last.c_str(), last.size() + 1);
            return true;
        }
    }
    return false;
}

bool overlay_file_size(const char *path, long *size)
{
    long found = find_record(path);
    if (found < 0)
        return below.file_size(path, size);
    const OverlayFile &f = overlay[(size_t)found];
    if (!f.exists || f.directory)
        return false;
    *size = (long)f.content.size();
    return true;
}

// identity_of - the identity of a file that exists in the run; false when it cannot be told.
bool identity_of(const char *path, const OverlayFile &f, PlatFileId *id)
{
    if (f.own_identity) {
        *id = f.identity;
        return true;
    }
    return below.file_identity(path, id);
}

// move_file - the file of one record takes the name of another, with its
// content and its identity; false when it cannot move.
bool move_file(const char *from, const char *to)
{
    size_t source = touch_record(from);
    if (!overlay[source].exists || overlay[source].directory || !disk_lets_write(from, false) ||
        !disk_lets_write(to, false))
        return false;
    PlatFileId id;
    if (!identity_of(from, overlay[source], &id))
        return false;
    std::string content = overlay[source].content;
    size_t target = touch_record(to);
    if (overlay[target].directory)
        return false;
    overlay[target].exists = true;
    overlay[target].content = content;
    overlay[target].own_identity = true;
    overlay[target].identity = id;
    overlay[source].exists = false;
    overlay[source].content.clear();
    return true;
}

bool overlay_rename(const char *from, const char *to)
{
    return move_file(from, to);
}

bool overlay_rename_new(const char *from, const char *to, bool *taken)
{
    *taken = overlay_exists(to);
    return !*taken && move_file(from, to);
}

bool overlay_file_identity(const char *path, PlatFileId *id)
{
    long found = find_record(path);
    if (found < 0)
        return below.file_identity(path, id);
    const OverlayFile &f = overlay[(size_t)found];
    return f.exists && identity_of(path, f, id);
}

// A replacement in the overlay is a rewrite of the record, taken in at the commit.
FILE *overlay_open_replacement(const char *path, bool, PlatReplacement *r)
{
    r->temp[0] = '\0';
    // The real replacement is written under a new name beside the file.
    bool placed = strlen(path) < sizeof r->path && disk_lets_write(path, false);
    r->stream = placed ? overlay_open_stream(path, "w") : nullptr;
    if (r->stream)
        strcpy(r->path, path);
    return r->stream;
}

// A secret held in the overlay is never on the disk: nobody else can read it.
FILE *overlay_open_secret(const char *path, PlatReplacement *r)
{
    return overlay_open_replacement(path, true, r);
}

bool overlay_commit_replacement(PlatReplacement *r)
{
    bool ok = r->stream && plat_fclose(r->stream) == 0;
    r->stream = nullptr;
    return ok;
}

void overlay_discard_replacement(PlatReplacement *r)
{
    if (r->stream)
        plat_fclose(r->stream);
    r->stream = nullptr;
}

// No other process shares the overlay: its lock is always free.
int overlay_try_lock(const char *, PlatLock *lock)
{
    lock->handle = -1;
    return 1;
}

void overlay_unlock(PlatLock *lock)
{
    lock->handle = -1;
}

void overlay_close_listing(PlatListing *listing)
{
    if (system_listing)
        below.close_listing(listing);
    system_listing = false;
}

// swap_entries - put the overlay's entries in the table (on), or the ones it replaced back.
void swap_entries(bool on)
{
    PlatOps &t = plat_ops;
    t.open_stream = on ? overlay_open_stream : below.open_stream;
    t.open_private = on ? overlay_open_private : below.open_private;
    t.open_exclusive = on ? overlay_open_exclusive : below.open_exclusive;
    t.close_stream = on ? overlay_close_stream : below.close_stream;
    t.open_raw = on ? overlay_open_raw : below.open_raw;
    t.read_raw = on ? overlay_read_raw : below.read_raw;
    t.seek_raw = on ? overlay_seek_raw : below.seek_raw;
    t.close_raw = on ? overlay_close_raw : below.close_raw;
    t.exists = on ? overlay_exists : below.exists;
    t.may_access = on ? overlay_may_access : below.may_access;
    t.remove = on ? overlay_remove : below.remove;
    t.truncate = on ? overlay_truncate : below.truncate;
    t.file_size = on ? overlay_file_size : below.file_size;
    t.rename = on ? overlay_rename : below.rename;
    t.rename_new = on ? overlay_rename_new : below.rename_new;
    t.file_identity = on ? overlay_file_identity : below.file_identity;
    t.open_replacement = on ? overlay_open_replacement : below.open_replacement;
    t.open_secret = on ? overlay_open_secret : below.open_secret;
    t.open_append = on ? overlay_open_append : below.open_append;
    t.commit_replacement = on ? overlay_commit_replacement : below.commit_replacement;
    t.discard_replacement = on ? overlay_discard_replacement : below.discard_replacement;
    t.try_lock = on ? overlay_try_lock : below.try_lock;
    t.unlock = on ? overlay_unlock : below.unlock;
    t.make_directory = on ? overlay_make_directory : below.make_directory;
    t.create_hidden = on ? overlay_create_hidden : below.create_hidden;
    t.file_kind = on ? overlay_file_kind : below.file_kind;
    t.open_listing = on ? overlay_open_listing : below.open_listing;
    t.next_name = on ? overlay_next_name : below.next_name;
    t.close_listing = on ? overlay_close_listing : below.close_listing;
}

// forget_overlay - no record, no stream, no reader. A stream still noted
// may have been closed without plat_fclose: it is not closed again.
void forget_overlay(void)
{
    streams.clear();
    overlay.clear();
    for (OverlayReader &r : readers)
        r.used = false;
}

}   // namespace

bool plat_dry_run_begin(void)
{
    if (active)
        return false;
    plat_begin_call();   // a listing taken before may not show what the disk holds now
    forget_overlay();
    below = plat_ops;
    swap_entries(true);
    active = true;
    return true;
}

void plat_dry_run_end(void)
{
    if (!active)
        return;
    swap_entries(false);
    forget_overlay();
    active = false;
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
