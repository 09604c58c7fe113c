// Process entry: hands control to the runtime, which loads the main window.
#include "startup/startup.h"

int main(int argc, char** argv) { return startup::Main(argc, argv); }
