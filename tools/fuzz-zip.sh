#!/usr/bin/env bash
# Fuzzes the ZIP reader for the given number of seconds (default 60); see
# tools/fuzz.sh, which fuzzes every parser.
exec bash "$(dirname "$0")/fuzz.sh" "${1:-60}" zip
