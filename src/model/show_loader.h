// Building one slide (or dialog) tree straight from a script section, with the slide placed so
// that it starts at show time 0. Used by tools and tests until the show's slide timing exists.
#pragma once
#include <memory>
#include <string>

#include "model/zem_slide.h"

namespace zem {

class TIniStorage;

// Default output size when the main section names none.
constexpr int32_t kDefaultOutputWidth = 800;
constexpr int32_t kDefaultOutputHeight = 600;

// Reads the section's objects into a new slide. The output size comes from "opt_scr_width" and
// "opt_scr_height" of the main section; a section "SlideN" lasts from 0 to the distance between
// "opt_synchpos" N - 1 and N; a section "dialog_..." has all anchors 0 and no background.
// Null with `error` set when the section is missing or a read fails.
std::unique_ptr<TZemSlide> BuildSectionTree(const TIniStorage& storage, const WideString& section,
                                            TRef<TZemSlideHost> host, std::string* error);

}  // namespace zem
