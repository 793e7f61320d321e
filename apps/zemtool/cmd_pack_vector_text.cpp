// Stored vector texts for zemtool pack (see pack_vector_text.h).
#include <cstdint>
#include <exception>
#include <map>
#include <memory>

#include "foundation/process.h"
#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "model/zem_text.h"
#include "package/show_locator.h"
#include "pack_vector_text.h"
#include "resources/text/font_cache.h"
#include "script/ini_file.h"

namespace zemtool {

using namespace zem;

bool CollectVectorTexts(const std::string& script_path, std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
                        std::string& error) {
  auto storage = std::make_unique<TIniFile>();
  if (!storage->LoadFromFile(script_path)) {
    error = "cannot read the project script " + script_path;
    return false;
  }
  auto files = CreateDiskAccessor(ExtractFileDir(script_path));
  const bool hasGuid = files->Exists("ExeGUID");
  std::map<WideString, std::vector<uint8_t>> texts;
  std::map<WideString, std::map<uint16_t, const TGlyphOutline*>> fonts;
  std::vector<std::shared_ptr<const TResolvedText>> keep;  // the outlines the fonts map points at
  try {
    const TIniSection* main = storage->FindSection(u"Main");
    TPointI design{main ? main->ReadInteger(u"opt_scr_width", 0) : 0, main ? main->ReadInteger(u"opt_scr_height", 0) : 0};
    if (design.x <= 0 || design.y <= 0) design = {800, 600};
    auto source = MakeRef<TZemSource>(std::move(storage), std::move(files));
    TSlideProducer producer(source);
    producer.SetOutput(design, TSlideProducer::kFitInside, 100, 100);
    for (int32_t i = 0; i < source->SlideCount(); ++i) {
      std::unique_ptr<TZemSlide> slide = producer.CreateSlide(i, 0);
      if (!slide) continue;
      ForEachNode(slide.get(), [&](TZemObject* n) {
        auto* t = dynamic_cast<TZemText*>(n);
        if (!t || t->Rasterized()) return;
        t->LayoutNow();
        const WideString name = VectTextStreamName(t->FontName(), t->FontStyle(), t->ExpandedLines());
        if (texts.count(name)) return;
        std::shared_ptr<const TResolvedText> r = BuildSystemVectorText(t->FontName(), t->FontStyle(), t->ExpandedLines());
        if (!r) return;
        texts[name] = WriteVectorText(r->text);
        for (size_t l = 0; l < r->text.lines.size(); ++l)
          for (size_t g = 0; g < r->text.lines[l].size(); ++g)
            if (const TGlyphOutline* o = r->glyphs[l][g]) fonts[r->text.fonts[r->text.lines[l][g].font]][o->index] = o;
        keep.push_back(std::move(r));
      });
    }
  } catch (const std::exception& e) {
    error = std::string("laying out the texts failed: ") + e.what();
    return false;
  }
  for (auto& [name, bytes] : texts) members.emplace_back(WideToUtf8(name), std::move(bytes));
  for (const auto& [font, glyphs] : fonts) {
    std::vector<const TGlyphOutline*> list;
    for (const auto& [index, g] : glyphs) list.push_back(g);
    members.emplace_back(WideToUtf8(kVectCachePrefix + font), WriteGlyphCache(font, list));
  }
  // The glyph caches belong to this show: a player that opened another show forgets its own.
  if (!hasGuid && !texts.empty()) members.emplace_back("ExeGUID", WriteExeGuid(NewGuidText()));
  return true;
}

}  // namespace zemtool
