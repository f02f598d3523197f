// safetensors reader on arbitrary bytes (through an in-memory file): the file
// is refused with an exception or every tensor it lists loads with as many
// values as its shape says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "inference/safetensors_reader.h"

using namespace tesk_privacy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("fuzz.safetensors", 0);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  try {
    inference::SafetensorsFile file("/proc/self/fd/" + std::to_string(fd));
    for (const std::string& name : file.names()) {
      const inference::TensorInfo& info = file.info(name);
      size_t count = 1;
      for (size_t d : info.shape) count *= d;
      if (info.dtype == "F32" || info.dtype == "F16" || info.dtype == "BF16" || info.dtype == "F64") {
        if (count > (1u << 20)) continue;  // the bytes are there; no need to convert a huge tensor
        if (file.load(name).data.size() != count) std::abort();
      }
    }
  } catch (const std::exception&) {
  }
  close(fd);
  return 0;
}
