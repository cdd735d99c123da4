#!/usr/bin/env bash
# CI for kelvora-preview: it is built with libpng, which a fresh Debian
# machine may lack. Installs the headers when they are missing; the build and
# the tests then run with everything else.
set -euo pipefail

if ! dpkg -s libpng-dev >/dev/null 2>&1; then
    echo "installing: libpng-dev"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends libpng-dev
fi
