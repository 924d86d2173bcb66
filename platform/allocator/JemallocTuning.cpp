// Linked into the programs only when they use jemalloc. Transparent huge pages are left to the
// system's setting: forced on, they saved most page faults (a tenth of the export's time on a
// virtual machine) but kept 20 to 30 MB more resident at 200,000 nicknames (freed memory inside a
// huge page stays), past the export's memory bound.
extern "C" {
// Read by jemalloc at start-up (its documented configuration symbol); MALLOC_CONF still wins.
extern const char* malloc_conf;
const char* malloc_conf = "metadata_thp:auto";
}
