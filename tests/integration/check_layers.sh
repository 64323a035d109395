#!/usr/bin/env bash
# Engines and libraries stay free of Qt: only ui/ folders include Qt headers.
set -euo pipefail
src=$1
bad=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]Q[A-Za-z]+' "$src" --include='*.h' --include='*.cpp' | grep -v '/ui/' || true)
if [ -n "$bad" ]; then
  echo "Qt included outside a ui/ folder:"; echo "$bad"; exit 1
fi
echo "layers: ok"
