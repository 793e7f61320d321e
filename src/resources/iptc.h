// IPTC records of a JPEG file: the Photoshop resource 0x0404 (IPTC-NAA) inside the APP13
// "Photoshop 3.0" segments, read as datasets of the application record (2:5 object name …
// 2:122 caption writer). A dataset may repeat (several by-lines); every value is kept in order.
//
// Untrusted bytes: resource and dataset lengths are checked against what is left, extended
// lengths are limited to four bytes, and the amount kept is capped.
// Threads: a reader is used by one thread at a time.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"

namespace zem {

enum TIptcDataset : uint8_t {
  kIptcObjectName = 5,
  kIptcSpecialInstructions = 40,
  kIptcByline = 80,
  kIptcBylineTitle = 85,
  kIptcCity = 90,
  kIptcSublocation = 92,
  kIptcProvinceState = 95,
  kIptcCountry = 101,
  kIptcTransmissionReference = 103,
  kIptcHeadline = 105,
  kIptcCredit = 110,
  kIptcSource = 115,
  kIptcCopyright = 116,
  kIptcCaption = 120,
  kIptcCaptionWriter = 122,
};

class TIptcData {
 public:
  // The joined APP13 payloads (after each "Photoshop 3.0\0" header); false when no IPTC
  // resource is found.
  bool Load(const uint8_t* data, size_t size);
  bool LoadFromJpeg(TStream& stream);
  // The values of an application-record dataset (2:n), in file order; empty when absent.
  const std::vector<WideString>& Values(uint8_t dataset) const;
  // The first value, empty when absent.
  WideString First(uint8_t dataset) const;
  bool Empty() const { return values_.empty(); }

  static constexpr size_t kMaxValues = 4096;

 private:
  void ReadRecords(const uint8_t* data, size_t size);
  std::map<uint8_t, std::vector<WideString>> values_;
};

}  // namespace zem
