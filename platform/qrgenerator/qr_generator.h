// QR codes as bitmap files.
#ifndef QRGENERATOR_QR_GENERATOR_H_
#define QRGENERATOR_QR_GENERATOR_H_

// Writes the QR code of |text| (error correction level M, the text's bytes
// converted from the ANSI code page to UTF-8) to |path| (ANSI code page,
// "\" or "/" separators) as an uncompressed 24-bit BMP: black modules on white
// with a quiet zone of four modules, each module a square of whole pixels, at
// least 170 pixels wide (the payment window's image control). The file is
// replaced atomically. An empty or null text, or one too long for a QR code,
// leaves a plain white bitmap of that size instead (so no earlier code stays
// on screen) and returns false; false also when the file cannot be written.
bool QRGenerator(const char* text, const char* path);

// The minimum width and height in pixels of the bitmap.
inline constexpr int kQrMinimumPixels = 170;

#endif  // QRGENERATOR_QR_GENERATOR_H_
