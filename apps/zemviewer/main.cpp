// zemviewer: the player. A published show is a copy of this program with the show package
// appended; started without switches it plays the package in its own file.
#include <malloc.h>

#include "shell/show_shell.h"

int main(int argc, char** argv) {
  // Pictures come and go by the hundred megabytes (decoded levels, tile pixels): blocks from
  // 128 KiB on are mapped one by one and handed back when freed, not kept by the heap.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  return zem::RunPlayer(argc, argv);
}
