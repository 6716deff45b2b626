// Turns a 32 x 32 text pixel map into a 16-colour Windows icon file.
// One character per pixel: a hex digit is an index into the standard
// 16-colour palette, '.' is transparent.
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 32;

// The standard 16-colour palette, as R, G, B.
constexpr std::array<std::array<std::uint8_t, 3>, 16> kPalette{{
    {0x00, 0x00, 0x00},
    {0x80, 0x00, 0x00},
    {0x00, 0x80, 0x00},
    {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80},
    {0x80, 0x00, 0x80},
    {0x00, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80},
    {0xFF, 0x00, 0x00},
    {0x00, 0xFF, 0x00},
    {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF},
    {0xFF, 0x00, 0xFF},
    {0x00, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF},
}};

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, unsigned v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_ico MAP.txt OUT.ico\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  if (rows.size() != kSide) {
    std::cerr << argv[1] << ": " << rows.size() << " rows, want " << kSide << "\n";
    return 1;
  }
  for (int r = 0; r < kSide; ++r) {
    const std::string& row = rows[r];
    bool ok = row.size() == kSide;
    for (char c : row) ok = ok && (c == '.' || HexValue(c) >= 0);
    if (!ok) {
      std::cerr << argv[1] << ":" << r + 1 << ": want 32 of 0-9, A-F or '.'\n";
      return 1;
    }
  }

  const unsigned xorBytes = kSide * kSide / 2;  // 4 bits a pixel
  const unsigned andBytes = kSide * kSide / 8;  // 1 bit a pixel, rows of 4 bytes
  const unsigned imageBytes = 40 + 16 * 4 + xorBytes + andBytes;
  std::vector<std::uint8_t> out;
  // Icon directory with one entry.
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  out.insert(out.end(), {kSide, kSide, 16, 0});
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, imageBytes);
  Put32(out, 6 + 16);
  // Bitmap header: the height counts the colour and mask halves together.
  Put32(out, 40);
  Put32(out, kSide);
  Put32(out, 2 * kSide);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);
  Put32(out, xorBytes + andBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (const auto& rgb : kPalette) out.insert(out.end(), {rgb[2], rgb[1], rgb[0], 0});
  // Rows go bottom up; transparent pixels are colour 0 with the mask bit set.
  for (int r = kSide - 1; r >= 0; --r)
    for (int c = 0; c < kSide; c += 2) {
      const int hi = std::max(HexValue(rows[r][c]), 0);
      const int lo = std::max(HexValue(rows[r][c + 1]), 0);
      out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
  for (int r = kSide - 1; r >= 0; --r)
    for (int c = 0; c < kSide; c += 8) {
      std::uint8_t bits = 0;
      for (int b = 0; b < 8; ++b)
        if (rows[r][c + b] == '.') bits |= 0x80 >> b;
      out.push_back(bits);
    }

  std::ofstream file(argv[2], std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  return 0;
}
