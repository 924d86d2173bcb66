// Linked into the programs only when they use jemalloc. Transparent huge pages are left to the
// system's setting: forced on, they saved a few page faults but kept about 20 MB more resident
// at 200,000 nicknames (freed memory inside a huge page stays), for no CPU time measured here.
extern "C" {
// Read by jemalloc at start-up (its documented configuration symbol); MALLOC_CONF still wins.
extern const char* malloc_conf;
const char* malloc_conf = "metadata_thp:auto";
}
