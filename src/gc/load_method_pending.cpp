// Placeholder until the method download lands; the download replaces this definition.
#include "gc/varnock_gc_system.h"

int CVarnockGCSystem::LoadMethod(const CString&) { return 0; }
