// Linked into the programs only when they use jemalloc. An export touches a few hundred MB of
// heap in many small steps; in 2 MB transparent huge pages it takes a hundredth of the page
// faults, which on virtual machines cost more than the work done between them.
extern "C" {
// Read by jemalloc at start-up (its documented configuration symbol); MALLOC_CONF still wins.
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto";
}
