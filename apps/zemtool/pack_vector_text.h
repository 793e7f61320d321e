// The stored vector texts "zemtool pack --vector-text" adds to a package: every text of every
// slide laid out from the installed fonts, as the player would lay it out, with the outlines of
// the glyphs they use, so the package draws its texts the same on a system without those fonts.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace zemtool {

// Members "VectTxt2: ...", "VectTextCache: ..." and (when the project has none) "ExeGUID".
// False with `error` when the project cannot be read.
bool CollectVectorTexts(const std::string& script_path,
                        std::vector<std::pair<std::string, std::vector<uint8_t>>>& members, std::string& error);

}  // namespace zemtool
