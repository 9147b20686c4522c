#include "app/app.h"

// lwplay's entry point: everything is in runplayer, which the tests drive as well.
int main(int argc, char **argv) { return runplayer(argc, argv); }
