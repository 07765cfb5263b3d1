# Checks of installed programs, shared by the staged tree (staging) and the installed package
# (package-roundtrip). Sourced; each function fails the calling script through set -e.

# The programs find their adapter library by themselves.
unset AT24WRITER_I2C_LIBRARY

# fail MESSAGE...: ends the calling script with a reason.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# write_job BINDIR WORK: the installed at24writer-cli writes a HEX file into the installed at24sim,
# and the emulated EEPROM then equals the file. 4 KiB from 0xF808: records that cross 256-byte pages
# and the 64 KiB line.
write_job() {
  local bin=$1 work=$2 base=$((0xF808)) size=4096
  head -c $size /dev/urandom >"$work/data.bin"
  objcopy -I binary -O ihex --change-addresses $base "$work/data.bin" "$work/data.hex"
  erased() { head -c "$1" /dev/zero | tr '\0' '\377'; }
  { erased $base; cat "$work/data.bin"; erased $((0x20000 - base - size)); } >"$work/want.bin"
  # The pipe's reader stays until at24sim ends, so that its output never blocks it.
  "$bin/at24sim" --link "$work/bp" --image "$work/eeprom.bin" >"$work/sim.out" 2>&1 &
  local sim=$!
  timeout 10 sh -c 'until grep -q "^ready " "$1"; do sleep 0.1; done' _ "$work/sim.out" ||
    { kill $sim; fail "at24sim did not get ready: $(cat "$work/sim.out")"; }
  local status=0
  I2CADAPTER_COM1=$work/bp timeout 60 "$bin/at24writer-cli" "$work/data.hex" >"$work/log" 2>&1 || status=$?
  kill $sim
  wait $sim || true
  [ $status -eq 0 ] || fail "at24writer-cli ended with $status: $(cat "$work/log")"
  grep -q '^Processing time ' "$work/log" || fail "no closing lines in the log: $(cat "$work/log")"
  cmp "$work/eeprom.bin" "$work/want.bin" || fail "the EEPROM does not hold the file"
  echo "write job: $(grep -c . "$work/log") log lines, image equal"
}

# list_ports BINDIR: the ports COMn stands for, COM3 set through the environment.
list_ports() {
  I2CADAPTER_COM3=/dev/at24-test "$1/at24writer-cli" --list-ports | grep -qx 'COM3 /dev/at24-test' ||
    fail "--list-ports does not show COM3"
  echo "list ports: COM3 /dev/at24-test"
}

# loaded_library PROGRAM ARGS...: the file of the adapter library the program loads by itself.
loaded_library() {
  LD_DEBUG=files "$@" 2>&1 >/dev/null |
    sed -nE 's/.*file=([^ ]*libi2cadapter\.so) .*dynamically loaded.*/\1/p' | head -1 | xargs -r realpath
}

# dialog_escape BINDIR WORK: the dialog opens on an X server of its own (no window manager) and
# Escape ends it with status 0. Prints the file of the adapter library it loaded.
dialog_escape() {
  QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
    LD_DEBUG=files "$1/at24writer" 2>"$2/dialog.err" &
    dialog=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^AT24C1024\(B\)$" | head -1)
    [ -n "$window" ] || { kill $dialog; echo "no dialog window" >&2; exit 1; }
    xdotool windowfocus --sync "$window" key Escape
    wait $dialog' _ "$1" "$2" || fail "the dialog did not end on Escape with status 0"
  sed -nE 's/.*file=([^ ]*libi2cadapter\.so) .*dynamically loaded.*/\1/p' "$2/dialog.err" | head -1 | xargs -r realpath
}
