// otp_qr.h - a QR code of a text, drawn in the terminal or as SVG, for
// filter-otp, with libqrencode: Debian's package on Linux, the same
// library built from its source for Windows (cmake/qrencode.cmake). A build
// without it draws nothing: both give false and filter-otp prints the URI alone.
#ifndef TOOLS_OTP_QR_H
#define TOOLS_OTP_QR_H

#include <string>

// qr_available - this build can draw QR codes.
bool qr_available(void);

// qr_print_terminal - the code on standard output, two rows of modules a
// line in half blocks, its light modules white on black in colours set for
// it, so that it reads on a light terminal as on a dark one, inside the
// standard quiet zone of four modules. To a Windows console it goes through
// the console's own colours and wide characters; anywhere else as UTF-8
// with ANSI colour codes. False when the code cannot be made.
bool qr_print_terminal(const std::string &text);

// qr_svg - the code as an SVG document, dark squares on white with a quiet
// zone of four modules; false when it cannot be made.
bool qr_svg(const std::string &text, std::string *out);

#endif
