#!/usr/bin/env bash
# Installs the Debian packages that building and testing tesk_privacy need.
# Idempotent: packages already present are left as they are.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config   # toolchain
  ccache                                          # reuses compilations between builds
  clang libclang-rt-14-dev                        # fuzzers (libFuzzer), ThreadSanitizer
  time                                            # peak memory in scripts/hostile_inputs.sh
  libpcre2-dev                                    # regular expressions (PCRE2 with JIT)
  libicu-dev                                      # Unicode case mapping
  libssl-dev                                      # hash and encrypt operators, encrypted mapping files
  libcurl4-openssl-dev                            # HTTP client of the remote recognizers
  libhiredis-dev redis-server                     # the Redis mapping store and the server its tests start
  libcpp-httplib-dev                              # the HTTP service (tesk-privacy serve)
  libjemalloc-dev                                 # the tool's allocator, which hands freed memory back
  curl                                            # scripts/load_test.sh waits for the service with it
  chromium                                        # the service page, tested in headless Chromium
  python3-distributed python3-dask python3-pandas # tesk_privacy.dask and its tests
  nlohmann-json3-dev                              # JSON in the command-line tool and tests
  libcli11-dev                                    # the command-line tool's option parsing
  libyaml-cpp-dev                                 # YAML configuration files (--config)
  help2man                                        # the manual page, made from --help at build time
  libphonenumber-dev                              # phone-number matching
  hunspell-id wamerican iso-codes libtext-names-perl # word and name lists of tools/train_ner/make_gazetteers.py
  wordnet-base                                    # English names (make_gazetteers.py) and text for tesk-train-ner's word clusters
  libprotobuf-dev                                 # reading libphonenumber's metadata (a protocol buffer)
  libopenblas-dev                                 # matrix products of the transformer encoder
  libgtest-dev libgmock-dev libbenchmark-dev      # tests and benchmarks
  python3                                         # the regex oracle test runs Python's re
  python3-dev pybind11-dev                        # the Python package's compiled module
  python3-pytest python3-setuptools python3-wheel # its tests and pip install
  python3-pip python3-venv
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
