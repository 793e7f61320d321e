// zemtool pack: builds a show package from a project folder, optionally appended to a player.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "foundation/process.h"
#include "foundation/stream.h"
#include "pack_vector_text.h"
#include "package/package_writer.h"

namespace {

int RunPack(const zemtool::Args& args) {
  std::string script, out_path, player;
  zem::TPackOptions options;
  bool vector_text = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--player") {
      if (++i >= args.size()) return zemtool::Fail("--player needs a file");
      player = args[i];
    } else if (a == "--scramble") {
      options.scramble = true;
    } else if (a == "--store") {
      options.store_all = true;
    } else if (a == "--allow-modify") {
      options.allow_modify = true;
    } else if (a == "--vector-text") {
      vector_text = true;
    } else if (!a.empty() && a[0] == '-') {
      return zemtool::Fail("pack: unknown option " + a);
    } else if (script.empty()) {
      script = a;
    } else if (out_path.empty()) {
      out_path = a;
    } else {
      return zemtool::Fail("pack: too many arguments");
    }
  }
  if (script.empty() || out_path.empty())
    return zemtool::Fail("usage: zemtool pack PROJECT.zem OUT [--player BINARY] [--scramble] [--store] [--allow-modify] [--vector-text]");
  if (vector_text) {
    std::string error;
    if (!zemtool::CollectVectorTexts(script, options.extra_members, error)) return zemtool::Fail("pack: " + error);
  }
  std::error_code ec;
  if (!player.empty() && std::filesystem::equivalent(player, out_path, ec))
    return zemtool::Fail("pack: OUT must not be the player itself");

  auto out = zem::TFileStream::Open(out_path, zem::TFileMode::Create);
  if (!out) return zemtool::Fail("pack: cannot create " + out_path);
  if (!player.empty()) {
    auto binary = zem::TFileStream::Open(player, zem::TFileMode::Read);
    if (!binary) return zemtool::Fail("pack: cannot read " + player);
    int64_t size = binary->Size();
    if (out->CopyFrom(*binary, -1) != size) return zemtool::Fail("pack: cannot copy " + player);
  }
  zem::TPackProjectResult result;
  if (!zem::PackProject(script, *out, options, !player.empty(), zem::ExtractFileName(out_path), result))
    return zemtool::Fail("pack: " + result.error);
  out.reset();
  if (!player.empty()) ::chmod(out_path.c_str(), 0755);
  for (const auto& s : result.skipped)
    std::fprintf(stderr, "zemtool: pack: skipped %s (the name cannot be a member name)\n", s.c_str());
  static const char* kNames[] = {"stored", "deflated", "scrambled"};
  for (size_t i = 0; i < result.names.size(); ++i)
    std::printf("%s\t%s\n", result.names[i].c_str(), kNames[result.methods[i] % 3]);
  std::printf("packed %zu members into %s%s\n", result.names.size(), out_path.c_str(),
              player.empty() ? "" : " (appended to the player)");
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("pack",
                "pack PROJECT.zem OUT [--player BINARY] [--scramble] [--store] [--allow-modify] [--vector-text]\n"
                "    Packs every file of the project's folder into a show package; with --player\n"
                "    OUT is a copy of BINARY with the package appended (a show that runs by itself);\n"
                "    with --vector-text the texts' outlines go in too, so they draw the same where\n"
                "    their fonts are not installed.",
                RunPack);
