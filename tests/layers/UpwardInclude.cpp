// Compiled in a layer's view of the headers: KRO_PROBE_HEADER names a header
// of a layer above, which that view must not find.
#include KRO_PROBE_HEADER
