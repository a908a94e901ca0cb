// Reading numbers the way the "%lg" and "%d" scan conversions read them, in
// the C locale whatever the process locale is (decimal point ".").
#pragma once

namespace quillon {

// Skips white space, then reads a double (decimal, exponent, hex, inf, nan).
// On success advances text past the number and returns true; otherwise
// leaves text where it was.
bool ScanDouble(const char*& text, double& value);

// Skips white space, then reads an optionally signed decimal integer of at
// most maxWidth characters (the sign counts), as "%3d" does.
bool ScanInt(const char*& text, int maxWidth, int& value);

// Skips the white space that a blank in a scan format matches.
void SkipSpace(const char*& text);

}  // namespace quillon
