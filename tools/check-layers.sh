#!/usr/bin/env bash
# The include rule of docs/architecture.md: code in frame/, zipreader/,
# signature/, shellfit/ and imagefit/ includes the headers of platform/ and of
# those folders only (and library headers), so that it reaches the device
# through platform/'s interfaces alone. The two programs' main.cpp compose the
# device and are left out. Prints every include that breaks the rule, as
# file:line: text, and exits 1 when there is one.
#
# fitkit/ composes like the programs' main: it may include every layer that
# serves it and the host's declared interfaces (host/*.h), but no host's own
# headers (host/linux/, host/win32/) nor a system interface of one host
# (POSIX's unistd.h, fcntl.h, sys/..., Windows' windows.h): its calls to the
# host go through host/.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
own='platform|frame|zipreader|signature|shellfit|imagefit'
project="$own|host|device|ui|readers|report|tools|tests|bench"
broken=0
while IFS= read -r file; do
  [[ $file == shellfit/main.cpp || $file == imagefit/main.cpp ]] && continue
  line=0
  while IFS= read -r text; do
    line=$((line + 1))
    [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]*) ]] || continue
    quote=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]}
    [[ $path =~ ^($own)/ ]] && continue
    if [[ $quote == '"' ]]; then
      # A quoted name may only be a neighbour in the same folder.
      [[ $path != */* && -f $(dirname "$file")/$path ]] && continue
    elif ! [[ $path =~ ^($project)/ ]]; then
      continue  # a library header
    fi
    echo "$file:$line: $text"
    broken=1
  done <"$file"
done < <(find frame zipreader signature shellfit imagefit -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
fitkit_may='platform|frame|zipreader|signature|shellfit|imagefit|fitkit|report|device|readers|ui'
host_headers='unistd\.h|fcntl\.h|sys/.*|spawn\.h|dirent\.h|poll\.h|pwd\.h|termios\.h|dlfcn\.h|windows\.h'
while IFS= read -r file; do
  line=0
  while IFS= read -r text; do
    line=$((line + 1))
    [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]*) ]] || continue
    quote=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]}
    if [[ $quote == '"' ]]; then
      [[ $path =~ ^($fitkit_may)/ || $path =~ ^host/[^/]+\.h$ ]] && continue
    elif ! [[ $path =~ ^($host_headers)$ || $path =~ ^($project)/ ]]; then
      continue  # a portable library header
    fi
    echo "$file:$line: $text"
    broken=1
  done <"$file"
done < <(find fitkit -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
exit "$broken"
