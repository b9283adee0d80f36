# Shared by the measuring scripts, which source it: a scratch folder for one run, the processes
# the run starts, and their end at exit; and two readings of a process from /proc.

# Makes the scratch folder $root (/tmp/orbel-NAME-XXXXXX) and, at exit, stops every process
# group in pids (spawn adds to it) and removes the folder; KEEP=1 keeps it and says where.
scratch() {
  root=$(mktemp -d "/tmp/orbel-$1-XXXXXX")
  pids=()
  trap scratch_end EXIT
}

scratch_end() {
  for p in "${pids[@]}"; do kill -- -"$p" 2>/dev/null || kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${KEEP:-}" ]; then echo "kept $root"; else rm -rf "$root"; fi
}

# spawn LOG COMMAND...: starts the command in a process group of its own, output to
# $root/LOG.log.
spawn() {
  local log="$1"
  shift
  setsid "$@" >"$root/$log.log" 2>&1 &
  pids+=($!)
}

# The CPU time a process has used, in clock ticks; and one of its memory figures in KiB
# (kib PID Rss, kib PID Pss).
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
kib() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup"; }
