// platform_text.cpp - reading text files in large blocks, alike on every system.
//
// One static block serves every reader: users.prt of 100,000 entries is read
// in 64 KiB reads and its lines are found by memchr, with no heap and no copy
// of a line that the caller only looks at. The block belongs to one reader at
// a time; a reader that finds it taken by another (a nested reader, the error
// reporter reading config.prt while users.prt is open) positions its file at
// its own next byte and reads from there. Nothing survives the close of a
// file or the start of a call, so every call reads the files as they are now.
// Failures end the text and are told by plat_text_failed.
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/platform_ops.h"

#include <cstring>

// A piece is looked for within this many bytes, so that a full window always
// fits in the block beside what is still unread.
enum { PIECE_MAX = PLAT_TEXT_BLOCK / 2 };

// The Ctrl-Z that ends a text read as text on Windows.
static const char TEXT_END = 0x1A;

PlatTextBlock plat_text_block;
static PlatTextBlock &tb = plat_text_block;
static size_t block_dirty;   // bytes[0 .. block_dirty) may hold bytes of some file
static unsigned last_id;

void plat_forget_text_block(void)
{
    tb.owner = 0;
}

bool plat_open_text(const char *path, PlatText *text)
{
    text->fd = plat_ops.open_raw(path);
    if (text->fd < 0)
        return false;
    if (++last_id == 0)
        last_id = 1;
    text->id = last_id;
    text->offset = 0;
    text->position = 0;
    text->failed = false;
    return true;
}

// Users.prt, state files and password tables pass through the block, so it
// is cleared once no open reader needs it, as a local buffer would be.
void plat_close_text(PlatText *text)
{
    if (tb.owner == text->id)
        tb.owner = 0;
    if (tb.owner == 0) {
        memset(tb.bytes, 0, block_dirty);
        block_dirty = 0;
    }
    if (text->fd >= 0)
        plat_ops.close_raw(text->fd);
    text->fd = -1;
}

// claim_block - make the block hold this reader's bytes from its own place;
// false when its file cannot be positioned there. A file just opened, or
// read to where its reader stands, is not positioned again.
static bool claim_block(PlatText *text)
{
    if (tb.owner == text->id)
        return true;
    tb.owner = 0;
    if (text->failed || (text->position != text->offset && !plat_ops.seek_raw(text->fd, text->offset))) {
        text->failed = true;
        return false;
    }
    text->position = text->offset;
    tb.base = text->offset;
    tb.at = tb.end = 0;
    tb.last = false;
    tb.owner = text->id;
    return true;
}

// fill_block - read until need bytes are unread in the block or the text ends.
// The unread bytes move to the front first, so each read asks for nearly a block.
static void fill_block(PlatText *text, size_t need)
{
    while (!tb.last && tb.end - tb.at < need) {
        if (tb.at > 0) {
            memmove(tb.bytes, tb.bytes + tb.at, tb.end - tb.at);
            tb.base += (long long)tb.at;
            tb.end -= tb.at;
            tb.at = 0;
        }
        long n = plat_ops.read_raw(text->fd, tb.bytes + tb.end, sizeof tb.bytes - tb.end);
        if (n <= 0) {
            if (n < 0)
                text->failed = true;
            tb.last = true;
            break;
        }
        text->position += n;
        const char *end = (const char *)memchr(tb.bytes + tb.end, TEXT_END, (size_t)n);
        if (end) {
            n = (long)(end - (tb.bytes + tb.end));
            tb.last = true;
        }
        tb.end += (size_t)n;
        if (tb.end > block_dirty)
            block_dirty = tb.end;
    }
}

// The rule is fgets's over the text as Windows reads it: up to size - 1
// characters, "\r\n" counting as the one "\n" it stands for; a "\r" elsewhere
// is an ordinary character. The piece's bytes stay in the block until the
// next read, so the caller may look at them where they are.
bool plat_next_piece_slow(PlatText *text, int size, PlatPiece *piece)
{
    if (size < 2 || !claim_block(text))
        return false;
    size_t window = (size_t)size < (size_t)PIECE_MAX ? (size_t)size : (size_t)PIECE_MAX;
    if (tb.end - tb.at < window)
        fill_block(text, window);
    size_t unread = tb.end - tb.at;
    if (unread == 0)
        return false;
    const char *p = tb.bytes + tb.at;
    size_t seen = unread < window ? unread : window;
    const char *nl = (const char *)memchr(p, '\n', seen);
    size_t at = nl ? (size_t)(nl - p) : 0, raw;
    piece->text = p;
    piece->line_end = true;
    if (nl && at > 0 && p[at - 1] == '\r') {
        piece->length = at - 1;
        raw = at + 1;
    } else if (nl && at + 2 <= window) {
        piece->length = at;
        raw = at + 1;
    } else {
        piece->length = seen < window - 1 ? seen : window - 1;
        raw = piece->length;
        piece->line_end = false;
    }
    tb.at += raw;
    text->offset = tb.base + (long long)tb.at;
    return true;
}

char *plat_copy_piece(const PlatPiece *piece, char *line)
{
    memcpy(line, piece->text, piece->length);
    size_t n = piece->length;
    if (piece->line_end)
        line[n++] = '\n';
    line[n] = '\0';
    return line;
}

char *plat_read_line(char *line, int size, PlatText *text)
{
    PlatPiece piece;
    if (!plat_next_piece(text, size, &piece))
        return nullptr;
    return plat_copy_piece(&piece, line);
}

int plat_peek_char(PlatText *text)
{
    if (!claim_block(text))
        return EOF;
    fill_block(text, 2);
    size_t unread = tb.end - tb.at;
    if (unread == 0)
        return EOF;
    const char *p = tb.bytes + tb.at;
    if (p[0] == '\r' && unread >= 2 && p[1] == '\n')
        return '\n';
    return (unsigned char)p[0];
}

long long plat_text_tell(const PlatText *text)
{
    return text->offset;
}

bool plat_text_seek(PlatText *text, long long offset)
{
    if (offset < 0 || text->failed)
        return false;
    text->offset = offset;
    if (tb.owner != text->id)
        return true;
    if (offset >= tb.base && offset <= tb.base + (long long)tb.end)
        tb.at = (size_t)(offset - tb.base);
    else
        tb.owner = 0;
    return true;
}

bool plat_text_failed(const PlatText *text)
{
    return text->failed;
}
