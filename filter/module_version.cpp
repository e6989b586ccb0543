// module_version.cpp - the release's version inside the Linux module, in a
// section of its own: "readelf -p .filter_version c_filt32.so" prints it.
// It is data only, so the module still exports nothing but its two entry points;
// the DLL carries the same version in its version resource instead.
__attribute__((used, section(".filter_version"))) static const char module_version[] = "c_filt32 " FILTER_VERSION;
