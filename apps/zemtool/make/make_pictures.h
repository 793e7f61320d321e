// Pictures for "zemtool make": finding them under folders, reading what the show needs from
// their headers (size, EXIF orientation and date; never the pixels), and putting them in order.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/stream.h"
#include "make_options.h"

namespace zemtool::make {

struct TPicture {
  std::string path;      // on disk, absolute
  std::string relPath;   // below the folder argument it was found in, "/" separated
  size_t folderIndex = 0;
  int32_t width = 0, height = 0;  // as stored, before the orientation is applied
  int32_t orientation = 0;        // EXIF 1..8; 0 when absent
  std::string exifDate;           // the date-time the caption macros show (empty when none)
  int64_t dateKey = 0;            // seconds of the civil date-time the order by date uses
  bool exifDated = false;         // dateKey came from EXIF rather than the file's time

  // The size as shown: orientations 5 to 8 turn the picture by a quarter.
  int32_t ShownWidth() const { return orientation >= 5 ? height : width; }
  int32_t ShownHeight() const { return orientation >= 5 ? width : height; }
};

// True for the extensions of the picture kinds the player decodes (JPEG, PNG, GIF, BMP).
bool IsPictureName(std::string_view path);

// Reads the picture's header (and EXIF facts for a JPEG file). False with `why` when the file is
// not a picture of the kind its extension names, or is unreadable.
bool ProbePicture(const std::string& path, TPicture& out, std::string& why);
// The same for bytes in a stream; `name` gives the kind by its extension.
bool ProbePictureStream(zem::TStream& stream, std::string_view name, TPicture& out, std::string& why);

struct TFoundPictures {
  std::vector<TPicture> pictures;     // in the order found (folder by folder, natural name order)
  std::vector<std::string> warnings;  // one line per skipped file
};

// Every picture under the folders (a folder argument may also be a single picture). Hidden files
// and folders and everything under `skip` (absolute paths) are left out; a file reached twice is
// taken once. False with `error` when a folder argument does not exist.
bool FindPictures(const std::vector<std::string>& folders, const std::vector<std::string>& skip,
                  TFoundPictures& out, std::string& error);

// Natural order: digit runs compare by value (img2 before img10), letters without case.
bool NaturalLess(std::string_view a, std::string_view b);

// "YYYY:MM:DD HH:MM:SS" (or with "-" in the date) as seconds of that civil date-time; false for
// anything else, and for the all-zero date cameras write when they do not know it.
bool ParseExifDate(std::string_view text, int64_t& seconds);

void OrderPictures(std::vector<TPicture>& pictures, TOrder order, uint64_t seed);

}  // namespace zemtool::make
