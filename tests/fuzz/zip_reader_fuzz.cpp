// Feeds arbitrary bytes to the ZIP reader as a downloaded package.
//
// Build and run (not part of the normal test suite):
//   CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DKESTREL_FUZZ=ON -DKESTREL_TESTS=OFF
//   cmake --build build/fuzz --target zip_reader_fuzz
//   mkdir -p build/fuzz/corpus
//   build/fuzz/tests/fuzz/zip_reader_fuzz build/fuzz/corpus tests/fixtures/zip -max_total_time=120
#include "engine/zip_reader.h"

#include "tests/support/zip_test_support.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::ziptest::ImageSource source(std::string_view(reinterpret_cast<const char*>(data), size));
  kestrel::ziptest::MemorySink sink;
  sink.keepData = false;
  kestrel::ZipResult result = kestrel::ExtractZip(source, sink);

  // The sink contract and the result must hold for any input, not just
  // for archives that extract.
  bool broken = !sink.violations.empty() || result.ok() != result.message.empty() ||
                (result.ok() && (sink.abandoned != 0 || sink.Empty()));
  if (broken) {
    std::fprintf(stderr, "contract broken: %s\n%s\n", result.message.c_str(), sink.violations.c_str());
    std::abort();
  }
  return 0;
}
