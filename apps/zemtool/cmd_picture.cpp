// zemtool picture: loads a picture of a show exactly as the player does (file map, orientation
// table, decoder choice, placeholder) and writes it as PNG. An animated GIF is written as its
// strip of frames; the frame list goes to standard output.
#include <cstdio>
#include <string>

#include "commands.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "resources/file_access.h"
#include "resources/gfx_container.h"
#include "resources/jpeg_decoder.h"
#include "resources/placeholder.h"
#include "resources/png_decoder.h"
#include "resources/png_writer.h"

namespace {

const char* StoreKind(zem::TBitmapStore* store) {
  if (dynamic_cast<zem::TPlaceholderStore*>(store)) return "placeholder";
  if (dynamic_cast<zem::TJpegBitmapStore*>(store)) return "jpeg";
  if (dynamic_cast<zem::TImageLibStore*>(store)) return "png";
  if (dynamic_cast<zem::TGfxBitmapStore*>(store)) return "container";
  if (dynamic_cast<zem::TSysBitmapStore*>(store)) return "bmp";
  return store->Tiles() ? "gif animation" : "gif";
}

int RunPicture(const zemtool::Args& args) {
  if (args.size() != 3) return zemtool::Fail("usage: zemtool picture SHOW NAME OUT.png");
  const std::string& show = args[0];
  std::unique_ptr<zem::TZemShowLocator> locator;
  std::string error;
  // A package (a file of its own or appended to a program), else a project script on disk.
  if (zem::OpenPackage(show)->IsOpen()) {
    locator = zem::OpenPackagedShow(show, error);
    if (!locator) return zemtool::Fail(show + ": " + (error.empty() ? "no usable show" : error));
  } else {
    locator = zem::OpenProjectOnDisk(show);
    if (!locator) return zemtool::Fail(show + ": neither a show package nor a project script");
  }
  auto picture = zem::LoadPicture(locator->Accessor(), args[1]);
  if (!picture || !picture->Store()) return zemtool::Fail(args[1] + ": no picture");
  zem::TBitmapStore* store = picture->Store();
  const zem::TBitmap& bitmap = store->Bitmap();
  if (!zem::WritePngFile(bitmap, args[2])) return zemtool::Fail(args[2] + ": cannot write the PNG file");
  std::printf("%s: %dx%d %s\n", args[1].c_str(), bitmap.Width(), bitmap.Height(), StoreKind(store));
  if (const zem::TTilesTag* t = store->Tiles()) {
    std::printf("frames %d, cell %dx%d, loop count %d, total %d ms, average %d ms\n", t->frame_count, t->cell_width,
                t->cell_height, t->loop_count, t->total_duration, t->average_delay);
    auto delays = t->DelayList();
    for (size_t i = 0; i < delays.size(); ++i)
      std::printf("frame %zu: x %lld, delay %d ms\n", i, static_cast<long long>(i) * t->cell_width, delays[i]);
  }
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("picture",
                "picture SHOW NAME OUT.png\n"
                "    Loads the picture NAME of a show (package, published program or project script) as the\n"
                "    player does and writes it as PNG (a placeholder for a missing or broken file; an animated\n"
                "    GIF as its strip, with the frame list on standard output).",
                RunPicture);
