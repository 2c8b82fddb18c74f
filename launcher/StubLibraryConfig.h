// Force-included into every source file of the stub (never into tests or
// native builds). The C++ library declares its std::string members as
// instantiated in the library itself; linking that one object brings all of
// them, their exception landing pads, the unwinder and, through it, the POSIX
// thread library: about 90 KB in every installer. With the declarations off,
// each member the stub really uses is instantiated in the stub's own objects,
// and --gc-sections keeps only those.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
