// Compiles the layer interfaces on their own (each header stands alone);
// the parsers, states and the screen join this library as they are written.
#include "terminal/parser.h"
#include "terminal/screen.h"
#include "terminal/state.h"
