// Helpers of the show model tests: slides built from script text, headless.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "model/zem_box.h"
#include "model/zem_slide.h"
#include "script/ini_file.h"

namespace zem::test {

// A show script: a main section of the given size and one slide section lasting 5 s.
inline std::string ShowText(const std::string& slideBody, int w = 800, int h = 600, const std::string& mainExtra = "") {
  return "[Main]\nopt_scr_width=" + std::to_string(w) + "\nopt_scr_height=" + std::to_string(h) +
         "\nopt_slidescount=1\nopt_synchpos1=5000\n" + mainExtra + "\n[Slide1]\n" + slideBody;
}

// One object block with a single keypoint holding `keyValues` (lines "Key=Value\n").
inline std::string Box(const std::string& caption, const std::string& keys, const std::string& keyValues = "",
                       const std::string& children = "") {
  return "object box: " + caption + "\n" + keys + "object keypoint:\nTime=0\n" + keyValues + "end\n" + children + "end\n";
}

struct TTestShow {
  TIniFile ini;
  TRef<TSimpleSlideHost> host;
  std::unique_ptr<TZemSlide> slide;
  std::string error;

  explicit TTestShow(const std::string& text, int w = 800, int h = 600) {
    host = MakeRef<TSimpleSlideHost>(w, h);
    ini.LoadFromText(Utf8ToWide(text));
    slide = BuildSectionTree(ini, u"Slide1", host, &error);
  }
  TZemObject* Node(const std::u16string& caption) const {
    TZemObject* found = nullptr;
    ForEachNode(slide.get(), [&](TZemObject* n) {
      if (!found && n->Caption() == caption) found = n;
    });
    return found;
  }
};

}  // namespace zem::test
