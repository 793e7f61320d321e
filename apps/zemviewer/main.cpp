// zemviewer: the player. A published show is a copy of this program with the show package
// appended; started without switches it plays the package in its own file.
#include "shell/show_shell.h"

int main(int argc, char** argv) { return zem::RunPlayer(argc, argv); }
