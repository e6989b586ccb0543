// otp_qr.cpp - drawing the QR code of an otpauth:// URI.
#include "tools/otp/otp_qr.h"

#if defined(FILTER_HAVE_QRENCODE)
#include <qrencode.h>

#include <vector>

enum { TERMINAL_MARGIN = 2, SVG_MARGIN = 4, SVG_MODULE_PX = 8 };

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

bool qr_terminal(const std::string &text, std::string *out)
{
    QrModules m;
    if (!encode(text, &m))
        return false;
    // Light modules are drawn, so the code reads on a dark terminal; a
    // character holds two rows: upper half, lower half, both or none.
    static const char *const cells[4] = {"\xe2\x96\x88", "\xe2\x96\x80", "\xe2\x96\x84", " "};
    out->clear();
    for (int y = -TERMINAL_MARGIN; y < m.width + TERMINAL_MARGIN; y += 2) {
        for (int x = -TERMINAL_MARGIN; x < m.width + TERMINAL_MARGIN; x++)
            *out += cells[(m.at(x, y) ? 2 : 0) + (m.at(x, y + 1) ? 1 : 0)];
        *out += "\n";
    }
    return true;
}

bool qr_svg(const std::string &text, std::string *out)
{
    QrModules m;
    if (!encode(text, &m))
        return false;
    int size = m.width + 2 * SVG_MARGIN;
    *out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(size) + " " +
           std::to_string(size) + "\" width=\"" + std::to_string(size * SVG_MODULE_PX) + "\" height=\"" +
           std::to_string(size * SVG_MODULE_PX) + "\" shape-rendering=\"crispEdges\">\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n<path fill=\"#000000\" d=\"";
    for (int y = 0; y < m.width; y++)
        for (int x = 0; x < m.width; x++)
            if (m.at(x, y))
                *out += "M" + std::to_string(x + SVG_MARGIN) + " " + std::to_string(y + SVG_MARGIN) + "h1v1h-1z";
    *out += "\"/>\n</svg>\n";
    return true;
}

#else

bool qr_available(void)
{
    return false;
}

bool qr_terminal(const std::string &, std::string *)
{
    return false;
}

bool qr_svg(const std::string &, std::string *)
{
    return false;
}

#endif
