// Error types that stand for the host language's built-in error kinds where
// callers tell them apart (the Python bindings raise the matching built-in).
// Bad caller values are std::invalid_argument (ValueError), missing keys
// std::out_of_range (KeyError), other failures std::runtime_error.
#pragma once

#include <stdexcept>

namespace tesk_privacy {

// A resource the operating system could not provide: a model that cannot be
// loaded, a file that cannot be read (OSError).
class OSError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An executable that is not on the search path (FileNotFoundError).
class FileNotFoundError : public OSError {
 public:
  using OSError::OSError;
};

// A module or model package that cannot be imported (ImportError).
class ImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An object that lacks an expected attribute, e.g. a model package without
// a load() entry (AttributeError).
class AttributeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A child process that ran past its time-out (subprocess.TimeoutExpired).
class TimeoutExpired : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tesk_privacy
