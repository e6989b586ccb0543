// otp_qr.cpp - drawing the QR code of an otpauth:// URI.
#include "tools/otp/otp_qr.h"

#if defined(FILTER_HAVE_QRENCODE)
#include <qrencode.h>

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

// A reader finds the code by the light margin around it: four modules wide.
enum { QUIET_ZONE = 4, SVG_MODULE_PX = 8 };

// QrModules - the dark modules of a code, row by row, with its width.
struct QrModules {
    int width = 0;
    std::vector<bool> dark;
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < width && dark[(size_t)(y * width + x)];
    }
};

// encode - the modules of text at error correction level M; false when libqrencode fails.
static bool encode(const std::string &text, QrModules *m)
{
    QRcode *code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code)
        return false;
    m->width = code->width;
    m->dark.resize((size_t)(code->width * code->width));
    for (int i = 0; i < code->width * code->width; i++)
        m->dark[(size_t)i] = code->data[i] & 1;
    QRcode_free(code);
    return true;
}

bool qr_available(void)
{
    return true;
}

// The four cells of a character: which of its two rows of modules is light.
// A light module is drawn in the foreground colour, a dark one left to the
// background colour; both colours are set, so the theme does not matter.
enum { CELL_NONE, CELL_LOWER, CELL_UPPER, CELL_BOTH };
static const char *const utf8_cells[4] = {" ", "\xe2\x96\x84", "\xe2\x96\x80", "\xe2\x96\x88"};

// cell - the character for the rows y and y + 1 at column x.
static int cell(const QrModules &m, int x, int y)
{
    return (m.at(x, y) ? 0 : CELL_UPPER) | (m.at(x, y + 1) ? 0 : CELL_LOWER);
}

// White, bright where the terminal knows it, on black; and back to the
// terminal's own colours at the end of each line, before its line end.
static const char ansi_colours[] = "\x1b[40;37;97m";
static const char ansi_reset[] = "\x1b[0m";

// print_ansi - the code as UTF-8 lines with ANSI colour codes.
static void print_ansi(const QrModules &m)
{
    for (int y = -QUIET_ZONE; y < m.width + QUIET_ZONE; y += 2) {
        fputs(ansi_colours, stdout);
        for (int x = -QUIET_ZONE; x < m.width + QUIET_ZONE; x++)
            fputs(utf8_cells[cell(m, x, y)], stdout);
        fputs(ansi_reset, stdout);
        fputs("\n", stdout);
    }
}

#if defined(_WIN32)
// print_console - the code through a Windows console's own colours and wide
// characters, which every console takes, whatever its code page and whether
// or not it reads ANSI codes; false when standard output is no console.
static bool print_console(const QrModules &m)
{
    HANDLE out = (HANDLE)_get_osfhandle(_fileno(stdout));
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info))
        return false;
    fflush(stdout);
    static const wchar_t wide_cells[4] = {L' ', 0x2584, 0x2580, 0x2588};
    const WORD white_on_black = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
    std::vector<wchar_t> line;
    DWORD written;
    for (int y = -QUIET_ZONE; y < m.width + QUIET_ZONE; y += 2) {
        line.clear();
        for (int x = -QUIET_ZONE; x < m.width + QUIET_ZONE; x++)
            line.push_back(wide_cells[cell(m, x, y)]);
        SetConsoleTextAttribute(out, white_on_black);
        WriteConsoleW(out, line.data(), (DWORD)line.size(), &written, nullptr);
        SetConsoleTextAttribute(out, info.wAttributes);
        WriteConsoleW(out, L"\n", 1, &written, nullptr);
    }
    return true;
}
#endif

bool qr_print_terminal(const std::string &text)
{
    QrModules m;
    if (!encode(text, &m))
        return false;
#if defined(_WIN32)
    if (print_console(m))
        return true;
#endif
    print_ansi(m);
    return true;
}

bool qr_svg(const std::string &text, std::string *out)
{
    QrModules m;
    if (!encode(text, &m))
        return false;
    int size = m.width + 2 * QUIET_ZONE;
    *out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(size) + " " +
           std::to_string(size) + "\" width=\"" + std::to_string(size * SVG_MODULE_PX) + "\" height=\"" +
           std::to_string(size * SVG_MODULE_PX) + "\" shape-rendering=\"crispEdges\">\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<path fill=\"#000000\" d=\"";
    for (int y = 0; y < m.width; y++)
        for (int x = 0; x < m.width; x++)
            if (m.at(x, y))
                *out += "M" + std::to_string(x + QUIET_ZONE) + " " + std::to_string(y + QUIET_ZONE) + "h1v1h-1z";
    *out += "\"/>\n</svg>\n";
    return true;
}

#else

bool qr_available(void)
{
    return false;
}

bool qr_print_terminal(const std::string &)
{
    return false;
}

bool qr_svg(const std::string &, std::string *)
{
    return false;
}

#endif
