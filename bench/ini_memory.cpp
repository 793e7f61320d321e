// Memory and load time of a large script: the 100,000-box show (the text of
// tests/shell/window/box_show.awk, with this program's own random numbers), loaded with
// TIniFile::LoadFromBytes. One load per run, so that each run starts from a fresh heap:
//   build/bench/zem_ini_memory [boxes]        (bench/ini_memory.sh compares two builds)
//   build/bench/zem_ini_memory 50000 sections (script_bench's 10 MB script of 50,000 sections
//                                              of 8 keys, loaded once in a fresh process)
// Prints the load's wall and processor time, the heap it holds afterwards (mallinfo2: in-use
// bytes plus mmapped blocks) and the growth of the resident set.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

#include "foundation/stream.h"
#include "script/ini_file.h"
#if __has_include("script/ini_arena.h")  // absent in builds from before the chunks
#include "script/ini_arena.h"
#define ZEM_HAVE_INI_ARENA 1
#endif

namespace {

std::string BoxShow(int n) {
  std::string s =
      "[Main]\r\nZemVersion=5.6\r\nopt_exefn=testshow\r\nopt_scr_full=0\r\nopt_scr_width=320\r\n"
      "opt_scr_height=240\r\nopt_slidescount=1\r\nopt_synchpos1=60000\r\nopt_repeat=repeat\r\n"
      "[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=255\r\n";
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> color(0, 254), pos(-90, 89);
  char buf[512];
  for (int i = 0; i < n; ++i) {
    int r = color(rng), g = color(rng), b = color(rng), x = pos(rng), y = pos(rng);
    std::snprintf(buf, sizeof buf,
                  "object box: B%d\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=%d,%d,%d\r\n"
                  "  object keypoint:\r\n    Time=0\r\n    Position=%d,%d\r\n    ScaleX=2\r\n    ScaleY=2\r\n  end\r\n"
                  "  object keypoint:\r\n    Time=60000\r\n  end\r\nend\r\n",
                  i, r, g, b, x, y);
    s += buf;
  }
  return s;
}

// As script_bench's MakeScript: sections of 8 keys, each padded by a comment to about 210 bytes.
std::string Sections(int n) {
  std::string s = "\xEF\xBB\xBF; generated show script\r\n";
  size_t per_section = (10u << 20) / static_cast<size_t>(n);
  for (int i = 0; i < n; ++i) {
    size_t start = s.size();
    s += "[Slide" + std::to_string(i) + "]\r\n";
    for (int k = 0; k < 8; ++k) s += "Key" + std::to_string(k) + "=" + std::to_string(i * 31 + k) + "\r\n";
    size_t used = s.size() - start;
    if (used + 12 < per_section) s += "; " + std::string(per_section - used - 4, 'x') + "\r\n";
  }
  return s;
}

long ResidentKiB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

// Heap blocks in use, mapped heap blocks, and (where the build has them) the script's chunks,
// which are mapped outside the heap.
size_t ChunkBytes() {
#if ZEM_HAVE_INI_ARENA
  return zem::IniChunkBytes();
#else
  return 0;
#endif
}

size_t HeapBytes() {
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd + ChunkBytes();
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  bool sections = argc > 2 && std::string(argv[2]) == "sections";
  std::string text = sections ? Sections(n) : BoxShow(n);
  size_t mark = sections ? 0 : 3;  // the writer adds a byte-order mark; the sections text has one
  long rss0 = ResidentKiB();
  size_t heap0 = HeapBytes();
  double cpu0 = CpuMs();
  auto t0 = std::chrono::steady_clock::now();

  auto ini = std::make_unique<zem::TIniFile>();
  bool ok = ini->LoadFromBytes(text.data(), text.size());

  double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  double cpu = CpuMs() - cpu0;
  size_t heap1 = HeapBytes();
  long rss1 = ResidentKiB();

  // Write-back check outside the measurement: the bytes come back exactly (after the mark).
  zem::TMemoryStream out;
  bool same = ok && ini->SaveToStream(out) && out.Data().size() == text.size() + mark &&
              std::memcmp(text.data(), out.Data().data() + mark, text.size()) == 0;
  std::printf("%s=%d script_mb=%.1f load_wall_ms=%.0f load_cpu_ms=%.0f heap_mb=%.1f rss_mb=%.1f writeback=%s\n",
              sections ? "sections" : "boxes", n, text.size() / 1e6, wall, cpu, (heap1 - heap0) / 1048576.0, (rss1 - rss0) / 1024.0,
              same ? "exact" : "DIFFERENT");
  return same ? 0 : 1;
}
