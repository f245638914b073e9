#!/usr/bin/env bash
# Configures, builds and runs every test from a fresh clone: the plain build
# (programs in build/bin), then the same under AddressSanitizer and UBSan,
# then the Windows builds, with the end-to-end suite run under Wine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
cmake --workflow --preset default
cmake --workflow --preset sanitize
scripts/test-windows
