// otp_qr.h - a QR code of a text, drawn in the terminal or as SVG, for filter-otp.
// Built on libqrencode where the build found it; without it (the Windows
// build) both give false and filter-otp prints the URI alone.
#ifndef TOOLS_OTP_QR_H
#define TOOLS_OTP_QR_H

#include <string>

// qr_available - this build can draw QR codes.
bool qr_available(void);

// qr_terminal - the code as lines of half-block characters, two rows of
// modules a line, light modules drawn, with a quiet zone; false when it cannot be made.
bool qr_terminal(const std::string &text, std::string *out);

// qr_svg - the code as an SVG document, dark squares on white with a quiet
// zone of four modules; false when it cannot be made.
bool qr_svg(const std::string &text, std::string *out);

#endif
