#!/usr/bin/env bash
# libcapi20 keeps application ids in shared memory for the whole machine; a test killed
# while registered leaves its ids (or the semaphore) behind. Clear them when no libcapi20
# program runs (the library recreates both files on its next start).
if command -v fuser >/dev/null 2>&1 && fuser /dev/shm/CAPI20_shared_memory.* >/dev/null 2>&1; then
  echo "libcapi20 is in use: table left as it is"
  exit 0
fi
rm -f /dev/shm/CAPI20_shared_memory.* /dev/shm/sem.CAPI20_shared_sem.*
echo "libcapi20 table cleared"
