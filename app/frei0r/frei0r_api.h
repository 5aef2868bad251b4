#pragma once
/// frei0r's interface, whose header declares its functions without C linkage.

extern "C" {
#include <frei0r.h>
}
