#!/bin/sh
# Runs a command with address-space randomisation off when the kernel allows it: ThreadSanitizer (gcc 12) cannot map its shadow memory under high mmap entropy.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  exec setarch "$(uname -m)" -R "$@"
fi
exec "$@"
