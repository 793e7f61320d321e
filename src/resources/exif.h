// Photo facts stored in JPEG files: the EXIF directory (APP1 "Exif", a TIFF structure in either
// byte order) and, in iptc.h, the IPTC records (APP13 "Photoshop 3.0", resource 0x0404).
//
//   TExif exif;
//   if (exif.LoadFromJpeg(stream)) {
//     WideString when = exif.Text(kExifDateTime);   // "2008:07:14 10:22:05"
//     int32_t turn = exif.Orientation();             // 1..8, 0 when absent
//   }
//
// Everything is read from untrusted bytes: offsets and counts are checked against the segment
// (64-bit arithmetic), directories are followed once each, and the amount kept is capped.
// Threads: a reader is used by one thread at a time.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"

namespace zem {

// The APP1 EXIF and APP13 Photoshop payloads of a JPEG file, read from the markers before the
// first scan. `exif` holds the first EXIF segment after its "Exif\0\0" header (the TIFF data);
// `photoshop` the payloads of every "Photoshop 3.0" segment joined (resources may span
// segments). False when the stream is not a JPEG file.
struct TJpegMetadata {
  std::vector<uint8_t> exif;
  std::vector<uint8_t> photoshop;
};
bool ReadJpegMetadata(TStream& stream, TJpegMetadata& out);

// Tags of the usual camera fields (IFD0 and the EXIF sub-directory).
enum TExifTag : uint16_t {
  kExifImageDescription = 270,
  kExifMake = 271,
  kExifModel = 272,
  kExifOrientation = 274,
  kExifSoftware = 305,
  kExifDateTime = 306,
  kExifArtist = 315,
  kExifCopyright = 33432,
  kExifExposureTime = 33434,
  kExifFNumber = 33437,
  kExifSubIfd = 34665,
  kExifIsoSpeed = 34855,
  kExifDateTimeOriginal = 36867,
  kExifDateTimeDigitized = 36868,
  kExifFlash = 37385,
  kExifFocalLength = 37386,
  kExifUserComment = 37510,
  kExifPixelXDimension = 40962,
  kExifPixelYDimension = 40963,
};

class TExif {
 public:
  // TIFF data (from "II*\0" or "MM\0*"); false when the header or the first directory is damaged.
  bool Load(const uint8_t* data, size_t size);
  bool LoadFromJpeg(TStream& stream);
  void Clear() { fields_.clear(); }

  bool Has(uint16_t tag) const { return fields_.count(tag) != 0; }
  // An ASCII field up to its first NUL, converted from the 8-bit text of the file (the code page
  // of ZEM_CODEPAGE, Windows-1252 by default); the user comment with its character-code prefix.
  // Empty when absent.
  WideString Text(uint16_t tag) const;
  // The first value of an integer field (BYTE, SHORT, LONG and their signed kinds).
  bool Integer(uint16_t tag, int64_t& out) const;
  // The first value of a rational field, or an integer one.
  bool Number(uint16_t tag, double& out) const;
  // Orientation 1..8 (tag 274); 0 when absent or outside that range.
  int32_t Orientation() const;
  // Date and time of the picture: tag 306, else the original date-time 36867.
  WideString DateTime() const;

  // Bytes kept of one field at most, and fields at most.
  static constexpr size_t kMaxFieldBytes = 1 << 16;
  static constexpr size_t kMaxFields = 512;

 private:
  struct TField {
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint8_t> bytes;  // as stored, `count` values of `type`
  };
  bool ReadDirectory(const uint8_t* data, size_t size, uint64_t offset, int depth);
  uint16_t U16(const uint8_t* p) const;
  uint32_t U32(const uint8_t* p) const;

  bool bigEndian_ = false;
  std::map<uint16_t, TField> fields_;
  std::vector<uint64_t> visited_;  // directory offsets already read
};

}  // namespace zem
