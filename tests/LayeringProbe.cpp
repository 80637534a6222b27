// Built only by the layering tests: includes, from inside one library, a header of a library
// above it or beside it. The build must refuse it.
#include TOVANA_PROBE_HEADER
