// Chooses the converter for a source by its format code.
#pragma once
#include <memory>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "sound/wav_converter.h"

namespace zem {

// (stream, name, media information) -> a converter bound to the stream, or nullptr when no
// decoder for the format is available. Composite descriptions (code 9) have no stream and are
// made by the composite factory; any other unknown code is a program error.
std::unique_ptr<TWavConverter> CreateConverter(TStream* stream, const WideString& name, const TMediaInfo& info);

}  // namespace zem
